#pragma once

// What the record engines share: the checks of a row read back, the words of their messages, and the
// files they make.
#include "vsim/RecordEngine.h"

#include <cstdint>
#include <optional>
#include <string>

// The step an imported record is noted with.
inline constexpr const char* ImportedStep = "imported";

// Sets the record's "CRC" from the stored number, and its Problem when the number, the SHA-256 or the
// state is not one the records can hold (the row was written by hand or by another program).
void CheckRow(TSimRecord& record, std::optional<int64_t> crc);

// The refusal of an import whose SIM is recorded with other sums.
std::string DifferentSums(const std::string& serialNumber, const std::string& where);

// What to do when the records at path may not be opened or changed (error is an errno value): join the
// group of their folder. Empty for other errors.
std::string AccessHint(int error, const std::string& path);

// A file the engine has just made gets the access of its folder: read and written by the folder's group
// when the folder is shared with one (setgid and group-writable, as the package makes the machine's
// folder), else by its owner alone.
void ShareLikeFolder(const std::string& path);

// The place of a SIM's claim among all claims: a fixed 63-bit hash of its serial number.
uint64_t ClaimOffset(const std::string& serialNumber);

// A new store's id: 32 random hex digits.
std::string NewStoreId();
