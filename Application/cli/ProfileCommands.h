#pragma once

#include "cli/Command.h"

// profile read/write and ringer: the profile tab from the command line.
std::vector<TCommand> ProfileCommands();

class TCliSession;

// Writes the settings a .pro file holds to the session's handset (under --dry-run: its plan); the copy
// kept of the settings it changes is of backupKind. The exit status.
int WriteProfileFile(TCliSession& session, const std::string& file, const char* backupKind);
