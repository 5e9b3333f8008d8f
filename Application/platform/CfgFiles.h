#pragma once

#include <QStringList>

#include <string>
#include <vector>

// A plain text file of "key=value" lines (settings.cfg, and with "," the speed dial list). Lines are kept
// as bytes; lines this class does not write stay exactly as they were.
class TCfgFile {
public:
    // A missing, unreadable or oversized file gives an empty list and no error; ReadProblem says why
    // an existing one was not read. Lines may end in CR LF, LF or CR alone; a UTF-8 byte-order mark at
    // the start is skipped.
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

    // Why an existing file could not be read whole; empty when it was, or when there is no file.
    const std::string& ReadProblem() const { return Problem; }
    // The key of each line that has the separator, trimmed, in the file's order; the numbers (from 1) of
    // the other lines that are not blank go to keyless, and the number of each key's line to keyLines.
    std::vector<std::string> LineKeys(std::vector<int>* keyless = nullptr,
                                      std::vector<int>* keyLines = nullptr) const;

    // Replaces the file atomically, each line ended by CR LF; throws std::runtime_error on failure. A
    // file that was not read whole is never replaced: what it holds would be lost.
    void Save();
    // The save that releasing the file makes: saves when modified, and throws as Save does. The
    // destructor saves nothing after it, even when it failed.
    void Close();
    bool IsModified() const { return Modified; }

private:
    int LineOf(const std::string& key, std::string* value) const;

    std::string FileName;
    std::string Problem;
    std::vector<std::string> Lines;
    bool Modified = false;
    bool Closed = false;
    char Separator = '=';
};

// True when an argument after the program's own (arguments as QCoreApplication::arguments() gives them)
// is "-" or "/" followed by word, without regard to case.
bool HasSwitch(const QStringList& arguments, const std::string& word);
