#pragma once

#include <cstdint>
#include <span>
#include <string>

// What a handset supports, from what it tells of itself: plain rules, without a line.
namespace HandsetCapabilities {

constexpr int32_t HandsetBaudRate = 115200;
// A handset on a slower line is not asked for its capacity.
constexpr int SlowPortCapacity = 65;
// The capacity of a handset that does not say.
constexpr int UnknownCapacity = 80;
constexpr uint8_t DefaultBlockSize = 8;
// The model byte's address, and its two values.
constexpr uint8_t ModelAddress = 29;
constexpr uint8_t ModelA = 0x55;
constexpr uint8_t ModelB = 0xAA;

// The software (eight hex digits) and PCS (up to four characters, ended by a blank or a zero byte)
// from the eight bytes of the answer to "02 5D 16". False for an answer of any other length.
bool ParseSoftwareAnswer(std::span<const uint8_t> answer, int length, std::string& software,
                         std::string& pcs);

// The PCS as the level rule compares it: its first three characters without blanks, with leading
// zeros to three ("6A" is "06A").
std::string LevelPcs(const std::string& pcs);

// Softwares whose level depends on the model byte.
bool SoftwareHasModel(const std::string& software);

// The handset's level 0 to 7 from its software, PCS and model byte (0 when it has none).
uint8_t HandsetLevelOf(const std::string& software, const std::string& pcs, uint8_t model);

// Levels 6 and 7 have the advanced profile settings.
constexpr bool HasAdvancedSettings(uint8_t level) {
    return level == 6 || level == 7;
}

// The phone book capacity from the answer to "0D 09", or UnknownCapacity.
int CapacityFromAnswer(std::span<const uint8_t> answer, int length);

// The piece size of block transfers from the answer to "02 5D 47" (the longest mail the handset
// takes), or DefaultBlockSize.
uint8_t BlockSizeFromAnswer(std::span<const uint8_t> answer, int length);

} // namespace HandsetCapabilities
