#pragma once

#include "cli/Command.h"

// doctor: what keeps each serial port from its handset, and what to do about it.
std::vector<TCommand> DoctorCommands();
