#pragma once

#include "cli/Command.h"

// ringer: the profile tab's ringer test.
std::vector<TCommand> ProfileCommands();
