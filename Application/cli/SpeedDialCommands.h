#pragma once

#include "cli/Command.h"

// speed-dial read/write/delete: the speed dial tab from the command line.
std::vector<TCommand> SpeedDialCommands();

class TCliSession;

// Writes a .sdl file to the session's handset (under --dry-run: its plan); the exit status.
int WriteSpeedDialFile(TCliSession& session, const std::string& path);
