#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

// Raised by Hex2Dec and Hex2Int64 for a text that is not a hexadecimal number.
class ENumberConvertingError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::string ByteToHex(uint8_t value);
// Bytes as mail text: "02 5D 16", two upper-case digits a byte and a blank between them.
std::string SpacedHex(std::span<const uint8_t> bytes);
// Bytes as one run of upper-case hex digits: "0012345678".
std::string HexDigits(std::span<const uint8_t> bytes);

// Reads s as a hexadecimal number of at most eight significant digits and keeps its low 8 bits.
uint8_t Hex2Dec(const std::string& s);

// Reads s as a 32-bit two's-complement hexadecimal number and widens it with its sign.
int64_t Hex2Int64(const std::string& s);

bool IsHexText(const std::string& s, bool allowSpaces);
// 0..15 for a hex digit of either case, else -1.
int HexDigitValue(char c);
bool IsDigitText(const std::string& s);

int GetBit(int bit, uint32_t value);
void SetBit(uint8_t& value, int bit, bool on);

// Copies source[start .. start + count - 1] to destination[0 .. count - 1]. Gives false and copies
// nothing when start + count exceeds 65535 or either array is too small for the copy.
bool CopyBytes(std::span<uint8_t> destination, std::span<const uint8_t> source, uint16_t count,
               uint16_t start);
