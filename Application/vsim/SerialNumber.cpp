#include "vsim/SerialNumber.h"

#include "link/NumberConverting.h"
#include "platform/TextFile.h"
#include "platform/TextFormat.h"

#include <QByteArrayView>
#include <QCryptographicHash>

#include <numeric>

namespace {

constexpr uint32_t MaxFirstPart = 100000;

uint32_t HexValue(const std::string& digits) {
    uint32_t value = 0;
    for (const char c : digits)
        value = value * 16 + uint32_t(HexDigitValue(c));
    return value;
}

} // namespace

std::string TPP_SerialNumber::FormatSerialNumber(const std::string& hexText) {
    const std::string digits = RemoveSpaces(hexText);
    if (digits.size() != 2 * SerialNumberLength || !IsHexText(digits, false))
        return {};
    const uint32_t first = HexValue(digits.substr(0, 5));
    const uint32_t second = HexValue(digits.substr(5));
    if (first >= MaxFirstPart)
        return {};
    return PadLeft(std::to_string(first), '0', 5) + " " + PadLeft(std::to_string(second), '0', 7);
}

std::optional<std::string> SerialNumberFromImage(std::span<const uint8_t> image) {
    if (image.size() < SerialNumberAddress + SerialNumberLength)
        return std::nullopt;
    std::string text = TPP_SerialNumber::FormatSerialNumber(
        HexDigits(image.subspan(SerialNumberAddress, SerialNumberLength)));
    if (text.size() != TPP_SerialNumber::TextLength)
        return std::nullopt;
    return text;
}

uint32_t ImageChecksum(std::span<const uint8_t> image) {
    return std::accumulate(image.begin(), image.end(), uint32_t(0));
}

std::string ImageSha256(std::span<const uint8_t> image) {
    const QByteArrayView bytes(reinterpret_cast<const char*>(image.data()), qsizetype(image.size()));
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().toStdString();
}

TDynamicByteBuffer ReadSimFile(const std::string& path) {
    const std::string bytes = ReadFileBytes(path, SimFileLimit);
    TDynamicByteBuffer image;
    image.AddBuffer(reinterpret_cast<const uint8_t*>(bytes.data()), int(bytes.size()));
    return image;
}
