#pragma once

#include "cli/Command.h"

// profile read/write and ringer: the profile tab from the command line.
std::vector<TCommand> ProfileCommands();
