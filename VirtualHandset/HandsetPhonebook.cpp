#include "HandsetPhonebook.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sstream>
#include <unistd.h>

namespace {

// 256 entries of the longest kind take about 12 KiB; anything far larger is not a phone book.
constexpr std::size_t kMaxFileSize = 1024 * 1024;

// Digits stand for themselves; star, hash and pause take the nibbles B, C and D.
std::optional<uint8_t> Nibble(char c) {
    switch (std::toupper(static_cast<unsigned char>(c))) {
    case '*':
        return 0xB;
    case '#':
        return 0xC;
    case 'P':
    case '-':
        return 0xD;
    default:
        break;
    }
    if (c >= '0' && c <= '9')
        return static_cast<uint8_t>(c - '0');
    return std::nullopt;
}

TPhonebookRecord ParseEntry(const std::string& line) {
    const auto comma = line.rfind(',');
    if (comma == std::string::npos)
        throw EPhonebookFileError("expected \"name,number\"");
    const std::string name = line.substr(0, comma);
    const std::string dial = line.substr(comma + 1);
    if (name.size() > kMaxNameBytes)
        throw EPhonebookFileError("the name is longer than " + std::to_string(kMaxNameBytes) + " bytes");
    auto number = PackNumber(dial);
    if (!number)
        throw EPhonebookFileError("\"" + dial + "\" is no number of at most " +
                                  std::to_string(2 * kMaxNumberBytes - 1) + " characters 0-9 * # P -");
    return {std::move(*number), name};
}

} // namespace

std::optional<std::vector<uint8_t>> PackNumber(const std::string& dial) {
    if (dial.size() > 2 * kMaxNumberBytes - 1)
        return std::nullopt;
    std::vector<uint8_t> nibbles;
    for (const char c : dial) {
        const auto nibble = Nibble(c);
        if (!nibble)
            return std::nullopt;
        nibbles.push_back(*nibble);
    }
    nibbles.resize(nibbles.size() % 2 == 0 ? nibbles.size() + 2 : nibbles.size() + 1, 0xF);
    std::vector<uint8_t> packed;
    for (std::size_t i = 0; i < nibbles.size(); i += 2)
        packed.push_back(static_cast<uint8_t>((nibbles[i] << 4) | nibbles[i + 1]));
    return packed;
}

std::vector<TPhonebookRecord> ParseInitialPhonebook(const std::string& text) {
    std::vector<TPhonebookRecord> records;
    std::istringstream in(text);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        try {
            records.push_back(ParseEntry(line));
        } catch (const EPhonebookFileError& e) {
            throw EPhonebookFileError("line " + std::to_string(number) + ": " + e.what());
        }
    }
    return records;
}

std::vector<TPhonebookRecord> ReadPhonebookFile(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw EPhonebookFileError(path + ": " + std::strerror(errno));
    std::string text;
    char block[4096];
    while (text.size() <= kMaxFileSize) {
        const ssize_t n = read(fd, block, sizeof block);
        if (n == 0)
            break;
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int error = errno;
            close(fd);
            throw EPhonebookFileError(path + ": " + std::strerror(error));
        }
        text.append(block, static_cast<std::size_t>(n));
    }
    close(fd);
    if (text.size() > kMaxFileSize)
        throw EPhonebookFileError(path + ": too large for a phone book");
    try {
        return ParseInitialPhonebook(text);
    } catch (const EPhonebookFileError& e) {
        throw EPhonebookFileError(path + ": " + e.what());
    }
}

std::vector<TPhonebookRecord> GeneratedPhonebook(unsigned count) {
    std::vector<TPhonebookRecord> records;
    for (unsigned i = 1; i <= count; ++i) {
        char name[16];
        char dial[16];
        std::snprintf(name, sizeof name, "Name %03u", i);
        std::snprintf(dial, sizeof dial, "555%04u", i);
        records.push_back({*PackNumber(dial), name});
    }
    return records;
}
