#pragma once

#include "cli/Command.h"

// speed-dial read/write/delete: the speed dial tab from the command line.
std::vector<TCommand> SpeedDialCommands();
