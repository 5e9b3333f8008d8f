#pragma once

#include "xml/DynamicByteBuffer.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

// Where the SIM image carries the handset's serial number; five FF bytes once the SIM has left it.
constexpr size_t SerialNumberAddress = 0x40;
constexpr size_t SerialNumberLength = 5;

// The serial number of a SIM as people read it from the handset's label: "00291 0284280".
class TPP_SerialNumber {
public:
    static constexpr size_t TextLength = 13;

    // Ten hex digits (spaces anywhere are dropped first) as the serial number text: the first five read
    // as a number below 100000, written with five decimal digits, a space, and the last five written with
    // seven. Empty for any other text, which is how an emptied handset (five FF bytes) shows.
    static std::string FormatSerialNumber(const std::string& hexText);
};

// The serial number text of the SIM in image; none when the image is too short to hold the serial bytes
// or they give no serial number.
std::optional<std::string> SerialNumberFromImage(std::span<const uint8_t> image);

// The sum of all bytes as unsigned values (0 for no bytes). It is what the record store keeps as "CRC",
// though no cyclic redundancy check is involved.
uint32_t ImageChecksum(std::span<const uint8_t> image);

// The SHA-256 of the bytes as 64 lower-case hex digits, as sha256sum writes it.
std::string ImageSha256(std::span<const uint8_t> image);

// The most bytes a SIM file can hold: a SIM reaches at most to the address FFFD.
constexpr size_t SimFileLimit = 0xFFFE;

// The bytes of a SIM file. Only a regular file is opened, and no more than a SIM file can hold is read, so
// that a device, a pipe or a huge file is refused at once. Raises EFileError with the reason.
TDynamicByteBuffer ReadSimFile(const std::string& path);
