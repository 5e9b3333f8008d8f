#pragma once

#include "cli/Command.h"

// ports, probe, send, read-memory, write-memory: the line and the handset's memory.
std::vector<TCommand> LinkCommands();
