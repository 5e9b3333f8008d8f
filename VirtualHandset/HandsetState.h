#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

constexpr std::size_t kMemorySize = 65536;
constexpr uint16_t kModelAddress = 29;
constexpr std::size_t kMaxNumberBytes = 12;
constexpr std::size_t kMaxNameBytes = 24;

// One phone book entry as the handset holds it: the packed number exactly as written to it (two dial
// characters a byte, filler F included) and the name's bytes.
struct TPhonebookRecord {
    std::vector<uint8_t> number;
    std::string name;
    bool operator==(const TPhonebookRecord&) const = default;
};

// What the handset keeps between runs: its memory, its phone book and how it identifies itself.
struct THandsetState {
    std::vector<uint8_t> memory = std::vector<uint8_t>(kMemorySize, 0xFF);
    std::array<uint8_t, 4> software{0x62, 0x01, 0x84, 0x00};
    std::string pcs = "06B";
    uint8_t maxMail = 26;
    uint8_t capacity = 200;
    // In the order the entries were appended; may hold more than the capacity if the file says so.
    std::vector<TPhonebookRecord> phonebook{};
};

// Blank memory with the model byte 0xAA.
THandsetState DefaultHandsetState();

class EStateFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One line per setting, one "pb" line per phone book entry and one "mem" line per 32-byte row that
// is not blank; readers skip lines
// they do not know, so that later lists can be added without a new version.
std::string StateText(const THandsetState& state);
THandsetState ParseStateText(const std::string& text);

// No value when the file does not exist. Raises EStateFileError for an unreadable or malformed file.
std::optional<THandsetState> LoadStateFile(const std::string& path);
void SaveStateFile(const std::string& path, const THandsetState& state);

// A PCS text the handset can report: 1 to 4 printable characters, no blanks.
bool IsValidPcs(const std::string& pcs);
