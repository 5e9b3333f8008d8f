#pragma once

#include "cli/Command.h"

// sim-list: what the SIM interpreter list says about a handset, for those who maintain lists.
std::vector<TCommand> SimCommands();
