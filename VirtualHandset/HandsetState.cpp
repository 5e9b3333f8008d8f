#include "HandsetState.h"

#include "AtomicFile.h"
#include "link/NumberConverting.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sstream>
#include <unistd.h>

namespace {

const std::string kVersionTag = "quorvel-handset state 1";
constexpr std::size_t kRowSize = 32;
// A full memory takes about 200 KiB; anything far larger is not a state file.
constexpr std::size_t kMaxStateFileSize = 16 * 1024 * 1024;

std::string HexRun(const uint8_t* bytes, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i)
        text += ByteToHex(bytes[i]);
    return text;
}

// Every two hex digits of text as one byte; no value unless text is exactly that.
std::optional<std::vector<uint8_t>> ParseHexRun(const std::string& text, std::size_t count) {
    if (text.size() != 2 * count || !IsHexText(text, false))
        return std::nullopt;
    std::vector<uint8_t> bytes;
    for (std::size_t i = 0; i < count; ++i)
        bytes.push_back(Hex2Dec(text.substr(2 * i, 2)));
    return bytes;
}

std::optional<unsigned> ParseDecimal(const std::string& text, unsigned max) {
    if (!IsDigitText(text) || text.size() > 10)
        return std::nullopt;
    const unsigned long long value = std::stoull(text);
    if (value > max)
        return std::nullopt;
    return static_cast<unsigned>(value);
}

void ParseMemoryRow(const std::string& value, std::vector<uint8_t>& memory) {
    const auto equals = value.find('=');
    const auto address = equals == 4 ? ParseHexRun(value.substr(0, 4), 2) : std::nullopt;
    if (!address)
        throw EStateFileError("expected \"mem AAAA=<64 hex digits>\"");
    const std::size_t start = (*address)[0] * 256u + (*address)[1];
    if (start % kRowSize != 0)
        throw EStateFileError("memory row address " + value.substr(0, 4) + " is not a multiple of 0020");
    const auto row = ParseHexRun(value.substr(5), kRowSize);
    if (!row)
        throw EStateFileError("a memory row holds exactly 32 bytes as 64 hex digits");
    std::copy(row->begin(), row->end(), memory.begin() + static_cast<std::ptrdiff_t>(start));
}

// "pb <number> <name>": both as hex digits, an empty name as "-".
TPhonebookRecord ParsePhonebookLine(const std::string& value) {
    const auto space = value.find(' ');
    const std::string numberText = value.substr(0, space);
    const std::string nameText = space == std::string::npos ? "" : value.substr(space + 1);
    const auto number = ParseHexRun(numberText, numberText.size() / 2);
    const auto name = nameText == "-" ? std::vector<uint8_t>{} : ParseHexRun(nameText, nameText.size() / 2);
    if (space == std::string::npos || !number || !name)
        throw EStateFileError("expected \"pb <number as hex> <name as hex, or - for none>\"");
    if (number->empty() || number->size() > kMaxNumberBytes)
        throw EStateFileError("a phone book number holds 1 to " + std::to_string(kMaxNumberBytes) + " bytes");
    if (name->size() > kMaxNameBytes)
        throw EStateFileError("a phone book name holds at most " + std::to_string(kMaxNameBytes) + " bytes");
    return {*number, std::string(name->begin(), name->end())};
}

} // namespace

std::vector<uint8_t> ParseGroupList(const std::string& value) {
    std::string words = value;
    std::replace(words.begin(), words.end(), ',', ' ');
    std::vector<uint8_t> groups;
    std::istringstream in(words);
    std::string word;
    while (in >> word) {
        const auto group = ParseDecimal(word, 255);
        if (!group)
            throw EStateFileError("a group is a number from 0 to 255, not \"" + word + "\"");
        if (std::find(groups.begin(), groups.end(), *group) != groups.end())
            throw EStateFileError("group " + word + " is there twice");
        groups.push_back(static_cast<uint8_t>(*group));
    }
    if (groups.size() > kGroupSlots)
        throw EStateFileError("a handset belongs to at most " + std::to_string(kGroupSlots) + " groups");
    return groups;
}

namespace {

void ParseLine(const std::string& key, const std::string& value, THandsetState& state) {
    if (key == "software") {
        const auto bytes = ParseHexRun(value, 4);
        if (!bytes)
            throw EStateFileError("software must be 8 hex digits");
        std::copy(bytes->begin(), bytes->end(), state.software.begin());
    } else if (key == "pcs") {
        if (!IsValidPcs(value))
            throw EStateFileError("pcs must be 1 to 4 printable characters without blanks");
        state.pcs = value;
    } else if (key == "max-mail") {
        const auto length = ParseDecimal(value, 255);
        if (!length || *length == 0)
            throw EStateFileError("max-mail must be a number from 1 to 255");
        state.maxMail = static_cast<uint8_t>(*length);
    } else if (key == "capacity") {
        const auto capacity = ParseDecimal(value, 255);
        if (!capacity || *capacity == 0)
            throw EStateFileError("capacity must be a number from 1 to 255");
        state.capacity = static_cast<uint8_t>(*capacity);
    } else if (key == "ringer") {
        const auto space = value.find(' ');
        const auto tone = ParseDecimal(value.substr(0, space), 255);
        const auto count =
            space == std::string::npos ? std::nullopt : ParseDecimal(value.substr(space + 1), 1000000000);
        if (!tone || !count)
            throw EStateFileError("expected \"ringer TONE COUNT\"");
        state.ringerTone = static_cast<uint8_t>(*tone);
        state.ringerTests = static_cast<unsigned>(*count);
    } else if (key == "sim-mails") {
        const auto space = value.find(' ');
        const auto openings = ParseDecimal(value.substr(0, space), 1000000000);
        const auto closings =
            space == std::string::npos ? std::nullopt : ParseDecimal(value.substr(space + 1), 1000000000);
        if (!openings || !closings)
            throw EStateFileError("expected \"sim-mails OPENINGS CLOSINGS\"");
        state.simOpenings = *openings;
        state.simClosings = *closings;
    } else if (key == "groups") {
        state.groups = ParseGroupList(value);
    } else if (key == "pb") {
        state.phonebook.push_back(ParsePhonebookLine(value));
    } else if (key == "mem") {
        ParseMemoryRow(value, state.memory);
    }
}

} // namespace

THandsetState DefaultHandsetState() {
    THandsetState state;
    state.memory[kModelAddress] = 0xAA;
    for (const TProfileByte& byte : kProfileDefaults)
        state.memory[byte.address] = byte.value;
    std::copy(kDefaultSerial.begin(), kDefaultSerial.end(), state.memory.begin() + kSerialAddress);
    return state;
}

bool IsValidPcs(const std::string& pcs) {
    return !pcs.empty() && pcs.size() <= 4 &&
           std::all_of(pcs.begin(), pcs.end(), [](char c) { return c > ' ' && c <= '~'; });
}

std::string StateText(const THandsetState& state) {
    std::ostringstream out;
    out << kVersionTag << '\n';
    out << "software " << HexRun(state.software.data(), state.software.size()) << '\n';
    out << "pcs " << state.pcs << '\n';
    out << "max-mail " << unsigned{state.maxMail} << '\n';
    out << "capacity " << unsigned{state.capacity} << '\n';
    if (state.ringerTests > 0)
        out << "ringer " << unsigned{state.ringerTone} << ' ' << state.ringerTests << '\n';
    if (state.simOpenings > 0 || state.simClosings > 0)
        out << "sim-mails " << state.simOpenings << ' ' << state.simClosings << '\n';
    if (!state.groups.empty()) {
        out << "groups";
        for (const uint8_t group : state.groups)
            out << ' ' << unsigned{group};
        out << '\n';
    }
    for (const TPhonebookRecord& record : state.phonebook) {
        const auto* name = reinterpret_cast<const uint8_t*>(record.name.data());
        out << "pb " << HexRun(record.number.data(), record.number.size()) << ' '
            << (record.name.empty() ? "-" : HexRun(name, record.name.size())) << '\n';
    }
    for (std::size_t start = 0; start < kMemorySize; start += kRowSize) {
        const uint8_t* row = state.memory.data() + start;
        if (std::all_of(row, row + kRowSize, [](uint8_t b) { return b == 0xFF; }))
            continue;
        out << "mem " << ByteToHex(static_cast<uint8_t>(start >> 8)) << ByteToHex(static_cast<uint8_t>(start))
            << '=' << HexRun(row, kRowSize) << '\n';
    }
    return out.str();
}

THandsetState ParseStateText(const std::string& text) {
    THandsetState state;
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (number == 1) {
            if (line != kVersionTag)
                throw EStateFileError("line 1: expected \"" + kVersionTag + "\"");
            continue;
        }
        const auto space = line.find(' ');
        try {
            ParseLine(line.substr(0, space), space == std::string::npos ? "" : line.substr(space + 1), state);
        } catch (const EStateFileError& e) {
            throw EStateFileError("line " + std::to_string(number) + ": " + e.what());
        }
    }
    if (number == 0)
        throw EStateFileError("the file is empty");
    return state;
}

std::optional<THandsetState> LoadStateFile(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT)
        return std::nullopt;
    if (fd < 0)
        throw EStateFileError("state file " + path + ": " + std::strerror(errno));
    std::string content;
    char block[65536];
    ssize_t n = 0;
    while ((n = read(fd, block, sizeof block)) != 0 && content.size() <= kMaxStateFileSize) {
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int error = errno;
            close(fd);
            throw EStateFileError("state file " + path + ": " + std::strerror(error));
        }
        content.append(block, static_cast<std::size_t>(n));
    }
    close(fd);
    if (content.size() > kMaxStateFileSize)
        throw EStateFileError("state file " + path + ": too large for a handset state");
    try {
        return ParseStateText(content);
    } catch (const EStateFileError& e) {
        throw EStateFileError("state file " + path + ": " + e.what());
    }
}

void SaveStateFile(const std::string& path, const THandsetState& state) {
    if (!ReplaceFileContent(path, StateText(state)))
        throw EStateFileError("state file " + path + ": cannot be written: " + std::strerror(errno));
}
