#include "vsim/SimMark.h"

#include "link/NumberConverting.h"
#include "platform/TextFormat.h"

#include <QRandomGenerator>

#include <algorithm>

namespace SimMark {

namespace {

constexpr const char* MarkPrefix = "MOVING ";
constexpr size_t SerialTextLength = 13;

} // namespace

TTextArea AreaOf(const std::string& text) {
    TTextArea area{};
    std::copy_n(text.begin(), std::min(text.size(), area.size()), area.begin());
    return area;
}

std::string DisplayText(std::span<const uint8_t> area) {
    std::string text;
    for (const uint8_t b : area) {
        if (b == 0)
            break;
        text += char(b);
    }
    return text;
}

std::string AreaHex(const TTextArea& area) {
    return HexDigits(area);
}

std::optional<TTextArea> AreaFromHex(const std::string& hex) {
    TTextArea area{};
    if (hex.size() != area.size() * 2 || !IsHexText(hex, false))
        return std::nullopt;
    for (size_t i = 0; i < area.size(); ++i)
        area[i] = uint8_t(std::stoi(hex.substr(i * 2, 2), nullptr, 16));
    return area;
}

std::string NewMark(const char* prefix, const std::string& serialNumber) {
    return prefix + serialNumber + " " + FormatText("%08X", QRandomGenerator::global()->generate());
}

bool IsMark(const std::string& text) {
    return text.starts_with(MarkPrefix);
}

std::optional<std::string> MarkedSerial(const std::string& text) {
    if (!IsMark(text))
        return std::nullopt;
    std::string rest = text.substr(std::string(MarkPrefix).size());
    for (const char* direction : {"OUT ", "IN "})
        if (rest.starts_with(direction))
            rest = rest.substr(std::string(direction).size());
    if (rest.size() < SerialTextLength)
        return std::nullopt;
    return rest.substr(0, SerialTextLength);
}

bool CarriesMark(const std::string& text, const std::string& serialNumber, const TSimJournal& journal) {
    if (!journal.Mark.empty())
        return text == journal.Mark;
    return journal.State == SimMoveState::MovingOut && text == MarkPrefix + serialNumber;
}

bool PartlyReplaced(const TTextArea& area, const std::string& mark, const std::string& text) {
    const TTextArea marked = AreaOf(mark);
    const TTextArea written = AreaOf(text);
    if (area == written)
        return false;
    for (size_t i = 0; i < area.size(); ++i)
        if (area[i] != marked[i] && area[i] != written[i])
            return false;
    return true;
}

} // namespace SimMark
