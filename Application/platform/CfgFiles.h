#pragma once

#include <QStringList>

#include <string>
#include <vector>

// A plain text file of "key=value" lines (settings.cfg, and with "," the speed dial list). Lines are kept
// as bytes; lines this class does not write stay exactly as they were.
class TCfgFile {
public:
    // A missing, unreadable or oversized file gives an empty list and no error.
    explicit TCfgFile(std::string fileName);
    // Saves when still modified. A destructor must not throw, so errors of that last save are lost:
    // callers that need to know call Save() first.
    ~TCfgFile();
    TCfgFile(const TCfgFile&) = delete;
    TCfgFile& operator=(const TCfgFile&) = delete;

    std::string ReadValue(const std::string& key, const std::string& def) const;
    void WriteValue(const std::string& key, const std::string& value);
    void SetSeparator(char ch) { Separator = ch; }

    // Replaces the file atomically, each line ended by CR LF; throws std::runtime_error on failure.
    void Save();
    bool IsModified() const { return Modified; }

private:
    int LineOf(const std::string& key, std::string* value) const;

    std::string FileName;
    std::vector<std::string> Lines;
    bool Modified = false;
    char Separator = '=';
};

// True when an argument after the program's own (arguments as QCoreApplication::arguments() gives them)
// is "-" or "/" followed by word, without regard to case.
bool HasSwitch(const QStringList& arguments, const std::string& word);
