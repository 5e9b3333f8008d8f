#include "link/NumberConverting.h"

#include "link/MailCodes.h"

#include "link/Error_Std.h"

namespace {

constexpr char DigitChars[] = "0123456789ABCDEF";
constexpr size_t MaxSignificantDigits = 8;

// Leading zeros do not count towards the eight digits, so "000000001" is still a 32-bit value.
bool ParseHex32(const std::string& s, uint32_t& value) {
    if (s.empty())
        return false;
    value = 0;
    size_t significant = 0;
    for (char c : s) {
        const int digit = HexDigitValue(c);
        if (digit < 0)
            return false;
        if (significant == 0 && digit == 0)
            continue;
        if (++significant > MaxSignificantDigits)
            return false;
        value = (value << 4) | static_cast<uint32_t>(digit);
    }
    return true;
}

[[noreturn]] void RaiseNotHex(const std::string& s, const std::string& function) {
    throw ENumberConvertingError(
        ErrorText("\"" + s + "\" is not a valid Hex value", "NumberConverting", function));
}

} // namespace

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::string SpacedHex(std::span<const uint8_t> bytes) {
    std::string text;
    text.reserve(bytes.size() * 3);
    for (const uint8_t b : bytes) {
        if (!text.empty())
            text += ' ';
        text += ByteToHex(b);
    }
    return text;
}

std::string HexDigits(std::span<const uint8_t> bytes) {
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const uint8_t b : bytes)
        text += ByteToHex(b);
    return text;
}

std::string ByteToHex(uint8_t value) {
    return {DigitChars[value >> 4], DigitChars[value & 0x0F]};
}

uint8_t Hex2Dec(const std::string& s) {
    uint32_t value = 0;
    if (!ParseHex32(s, value))
        RaiseNotHex(s, "Hex2Dec(s: string):byte");
    return static_cast<uint8_t>(value & 0xFF);
}

int64_t Hex2Int64(const std::string& s) {
    uint32_t value = 0;
    if (!ParseHex32(s, value))
        RaiseNotHex(s, "Hex2Int64(s:string): Int64");
    return static_cast<int32_t>(value);
}

bool IsHexText(const std::string& s, bool allowSpaces) {
    if (s.empty())
        return false;
    for (char c : s) {
        if (HexDigitValue(c) < 0 && !(allowSpaces && c == ' '))
            return false;
    }
    return true;
}

bool IsDigitText(const std::string& s) {
    if (s.empty())
        return false;
    for (char c : s) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

int GetBit(int bit, uint32_t value) {
    if (bit < 0 || bit > 31)
        return 0;
    return static_cast<int>((value >> bit) & 1U);
}

void SetBit(uint8_t& value, int bit, bool on) {
    if (bit < 0 || bit > 7)
        return;
    const auto mask = static_cast<uint8_t>(1U << bit);
    value = on ? static_cast<uint8_t>(value | mask) : static_cast<uint8_t>(value & ~mask);
}

bool CopyBytes(std::span<uint8_t> destination, std::span<const uint8_t> source, uint16_t count,
               uint16_t start) {
    const size_t end = size_t{start} + count;
    if (count == 0)
        return end <= 65535;
    if (end > 65535 || end > source.size() || count > destination.size())
        return false;
    for (size_t i = 0; i < count; ++i)
        destination[i] = source[start + i];
    return true;
}

std::vector<uint8_t> MailBytes(const char* text) {
    std::vector<uint8_t> bytes;
    for (const char* at = text; *at;) {
        if (*at == ' ') {
            ++at;
            continue;
        }
        const int high = HexDigitValue(at[0]);
        const int low = high >= 0 ? HexDigitValue(at[1]) : -1;
        if (low < 0)
            break;
        bytes.push_back(uint8_t(high * 16 + low));
        at += 2;
    }
    return bytes;
}
