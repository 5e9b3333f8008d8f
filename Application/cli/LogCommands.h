#pragma once

#include "cli/Command.h"

// log: the changes made to handsets on this PC, as the change log (platform/ChangeLog.h) keeps them.
std::vector<TCommand> LogCommands();
