#include "platform/VersionRecord.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <functional>
#include <string_view>

namespace {

constexpr const char* KeyNames[VersionKeyCount] = {
    "CompanyName",    "FileDescription", "FileVersion",      "InternalName",
    "LegalCopyright", "LegalTrademarks", "OriginalFilename", "ProductName",
    "ProductVersion", "Comments",        "E-mail",           "HomePage",
};

constexpr char EndMark = '\x03';
// A record is short; a begin mark without its end this close is not one.
constexpr size_t MaxRecordLength = 8192;

// The begin mark is put together at run time: as one literal it would stand in every program that reads
// records, and a file without a record of its own would seem to carry one.
std::string BeginMark() {
    std::string mark = "\x01QuorvelVersion";
    mark += "Record\x02";
    return mark;
}

// Keys are names ("E-mail"); values are text. Anything else after a begin mark (its own literal in a
// program, bytes of other data) is not a record.
bool IsKey(std::string_view key) {
    return std::all_of(key.begin(), key.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
    });
}

bool IsValue(std::string_view value) {
    return std::none_of(value.begin(), value.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

// The record's lines after the begin mark, up to the end mark; nothing when the text is not a record.
std::optional<std::map<std::string, std::string>> ParseRecord(std::string_view text) {
    const size_t end = text.substr(0, MaxRecordLength).find(EndMark);
    if (end == std::string_view::npos)
        return std::nullopt;
    std::map<std::string, std::string> record;
    std::string_view body = text.substr(0, end);
    while (!body.empty()) {
        const size_t lineEnd = body.find('\n');
        if (lineEnd == std::string_view::npos)
            return std::nullopt;
        const std::string_view line = body.substr(0, lineEnd);
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos || equals == 0 || !IsKey(line.substr(0, equals)) ||
            !IsValue(line.substr(equals + 1)))
            return std::nullopt;
        record.emplace(std::string(line.substr(0, equals)), std::string(line.substr(equals + 1)));
        body.remove_prefix(lineEnd + 1);
    }
    if (record.empty())
        return std::nullopt;
    return record;
}

} // namespace

const char* VersionKeyName(TVersionKey key) {
    return KeyNames[static_cast<size_t>(key)];
}

std::optional<std::map<std::string, std::string>> ReadVersionRecord(const std::string& fileName) {
    QFile file(QString::fromStdString(fileName));
    if (!QFileInfo(file).isFile() || !file.open(QIODevice::ReadOnly) || file.size() == 0)
        return std::nullopt;
    const qint64 size = file.size();
    const uchar* mapped = file.map(0, size);
    QByteArray read;
    std::string_view bytes;
    if (mapped) {
        bytes = std::string_view(reinterpret_cast<const char*>(mapped), size_t(size));
    } else {
        read = file.readAll();
        bytes = std::string_view(read.constData(), size_t(read.size()));
    }
    const std::string mark = BeginMark();
    const std::boyer_moore_horspool_searcher searcher(mark.begin(), mark.end());
    for (auto at = bytes.begin();;) {
        const auto found = std::search(at, bytes.end(), searcher);
        if (found == bytes.end())
            return std::nullopt;
        const size_t offset = size_t(found - bytes.begin()) + mark.size();
        if (auto record = ParseRecord(bytes.substr(offset)))
            return record;
        at = found + 1;
    }
}

bool ReadVersionStrings(const std::string& fileName, TVersionStrings& strings) {
    const auto record = ReadVersionRecord(fileName);
    if (!record)
        return false;
    for (int i = 0; i < VersionKeyCount; ++i) {
        const auto value = record->find(KeyNames[i]);
        strings[size_t(i)] = value == record->end() ? std::string() : value->second;
    }
    return true;
}

std::string ReadBuildTime(const std::string& fileName) {
    const auto record = ReadVersionRecord(fileName);
    if (!record)
        return {};
    const auto value = record->find("BuildTime");
    return value == record->end() ? std::string() : value->second;
}

std::string RunningProgramFile() {
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath().toStdString();
}
