#pragma once

#include "HandsetState.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

class EPhonebookFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A dial string (0-9 * # P, "-" for the pause, lower case too) packed as Quorvel packs it: filler F to
// a whole byte, or a whole filler byte FF when the length is even. No value for other characters or
// for more than fits the handset's number.
std::optional<std::vector<uint8_t>> PackNumber(const std::string& dial);

// One "name,number" entry a line, split at the last comma; LF or CR LF; empty lines are skipped.
// Raises EPhonebookFileError naming the line.
std::vector<TPhonebookRecord> ParseInitialPhonebook(const std::string& text);
std::vector<TPhonebookRecord> ReadPhonebookFile(const std::string& path);

// "Name 001" with 5550001, "Name 002" with 5550002, ..
std::vector<TPhonebookRecord> GeneratedPhonebook(unsigned count);
