#pragma once

#include "cli/Command.h"

// phonebook read|write|delete|import: the phone book tab's operations.
std::vector<TCommand> PhonebookCommands();

class TCliSession;
enum class TWriteMode : uint8_t;

// Writes a .phb file to the session's handset (under --dry-run: its plan); the copy kept of the list a
// replace deletes is of backupKind. A file the handset cannot hold as it is (no entry with a number, a
// name with characters it lacks unless `transliterate` asks for the nearest ones, more entries than a
// replace has room for) is refused before anything is sent. The exit status.
int WritePhonebookFile(TCliSession& session, const std::string& path, TWriteMode mode, const char* backupKind,
                       bool transliterate = false);
