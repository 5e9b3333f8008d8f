#pragma once

#include "cli/Command.h"

#include <vector>

// verify FILE...: whether the handset holds what list and profile files say.
std::vector<TCommand> VerifyCommands();
