#pragma once

#include "cli/Command.h"

// groups read/write/delete: the broadcast groups tab from the command line.
std::vector<TCommand> GroupCommands();

class TCliSession;
enum class TWriteMode : uint8_t;

// Writes a .BGL file to the session's handset (under --dry-run: its plan); the exit status.
int WriteGroupsFile(TCliSession& session, const std::string& path, TWriteMode mode);
