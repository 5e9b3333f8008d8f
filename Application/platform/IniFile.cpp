#include "platform/IniFile.h"

#include "platform/TextFile.h"

#include "platform/TextFormat.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace {

// Larger files are not settings files; reading stops there.
constexpr qint64 MaxIniBytes = 4 << 20;

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(uint8_t(s[b])))
        ++b;
    while (e > b && std::isspace(uint8_t(s[e - 1])))
        --e;
    return s.substr(b, e - b);
}

// The section name of a header line "[name]", or false.
bool SectionName(const std::string& line, std::string& name) {
    const std::string t = Trim(line);
    if (t.size() < 2 || t.front() != '[')
        return false;
    const size_t close = t.find(']');
    if (close == std::string::npos)
        return false;
    name = Trim(t.substr(1, close - 1));
    return true;
}

bool KeyOfLine(const std::string& line, std::string& key, std::string& value) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos)
        return false;
    key = Trim(line.substr(0, eq));
    value = Trim(line.substr(eq + 1));
    return !key.empty() && key[0] != ';';
}

} // namespace

TIniFile::TIniFile(std::string path)
    : FilePath(std::move(path)) {
    Load();
}

void TIniFile::Load() {
    Lines.clear();
    ReadProblem.clear();
    QFile file(QString::fromStdString(FilePath));
    // A pipe would block the open until someone writes to it, a device would be read as settings.
    if (const QFileInfo info(file); info.exists() && !info.isFile()) {
        ReadProblem = "it is not a regular file";
        return;
    }
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QByteArray data = file.read(MaxIniBytes);
    if (!file.atEnd())
        ReadProblem = "it is larger than " + std::to_string(MaxIniBytes) + " bytes";
    // Lines end in CR LF, LF or CR alone, as editors on any system leave them.
    // A UTF-8 byte-order mark, as some editors write, is no part of the first line.
    std::string line;
    for (qsizetype i = data.startsWith("\xEF\xBB\xBF") ? 3 : 0; i < data.size(); ++i) {
        const char c = data[i];
        if (c == '\r' || c == '\n') {
            Lines.push_back(line);
            line.clear();
            if (c == '\r' && i + 1 < data.size() && data[i + 1] == '\n')
                ++i;
        } else if (c != '\0') {
            line += c;
        }
    }
    if (!line.empty())
        Lines.push_back(line);
}

void TIniFile::BeginBatch() {
    Load();
    Batch = true;
}

bool TIniFile::EndBatch() {
    Batch = false;
    return Save();
}

bool TIniFile::Save() const {
    if (!ReadProblem.empty()) {
        SaveError = "Cannot write file \"" + FilePath + "\": " + ReadProblem +
                    ", so a save would lose what it holds.";
        return false;
    }
    std::string text;
    for (const std::string& line : Lines)
        text += line + "\r\n";
    try {
        WriteFileAtomically(FilePath, text);
    } catch (const EFileError& e) {
        SaveError = e.what();
        return false;
    }
    SaveError.clear();
    return true;
}

std::vector<TIniFile::TKeyLine> TIniFile::KeyLines() const {
    std::vector<TKeyLine> keys;
    std::string section;
    for (size_t i = 0; i < Lines.size(); ++i) {
        std::string name, key, value;
        if (SectionName(Lines[i], name))
            section = name;
        else if (KeyOfLine(Lines[i], key, value))
            keys.push_back({int(i) + 1, section, key});
    }
    return keys;
}

TIniFile::TFound TIniFile::Find(const std::string& section, const std::string& key) const {
    TFound found;
    const std::string wantedSection = Trim(section);
    const std::string wantedKey = Trim(key);
    for (int i = 0; i < int(Lines.size()); ++i) {
        std::string name;
        if (SectionName(Lines[size_t(i)], name)) {
            if (found.sectionLine >= 0)
                break;
            if (SameText(name, wantedSection))
                found.sectionLine = i;
            continue;
        }
        if (found.sectionLine < 0)
            continue;
        std::string k, v;
        if (found.keyLine < 0 && KeyOfLine(Lines[size_t(i)], k, v) && SameText(k, wantedKey))
            found.keyLine = i;
    }
    if (found.sectionLine >= 0) {
        // The section ends before the next header, or with the file; trailing blank lines stay after it.
        int end = found.sectionLine + 1;
        std::string name;
        while (end < int(Lines.size()) && !SectionName(Lines[size_t(end)], name))
            ++end;
        while (end > found.sectionLine + 1 && Trim(Lines[size_t(end - 1)]).empty())
            --end;
        found.sectionEnd = end;
    }
    return found;
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& def) const {
    const TFound found = Find(section, key);
    if (found.keyLine < 0)
        return def;
    std::string k, v;
    KeyOfLine(Lines[size_t(found.keyLine)], k, v);
    // A value in matching quotes loses them, as the profile functions do.
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    return v;
}

int TIniFile::ReadInteger(const std::string& section, const std::string& key, int def) const {
    const std::string text = ReadString(section, key, "");
    if (text.empty())
        return def;
    char* end = nullptr;
    const long value =
        std::strtol(text.c_str(), &end, text.size() > 2 && (text[1] == 'x' || text[1] == 'X') ? 16 : 10);
    if (end == text.c_str() || *end != '\0' || value < INT32_MIN || value > INT32_MAX)
        return def;
    return int(value);
}

bool TIniFile::ReadBool(const std::string& section, const std::string& key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

bool TIniFile::SectionExists(const std::string& section) const {
    return Find(section, "").sectionLine >= 0;
}

bool TIniFile::ValueExists(const std::string& section, const std::string& key) const {
    return Find(section, key).keyLine >= 0;
}

int TIniFile::LineOf(const std::string& section, const std::string& key) const {
    return Find(section, key).keyLine + 1;
}

bool TIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
    if (!Batch)
        Load();
    const std::string line = Trim(key) + "=" + value;
    const TFound found = Find(section, key);
    if (found.keyLine >= 0) {
        Lines[size_t(found.keyLine)] = line;
    } else if (found.sectionLine >= 0) {
        Lines.insert(Lines.begin() + found.sectionEnd, line);
    } else {
        // A new section follows the last line directly, with no blank line between, as profile files
        // are laid out.
        Lines.push_back("[" + Trim(section) + "]");
        Lines.push_back(line);
    }
    return Batch || Save();
}

bool TIniFile::WriteInteger(const std::string& section, const std::string& key, int value) {
    return WriteString(section, key, std::to_string(value));
}

bool TIniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
    return WriteString(section, key, value ? "1" : "0");
}

bool TIniFile::DeleteKey(const std::string& section, const std::string& key) {
    if (!Batch)
        Load();
    const TFound found = Find(section, key);
    if (found.keyLine < 0)
        return true;
    Lines.erase(Lines.begin() + found.keyLine);
    return Batch || Save();
}
