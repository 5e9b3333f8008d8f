#include "vsim/DebugToFile.h"

#include "link/Timing.h"

#include <sys/file.h>

TDebugToFile& TDebugToFile::Instance() {
    static TDebugToFile log;
    return log;
}

bool TDebugToFile::Open(const std::string& path) {
    Close();
    File.setFileName(QString::fromStdString(path));
    // Opened without truncating first: the lock decides whether this program may empty the file.
    if (!File.open(QIODevice::ReadWrite))
        return false;
    if (flock(File.handle(), LOCK_EX | LOCK_NB) != 0 || !File.resize(0)) {
        File.close();
        return false;
    }
    WriteLine(FirstLine, false);
    return true;
}

void TDebugToFile::Close() {
    if (File.isOpen())
        File.close(); // the lock goes with the descriptor
}

void TDebugToFile::WriteLine(const std::string& message, bool withTime) {
    if (!File.isOpen())
        return;
    std::string line = withTime ? TimeStamp() + "\t" + message : message;
    if (line.size() > size_t(MaxLineLength))
        line.resize(size_t(MaxLineLength));
    line += "\r\n";
    File.write(line.data(), qint64(line.size()));
    File.flush();
}

void DebugLog(const std::string& message) {
    TDebugToFile::Instance().WriteLine(message, true);
}
