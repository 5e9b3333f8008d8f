#include "lists/BroadcastGroups.h"

#include "platform/TextFile.h"

#include <algorithm>

namespace {

// Sixteen lines of three digits take 80 bytes; a file far larger is not a group list.
constexpr size_t MaxFileBytes = 1 << 20;

bool AllDigits(const std::string& text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

void TBroadcastGroups::Clear() {
    for (std::string& group : Groups)
        group.clear();
}

bool TBroadcastGroups::SaveToFile(const std::string& path) const {
    try {
        WriteFileAtomically(path, BroadcastGroupsText(*this));
        return true;
    } catch (const EFileError&) {
        return false;
    }
}

bool TBroadcastGroups::LoadFromFile(const std::string& path) {
    std::string bytes;
    try {
        bytes = ReadFileBytes(path, MaxFileBytes);
    } catch (const EFileError&) {
        return false;
    }
    size_t start = 0;
    for (int i = 0; i < Slots; ++i) {
        if (start >= bytes.size())
            return false;
        size_t end = bytes.find('\n', start);
        const size_t next = end == std::string::npos ? bytes.size() : end + 1;
        if (end == std::string::npos)
            end = bytes.size();
        if (end > start && bytes[end - 1] == '\r')
            --end;
        Groups[size_t(i)] = bytes.substr(start, end - start);
        start = next;
    }
    return true;
}

std::optional<int> TBroadcastGroups::FirstUnsendable() const {
    for (int i = 0; i < Slots; ++i)
        if (!Groups[size_t(i)].empty() && !GroupNumber(Groups[size_t(i)]))
            return i;
    return std::nullopt;
}

std::optional<uint8_t> GroupNumber(const std::string& text) {
    if (!AllDigits(text))
        return std::nullopt;
    const size_t first = std::min(text.find_first_not_of('0'), text.size() - 1);
    const std::string digits = text.substr(first);
    if (digits.size() > 3 || std::stoi(digits) > TBroadcastGroups::MaxGroup)
        return std::nullopt;
    return uint8_t(std::stoi(digits));
}

bool IsGroupText(const std::string& text) {
    return text.size() <= 3 && GroupNumber(text).has_value();
}

std::string BroadcastGroupsText(const TBroadcastGroups& groups) {
    std::string text;
    for (const std::string& group : groups.Groups)
        text += group + "\r\n";
    return text;
}

std::string GroupListText(const TBroadcastGroups& groups) {
    std::string text;
    for (const std::string& group : groups.Groups) {
        if (group.empty())
            continue;
        if (!text.empty())
            text += ", ";
        text += group;
    }
    return text.empty() ? "none" : text;
}
