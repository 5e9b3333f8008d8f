#pragma once

#include "cli/Command.h"

// handsets [--template DIR]: the handsets this PC has connected to, and which of them a template's
// current content has not reached.
std::vector<TCommand> HandsetsCommands();
