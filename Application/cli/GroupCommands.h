#pragma once

#include "cli/Command.h"

// groups read/write/delete: the broadcast groups tab from the command line.
std::vector<TCommand> GroupCommands();
