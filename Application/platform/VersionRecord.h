#pragma once

#include <array>
#include <map>
#include <optional>
#include <string>

// The version record the build compiles into each of our programs (cmake/VersionRecord.cpp.in): the
// stand-in for a program file's version resource. In the file it is a begin mark, then "Key=Value" lines
// ended by a line feed, then an end mark.

// The twelve version strings, in the order of the about box's data.
enum class TVersionKey {
    CompanyName,
    FileDescription,
    FileVersion,
    InternalName,
    LegalCopyright,
    LegalTrademarks,
    OriginalFilename,
    ProductName,
    ProductVersion,
    Comments,
    Email,
    HomePage,
};
inline constexpr int VersionKeyCount = 12;
using TVersionStrings = std::array<std::string, VersionKeyCount>;

// The record's key of each string ("E-mail" for Email).
const char* VersionKeyName(TVersionKey key);

inline std::string& At(TVersionStrings& strings, TVersionKey key) {
    return strings[static_cast<size_t>(key)];
}
inline const std::string& At(const TVersionStrings& strings, TVersionKey key) {
    return strings[static_cast<size_t>(key)];
}

// Every key and value of the record a file carries; nothing for a file without one or one that cannot
// be read.
std::optional<std::map<std::string, std::string>> ReadVersionRecord(const std::string& fileName);

// Fills the twelve strings from the file's record; a key the record lacks gives an empty string. False
// when the file carries no record: the strings then stay as they were.
bool ReadVersionStrings(const std::string& fileName, TVersionStrings& strings);

// The build time the record of the file carries, as UTC in ISO 8601 ("2026-12-09T10:33:32Z"); empty
// when it has none.
std::string ReadBuildTime(const std::string& fileName);

// The running program's file.
std::string RunningProgramFile();
