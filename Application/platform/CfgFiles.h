#pragma once

#include <QStringList>

#include <string>
#include <vector>

// A plain text file of "key=value" lines (settings.cfg, and with "," the speed dial list). Lines are kept
// as bytes; lines this class does not write stay exactly as they were.
class TCfgFile {
public:
    // A missing, unreadable or oversized file gives an empty list and no error. Lines may end in CR LF,
    // LF or CR alone.
    explicit TCfgFile(std::string fileName);
    // A caller that writes values ends with Close(), which reports a failed save. Whatever is still
    // unsaved here is saved as a last resort; a destructor cannot throw, so a failure of that save goes
    // to the diagnostic output only.
    ~TCfgFile();
    TCfgFile(const TCfgFile&) = delete;
    TCfgFile& operator=(const TCfgFile&) = delete;

    std::string ReadValue(const std::string& key, const std::string& def) const;
    void WriteValue(const std::string& key, const std::string& value);
    void SetSeparator(char ch) { Separator = ch; }

    // Replaces the file atomically, each line ended by CR LF; throws std::runtime_error on failure.
    void Save();
    // The save that releasing the file makes: saves when modified, and throws as Save does. The
    // destructor saves nothing after it, even when it failed.
    void Close();
    bool IsModified() const { return Modified; }

private:
    int LineOf(const std::string& key, std::string* value) const;

    std::string FileName;
    std::vector<std::string> Lines;
    bool Modified = false;
    bool Closed = false;
    char Separator = '=';
};

// True when an argument after the program's own (arguments as QCoreApplication::arguments() gives them)
// is "-" or "/" followed by word, without regard to case.
bool HasSwitch(const QStringList& arguments, const std::string& word);
