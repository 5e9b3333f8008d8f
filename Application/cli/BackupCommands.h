#pragma once

#include "cli/CliSession.h"
#include "cli/Command.h"

// backups list/prune: the copies kept of what handsets held, by handset.
std::vector<TCommand> BackupCommands();

// The copy a restore-backup writes back: the file named, or this handset's own newest copy of the kind.
// Connects to learn which handset it is. Refuses (TInputError) a handset without a copy of its own, and
// a named copy of another handset; what names the list ("phone book").
std::string BackupToRestore(TCliSession& session, const std::string& file, const char* kind,
                            const char* extension, const std::string& what);
