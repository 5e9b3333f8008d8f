#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>

class EFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A list or profile file the program will not take, with why, for the person: it cannot be read whole,
// holds nothing usable, or holds keys its kind does not have (named). Nothing was sent or changed.
class EUnusableFile : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The whole file as bytes. Raises EFileError with the reason when it cannot be read or is larger
// than limit bytes.
std::string ReadFileBytes(const std::string& path, size_t limit);

// Replaces the file with bytes in one step: a failure leaves the earlier file as it was. Raises
// EFileError with the reason.
void WriteFileAtomically(const std::string& path, const std::string& bytes);

// As WriteFileAtomically, and on the disk when it returns: the new file is flushed before it takes the
// old one's place and the folder after, so that a power cut cannot undo a step that others (a handset)
// have already taken on its strength. An existing file keeps its permissions. Raises EFileError.
void WriteFileDurably(const std::string& path, const std::string& bytes);
