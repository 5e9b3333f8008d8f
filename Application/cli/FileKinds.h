#pragma once

#include <functional>
#include <string>

class TCliSession;

// The kinds of file the command line writes to a handset, by extension: a phone book (.phb), a speed
// dial list (.sdl), broadcast groups (.BGL) and a profile (.pro). Write, verify, restore and provision
// all take a file's write from here.

// A list or profile file, and the write that puts it into the handset: run for real it writes (plan,
// backup, write); run through TCommandUser::PlanOf it tells how the handset differs from the file.
struct TFileWrite {
    std::string path;
    std::function<int(TCliSession&)> write;
    // Whether the order of the entries can count: a phone book's can; the groups a handset belongs to
    // have none that matters, and speed dial keys places of their own.
    bool ordered = false;
};

// Whether the path's extension is one of the four.
bool KnownFileKind(const std::string& path);

// The write of a file by its extension (.phb replaces the phone book, .BGL the groups); TUsageError for
// any other.
TFileWrite FileWriteOf(const std::string& path, bool transliterate = false);
