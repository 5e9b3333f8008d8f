#include "platform/CfgFiles.h"

#include "platform/TextFile.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>

#include <stdexcept>

namespace {

// Settings files are a few lines long. The bound also bounds memory: every line feed costs a string.
constexpr qint64 MaxCfgBytes = 1 << 20;

bool IsBlank(char c) {
    return uint8_t(c) <= ' ';
}

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b]))
        ++b;
    while (e > b && IsBlank(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

// ASCII only, so that the result does not depend on the locale.
char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool StartsWithText(const std::string& line, const std::string& prefix) {
    if (line.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (Lower(line[i]) != Lower(prefix[i]))
            return false;
    return true;
}

} // namespace

TCfgFile::TCfgFile(std::string fileName)
    : FileName(std::move(fileName)) {
    const QFileInfo info(QString::fromStdString(FileName));
    if (!info.exists())
        return;
    if (info.isDir()) {
        Problem = "it is a folder";
        return;
    }
    QFile file(info.filePath());
    if (!file.open(QIODevice::ReadOnly)) {
        Problem = file.errorString().toStdString();
        return;
    }
    // One byte over the bound tells an oversized file from one of exactly that size; a half-read file
    // would be worse than none.
    const QByteArray data = file.read(MaxCfgBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        Problem = file.errorString().toStdString();
        return;
    }
    if (data.size() > MaxCfgBytes) {
        Problem = "it is larger than " + std::to_string(MaxCfgBytes) + " bytes";
        return;
    }
    // Lines end in CR LF, LF or CR alone, as editors on any system leave them.
    std::string line;
    const qsizetype start = data.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    for (qsizetype i = start; i < data.size(); ++i) {
        const char c = data[i];
        if (c != '\r' && c != '\n') {
            line += c;
            continue;
        }
        Lines.push_back(std::move(line));
        line.clear();
        if (c == '\r' && i + 1 < data.size() && data[i + 1] == '\n')
            ++i;
    }
    if (!line.empty())
        Lines.push_back(std::move(line));
}

TCfgFile::~TCfgFile() {
    if (Closed || !Modified)
        return;
    try {
        Save();
    } catch (const std::exception& e) {
        qWarning("%s", e.what());
    }
}

void TCfgFile::Close() {
    if (Closed)
        return;
    Closed = true;
    if (Modified)
        Save();
}

int TCfgFile::LineOf(const std::string& key, std::string* value) const {
    for (size_t i = 0; i < Lines.size(); ++i) {
        const std::string& line = Lines[i];
        if (!StartsWithText(line, key))
            continue;
        const std::string rest = Trim(line.substr(key.size()));
        if (rest.empty() || rest.front() != Separator)
            continue;
        if (value)
            *value = Trim(rest.substr(1));
        return int(i);
    }
    return -1;
}

std::vector<std::string> TCfgFile::LineKeys(std::vector<int>* keyless, std::vector<int>* keyLines) const {
    std::vector<std::string> keys;
    for (size_t i = 0; i < Lines.size(); ++i) {
        const size_t at = Lines[i].find(Separator);
        if (at != std::string::npos) {
            keys.push_back(Trim(Lines[i].substr(0, at)));
            if (keyLines)
                keyLines->push_back(int(i) + 1);
        } else if (keyless && !Trim(Lines[i]).empty())
            keyless->push_back(int(i) + 1);
    }
    return keys;
}

std::string TCfgFile::ReadValue(const std::string& key, const std::string& def) const {
    std::string value;
    return LineOf(key, &value) >= 0 ? value : def;
}

void TCfgFile::WriteValue(const std::string& key, const std::string& value) {
    Modified = true;
    std::string line = key + Separator + value;
    if (const int at = LineOf(key, nullptr); at >= 0)
        Lines[size_t(at)] = std::move(line);
    else
        Lines.push_back(std::move(line));
}

void TCfgFile::Save() {
    if (!Problem.empty())
        throw std::runtime_error("Cannot write " + FileName + ": " + Problem +
                                 ", so a save would lose what it holds.");
    std::string text;
    for (const std::string& line : Lines)
        text += line + "\r\n";
    WriteFileAtomically(FileName, text);
    Modified = false;
}

bool HasSwitch(const QStringList& arguments, const std::string& word) {
    const QString wanted = QString::fromStdString(word);
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument.size() == wanted.size() + 1 && (argument[0] == '-' || argument[0] == '/') &&
            argument.mid(1).compare(wanted, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}
