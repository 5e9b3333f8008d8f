#pragma once

#include <string>
#include <vector>

// An initialisation file with the rules of Windows' private-profile functions: sections and keys found
// without regard to case, values trimmed, a write replaces the key's line in place and keeps every other
// line, a new key goes at the end of its section and a new section at the end of the file. Lines are
// written with CR LF; every write replaces the file atomically.
class TIniFile {
public:
    explicit TIniFile(std::string path);

    std::string ReadString(const std::string& section, const std::string& key, const std::string& def) const;
    int ReadInteger(const std::string& section, const std::string& key, int def) const;
    bool ReadBool(const std::string& section, const std::string& key, bool def) const;
    bool SectionExists(const std::string& section) const;
    bool ValueExists(const std::string& section, const std::string& key) const;
    // The line of the key, counted from 1; 0 when the file does not hold it.
    int LineOf(const std::string& section, const std::string& key) const;
    // Every key line as the file holds it: its line (from 1), section ("" before the first) and key.
    struct TKeyLine {
        int line;
        std::string section;
        std::string key;
    };
    std::vector<TKeyLine> KeyLines() const;

    // Between these, writes change the lines in memory only, and EndBatch saves them in one step (false
    // when that fails): a file of many keys is never left with some written and some not.
    void BeginBatch();
    bool EndBatch();

    // Each write saves the file at once, as the profile functions do; false when it could not be saved.
    bool WriteString(const std::string& section, const std::string& key, const std::string& value);
    bool WriteInteger(const std::string& section, const std::string& key, int value);
    bool WriteBool(const std::string& section, const std::string& key, bool value);
    bool DeleteKey(const std::string& section, const std::string& key);

    const std::string& Path() const { return FilePath; }
    // Why the last write could not be saved; empty after one that was.
    const std::string& LastError() const { return SaveError; }

private:
    struct TFound {
        int sectionLine = -1; // header line of the section, -1 when missing
        int sectionEnd = -1;  // one past the section's last line
        int keyLine = -1;     // line of the key, -1 when missing
    };
    TFound Find(const std::string& section, const std::string& key) const;
    void Load();
    bool Save() const;

    std::string FilePath;
    std::vector<std::string> Lines;
    mutable std::string SaveError;
    // Why the file was not read whole (it is larger than any settings file); such a file is not saved
    // over, as what was not read would be lost.
    std::string ReadProblem;
    bool Batch = false;
};
