#include "platform/Registry.h"

#include "platform/Paths.h"
#include "platform/TextFile.h"
#include "platform/TextFormat.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <unistd.h>

namespace {

// Far more than the SIMs of any one machine; a larger file is not the store.
constexpr size_t MaxStoreBytes = 16 << 20;
constexpr const char* DwordPrefix = "dword:";

std::string SystemReason(int error) {
    return std::strerror(error);
}

std::string Fold(const std::string& text) {
    std::string folded = text;
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    }
    return folded;
}

std::vector<std::string> KeyNames(const std::string& path) {
    std::vector<std::string> names;
    size_t start = 0;
    while (true) {
        const size_t end = path.find('\\', start);
        names.push_back(path.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (names.back().empty())
            throw std::invalid_argument("\"" + PrintableText(path) + "\" is not a key path");
        if (end == std::string::npos)
            return names;
        start = end + 1;
    }
}

// The path folded for lookup; raises std::invalid_argument for a path with an empty name.
std::string KeyIndex(const std::string& path) {
    KeyNames(path);
    return Fold(path);
}

int DigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string Escape(const std::string& text, bool inQuotes) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || c == '%' || (inQuotes && c == '"'))
            out += FormatText("%%%02X", unsigned(byte));
        else
            out += c;
    }
    return out;
}

// The field's text, or nullopt for a '%' not followed by two hex digits.
std::optional<std::string> Unescape(const std::string& field) {
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '%') {
            out += field[i];
            continue;
        }
        if (i + 2 >= field.size() || DigitValue(field[i + 1]) < 0 || DigitValue(field[i + 2]) < 0)
            return std::nullopt;
        out += char(DigitValue(field[i + 1]) * 16 + DigitValue(field[i + 2]));
        i += 2;
    }
    return out;
}

class TParser {
public:
    TParser(const std::string& fileName, TRegistryTree& tree)
        : FileName(fileName)
        , Tree(tree) {}

    void Line(const std::string& line) {
        ++Number;
        if (Number == 1) {
            if (line != TRegistryTree::Header)
                Fail("does not begin with the line \"" + std::string(TRegistryTree::Header) + "\"");
            return;
        }
        if (line.find_first_not_of(" \t") == std::string::npos || line[0] == ';' || line[0] == '#')
            return;
        if (line.front() == '[' && line.back() == ']' && line.size() >= 2)
            KeyLine(line.substr(1, line.size() - 2));
        else if (line.front() == '"')
            ValueLine(line);
        else
            Fail("is neither a key in brackets nor a value in quotes");
    }

    void End() {
        if (Number == 0)
            Fail("is empty; the store begins with the line \"" + std::string(TRegistryTree::Header) + "\"");
    }

private:
    [[noreturn]] void Fail(const std::string& what) const {
        if (Number == 0)
            throw EStoreDamaged("The record store \"" + FileName + "\" is damaged: it " + what +
                                ". It was left as it is.");
        throw EStoreDamaged("The record store \"" + FileName + "\" is damaged: line " +
                            std::to_string(Number) + " " + what + ". It was left as it is.");
    }

    std::string Field(const std::string& field, const char* what) const {
        const std::optional<std::string> text = Unescape(field);
        if (!text)
            Fail(std::string("has a '%' in its ") + what + " that is not followed by two hex digits");
        return *text;
    }

    void KeyLine(const std::string& field) {
        const std::string path = Field(field, "key");
        std::string index;
        try {
            index = KeyIndex(path);
        } catch (const std::invalid_argument&) {
            Fail("names a key with an empty name");
        }
        if (!Seen.emplace(index, Number).second)
            Fail("repeats the key of line " + std::to_string(Seen[index]));
        Tree.Create(path);
        CurrentKey = path;
    }

    void ValueLine(const std::string& line) {
        if (CurrentKey.empty())
            Fail("holds a value before the first key");
        const size_t close = line.find('"', 1);
        if (close == std::string::npos || close + 1 >= line.size() || line[close + 1] != '=')
            Fail("is not a value \"name\"=...");
        const std::string name = Field(line.substr(1, close - 1), "name");
        if (Tree.Find(CurrentKey)->Value(name))
            Fail("repeats the value \"" + PrintableText(name) + "\" of its key");
        const std::string data = line.substr(close + 2);
        if (data.size() >= 2 && data.front() == '"' && data.back() == '"' &&
            data.find('"', 1) == data.size() - 1) {
            Tree.SetValue(CurrentKey, name, Field(data.substr(1, data.size() - 2), "text"));
            return;
        }
        const std::string digits = data.substr(0, 6) == DwordPrefix ? data.substr(6) : "";
        if (digits.size() != 8 ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return DigitValue(c) >= 0; }))
            Fail("holds a value that is neither a text in quotes nor dword: with eight hex digits");
        uint32_t value = 0;
        for (const char c : digits)
            value = value * 16 + uint32_t(DigitValue(c));
        Tree.SetValue(CurrentKey, name, value);
    }

    const std::string& FileName;
    TRegistryTree& Tree;
    int Number = 0;
    std::string CurrentKey;
    std::map<std::string, int> Seen;
};

// The file's bytes, or nullopt when there is no file.
std::optional<std::string> ReadStoreFile(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return std::nullopt;
        throw EStoreError("Cannot open the record store \"" + path + "\". " + SystemReason(errno));
    }
    std::string bytes;
    char chunk[1 << 16];
    while (true) {
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int error = errno;
            close(fd);
            throw EStoreError("Cannot read the record store \"" + path + "\". " + SystemReason(error));
        }
        if (n == 0)
            break;
        bytes.append(chunk, size_t(n));
        if (bytes.size() > MaxStoreBytes) {
            close(fd);
            throw EStoreError("Cannot read the record store \"" + path + "\". It is larger than " +
                              std::to_string(MaxStoreBytes) + " bytes.");
        }
    }
    close(fd);
    return bytes;
}

// The store's lock, held while the object lives. Programs that only read do not take it.
class TStoreLock {
public:
    explicit TStoreLock(const std::string& folder) {
        std::error_code ec;
        std::filesystem::create_directories(folder, ec);
        if (ec && !std::filesystem::is_directory(folder))
            throw EStoreError("Cannot create the folder \"" + folder + "\" of the record store. " +
                              ec.message() + ".");
        // Read-only is enough for flock, so a lock file made by another user of the group serves too.
        const std::string path = folder + "/" + TRegistry::LockName;
        Fd = open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0666);
        if (Fd < 0)
            throw EStoreError("The record store in \"" + folder + "\" may not be changed: its lock file \"" +
                              path + "\" cannot be created. " + SystemReason(errno) + ".");
        while (flock(Fd, LOCK_EX) != 0) {
            if (errno != EINTR) {
                const int error = errno;
                close(Fd);
                throw EStoreError("Cannot lock the record store in \"" + folder + "\". " +
                                  SystemReason(error) + ".");
            }
        }
    }
    ~TStoreLock() { close(Fd); }
    TStoreLock(const TStoreLock&) = delete;
    TStoreLock& operator=(const TStoreLock&) = delete;

private:
    int Fd = -1;
};

} // namespace

const TRegistryValue* TRegistryKey::Value(const std::string& name) const {
    for (const auto& [valueName, value] : Values) {
        if (SameText(valueName, name))
            return &value;
    }
    return nullptr;
}

TRegistryTree TRegistryTree::Parse(const std::string& text, const std::string& fileName) {
    TRegistryTree tree;
    TParser parser(fileName, tree);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        parser.Line(line);
        start = end + 1;
    }
    parser.End();
    return tree;
}

std::string TRegistryTree::Text() const {
    std::string text = std::string(Header) + "\n";
    for (const auto& [index, key] : Keys) {
        text += "\n[" + Escape(key.Path, false) + "]\n";
        for (const auto& [name, value] : key.Values) {
            text += "\"" + Escape(name, true) + "\"=";
            if (const auto* s = std::get_if<std::string>(&value))
                text += "\"" + Escape(*s, true) + "\"\n";
            else
                text += FormatText("%s%08x\n", DwordPrefix, unsigned(std::get<uint32_t>(value)));
        }
    }
    return text;
}

const TRegistryKey* TRegistryTree::Find(const std::string& path) const {
    const auto found = Keys.find(KeyIndex(path));
    return found == Keys.end() ? nullptr : &found->second;
}

TRegistryKey& TRegistryTree::Create(const std::string& path) {
    const std::vector<std::string> names = KeyNames(path);
    std::string prefix;
    TRegistryKey* key = nullptr;
    for (const std::string& name : names) {
        prefix += (prefix.empty() ? "" : "\\") + name;
        key = &Keys.try_emplace(Fold(prefix), TRegistryKey{prefix, {}}).first->second;
    }
    return *key;
}

void TRegistryTree::SetValue(const std::string& path, const std::string& name, TRegistryValue value) {
    TRegistryKey& key = Create(path);
    for (auto& [valueName, old] : key.Values) {
        if (SameText(valueName, name)) {
            old = std::move(value);
            return;
        }
    }
    key.Values.emplace_back(name, std::move(value));
}

bool TRegistryTree::DeleteValue(const std::string& path, const std::string& name) {
    const auto found = Keys.find(KeyIndex(path));
    if (found == Keys.end())
        return false;
    auto& values = found->second.Values;
    const auto value =
        std::find_if(values.begin(), values.end(), [&](const auto& v) { return SameText(v.first, name); });
    if (value == values.end())
        return false;
    values.erase(value);
    return true;
}

bool TRegistryTree::Delete(const std::string& path) {
    const std::string index = KeyIndex(path);
    const std::string below = index + "\\";
    const size_t before = Keys.size();
    Keys.erase(index);
    for (auto it = Keys.lower_bound(below); it != Keys.end() && it->first.starts_with(below);)
        it = Keys.erase(it);
    return Keys.size() != before;
}

std::vector<std::string> TRegistryTree::SubKeyNames(const std::string& path) const {
    const std::string below = path.empty() ? "" : KeyIndex(path) + "\\";
    std::vector<std::string> names;
    for (auto it = Keys.lower_bound(below); it != Keys.end() && it->first.starts_with(below); ++it) {
        if (it->first.find('\\', below.size()) == std::string::npos)
            names.push_back(it->second.Path.substr(below.size()));
    }
    return names;
}

TRegistry::TRegistry()
    : TRegistry(StateDir()) {}

TRegistry::TRegistry(std::string folder)
    : StoreFolder(std::move(folder)) {}

std::string TRegistry::FilePath() const {
    return StoreFolder + "/" + FileName;
}

TRegistryTree TRegistry::Read() const {
    const std::optional<std::string> text = ReadStoreFile(FilePath());
    return text ? TRegistryTree::Parse(*text, FilePath()) : TRegistryTree();
}

std::optional<TRegistryKey> TRegistry::OpenKey(const std::string& path) const {
    const TRegistryTree tree = Read();
    if (const TRegistryKey* key = tree.Find(path))
        return *key;
    return std::nullopt;
}

bool TRegistry::KeyExists(const std::string& path) const {
    return OpenKey(path).has_value();
}

std::vector<std::string> TRegistry::SubKeyNames(const std::string& path) const {
    return Read().SubKeyNames(path);
}

void TRegistry::Change(const std::function<void(TRegistryTree&)>& edit) {
    const TStoreLock lock(StoreFolder);
    const std::optional<std::string> text = ReadStoreFile(FilePath());
    TRegistryTree tree = text ? TRegistryTree::Parse(*text, FilePath()) : TRegistryTree();
    const std::string before = tree.Text();
    edit(tree);
    const std::string after = tree.Text();
    if (after == before)
        return;
    try {
        WriteFileDurably(FilePath(), after);
    } catch (const EFileError& e) {
        throw EStoreError(std::string("The record store was not changed. ") + e.what());
    }
}

void TRegistry::CreateKey(const std::string& path) {
    Change([&](TRegistryTree& tree) { tree.Create(path); });
}

void TRegistry::WriteString(const std::string& path, const std::string& name, const std::string& value) {
    Change([&](TRegistryTree& tree) { tree.SetValue(path, name, value); });
}

void TRegistry::WriteInteger(const std::string& path, const std::string& name, uint32_t value) {
    Change([&](TRegistryTree& tree) { tree.SetValue(path, name, value); });
}

bool TRegistry::DeleteKey(const std::string& path) {
    bool deleted = false;
    Change([&](TRegistryTree& tree) { deleted = tree.Delete(path); });
    return deleted;
}
