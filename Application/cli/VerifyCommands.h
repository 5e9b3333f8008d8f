#pragma once

#include "cli/Command.h"

#include <functional>
#include <string>

class TCliSession;

// A list or profile file, and the write that puts it into the handset: run for real it writes (plan,
// backup, write); run under PlanOnly it tells how the handset differs from the file.
struct TFileWrite {
    std::string path;
    std::function<int(TCliSession&, const TGlobalOptions&)> write;
    // Whether the order of the entries can count: a phone book's can; the groups a handset belongs to
    // have none that matters, and speed dial keys places of their own.
    bool ordered = false;
};

// The write of a file by its extension (.phb replaces the phone book, .BGL the groups); TUsageError for
// any other.
TFileWrite FileWriteOf(const std::string& path, bool transliterate = false);

// verify FILE...: whether the handset holds what list and profile files say.
std::vector<TCommand> VerifyCommands();
