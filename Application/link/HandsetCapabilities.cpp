#include "link/HandsetCapabilities.h"

#include "link/NumberConverting.h"

namespace HandsetCapabilities {
namespace {

constexpr const char* FirstAdvancedPcs = "06A";
constexpr int SoftwareAnswerLength = 8;
constexpr int MailOverhead = 10;
// A memory answer longer than this cannot be handed over in one piece.
constexpr int LargestBlock = 200;

bool PcsBefore(const std::string& pcs, const char* other) {
    return pcs.compare(other) < 0;
}

} // namespace

bool ParseSoftwareAnswer(std::span<const uint8_t> answer, int length, std::string& software,
                         std::string& pcs) {
    if (length != SoftwareAnswerLength || answer.size() < size_t(SoftwareAnswerLength))
        return false;
    software.clear();
    for (size_t i = 0; i < 4; ++i)
        software += ByteToHex(answer[i]);
    pcs.clear();
    for (size_t i = 4; i < 8 && answer[i] != ' ' && answer[i] != 0; ++i)
        pcs += char(answer[i]);
    return true;
}

std::string LevelPcs(const std::string& pcs) {
    std::string trimmed = pcs.substr(0, 3);
    const size_t first = trimmed.find_first_not_of(' ');
    trimmed = first == std::string::npos ? std::string()
                                         : trimmed.substr(first, trimmed.find_last_not_of(' ') - first + 1);
    while (trimmed.size() < 3)
        trimmed.insert(trimmed.begin(), '0');
    return trimmed;
}

bool SoftwareHasModel(const std::string& software) {
    return software == "62018400" || software == "62018700";
}

uint8_t HandsetLevelOf(const std::string& software, const std::string& pcs, uint8_t model) {
    const bool advanced = !PcsBefore(LevelPcs(pcs), FirstAdvancedPcs);
    if (SoftwareHasModel(software)) {
        if (model == ModelA)
            return advanced ? 6 : 4;
        if (model == ModelB)
            return advanced ? 7 : 5;
        return 0;
    }
    if (software == "62017100" && advanced)
        return 3;
    return 0;
}

int CapacityFromAnswer(std::span<const uint8_t> answer, int length) {
    if (length >= 2 && answer.size() >= 2 && answer[0] == 9)
        return answer[1];
    return UnknownCapacity;
}

uint8_t BlockSizeFromAnswer(std::span<const uint8_t> answer, int length) {
    // A length that leaves no room for data, or more than a read answer can carry, would make the
    // block transfers send empty or oversized pieces: such handsets keep the default.
    if (length >= 2 && !answer.empty() && answer[0] > MailOverhead &&
        answer[0] - MailOverhead <= LargestBlock)
        return uint8_t(answer[0] - MailOverhead);
    return DefaultBlockSize;
}

} // namespace HandsetCapabilities
