#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

constexpr std::size_t kMemorySize = 65536;
constexpr uint16_t kModelAddress = 29;
// The SIM's serial number (five FF bytes once the SIM has left the handset) and the text area.
constexpr uint16_t kSerialAddress = 64;
constexpr std::size_t kSerialBytes = 5;
constexpr uint16_t kTextAreaAddress = 406;
constexpr std::size_t kTextAreaBytes = 36;
// 00 12 34 56 78: serial number '00291 0284280'.
inline constexpr std::array<uint8_t, kSerialBytes> kDefaultSerial{0x00, 0x12, 0x34, 0x56, 0x78};
constexpr std::size_t kMaxNumberBytes = 12;
constexpr std::size_t kMaxNameBytes = 24;
constexpr std::size_t kGroupSlots = 16;

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
    // The broadcast groups the handset belongs to, in the order they were added; at most sixteen.
    std::vector<uint8_t> groups{};
    // The last ringer test asked for ("05 4C tone 1") and how many there were.
    uint8_t ringerTone = 0;
    unsigned ringerTests = 0;
    // How many times the SIM transfer's opening mail "00 54 01 01" and closing mail "02 5D 31" came.
    unsigned simOpenings = 0;
    unsigned simClosings = 0;
};

// The eight bytes of the handset's user profile, as a new handset has them.
struct TProfileByte {
    uint16_t address;
    uint8_t value;
};
inline constexpr TProfileByte kProfileDefaults[] = {
    {21, 0xA0},  // language 0; the high nibble is the handset's own
    {24, 0x15},  // auto hook on, any key answer off; bits 0-5 the handset's
    {26, 0x12},  // back light on, out of range on, start volume 2
    {27, 0x13},  // ringer tone 1, ringer volume 3
    {28, 0x02},  // key click volume 2
    {30, 0x85},  // long key speed dial, standby text on; bit 7 the handset's
    {31, 0x13},  // headset alert 3, headset volume 2, off hook normal
    {563, 0x25}, // long key time 5, a key delay 2
};

// Blank memory with the model byte 0xAA, the default profile and the default serial number.
THandsetState DefaultHandsetState();

class EStateFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One line per setting, one "pb" line per phone book entry, a "groups" line of the broadcast groups
// in decimal and one "mem" line per 32-byte row that is not blank; readers skip lines
// they do not know, so that later lists can be added without a new version.
std::string StateText(const THandsetState& state);
THandsetState ParseStateText(const std::string& text);

// No value when the file does not exist. Raises EStateFileError for an unreadable or malformed file.
std::optional<THandsetState> LoadStateFile(const std::string& path);
void SaveStateFile(const std::string& path, const THandsetState& state);

// "5 7 12" or "5,7,12": at most sixteen different group numbers from 0 to 255. Raises EStateFileError.
std::vector<uint8_t> ParseGroupList(const std::string& value);

// A PCS text the handset can report: 1 to 4 printable characters, no blanks.
bool IsValidPcs(const std::string& pcs);
