#pragma once

#include <QFile>

#include <string>

// The diagnostic log "debug.txt": what the SIM interpreter list reader did, step by step, for whoever
// has to find out why a handset's SIM was not moved. The window program opens it at start; a program
// that never opens it logs nothing.
class TDebugToFile {
public:
    static constexpr int MaxLineLength = 255;
    static constexpr const char* FirstLine = "Debug Version: 02";

    // The one log of the program.
    static TDebugToFile& Instance();

    // Empties the file and writes its first line. A file that cannot be created, or that another running
    // program keeps open as its log, is left alone: nothing is logged then.
    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const { return File.isOpen(); }

    // One line: the time of day, a tab and the message (or the message alone), cut to 255 characters,
    // ended by CR LF. Errors while writing are ignored.
    void WriteLine(const std::string& message, bool withTime = true);

private:
    QFile File;
};

// Writes a line with the time of day to the program's log.
void DebugLog(const std::string& message);
