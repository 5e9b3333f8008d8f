#include "lists/BroadcastGroups.h"

#include "platform/TextFile.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {

// Sixteen lines of three digits take 80 bytes; no more than this much of a file is read for them.
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

void TBroadcastGroups::SaveToFile(const std::string& path) const {
    WriteFileAtomically(path, BroadcastGroupsText(*this));
}

void TBroadcastGroups::LoadFromFile(const std::string& path) {
    QFile file(QString::fromStdString(path));
    // A folder, a device or a pipe is no list file: a pipe would block the open, a device never end.
    if (QFileInfo(file).isDir())
        throw EFileError(path + ": a folder, not a file");
    if (QFileInfo(file).exists() && !QFileInfo(file).isFile())
        throw EFileError(path + ": not a regular file (a device, a pipe or a socket)");
    if (!file.open(QIODevice::ReadOnly))
        throw EFileError(path + ": " + file.errorString().toStdString());
    // Sixteen lines are wanted; a larger file's rest is not read.
    const QByteArray bytes = file.read(qint64(MaxFileBytes));
    if (file.error() != QFileDevice::NoError)
        throw EFileError(path + ": " + file.errorString().toStdString());
    const bool whole = file.atEnd();
    const std::string tooShort = path + ": a list of broadcast groups has sixteen lines";
    std::array<std::string, Slots> lines;
    qsizetype start = 0;
    for (std::string& line : lines) {
        if (start >= bytes.size())
            throw EUnusableFile(tooShort);
        qsizetype end = start;
        while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n')
            ++end;
        // The last line of a file read in part must have ended within what was read.
        if (end == bytes.size() && !whole)
            throw EUnusableFile(tooShort);
        line = bytes.mid(start, end - start).toStdString();
        start = end + (end + 1 < bytes.size() && bytes[end] == '\r' && bytes[end + 1] == '\n' ? 2 : 1);
    }
    Groups = lines;
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
