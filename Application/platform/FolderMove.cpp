#include "platform/FolderMove.h"

#include "platform/TextFile.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// A backup is at most a SIM image or a list file; a log a few hundred kilobytes.
constexpr size_t LargestMovedFile = 64 * 1024 * 1024;

bool SameBytes(const std::string& a, const std::string& b) {
    try {
        return ReadFileBytes(a, LargestMovedFile) == ReadFileBytes(b, LargestMovedFile);
    } catch (const EFileError&) {
        return false;
    }
}

bool SyncFolder(const std::string& folder) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = fsync(fd) == 0;
    close(fd);
    return synced;
}

// The copy for a move across file systems: whole and on the disk under a name of its own first, then
// given the target's name by a link, which fails rather than replace a file that took the name meanwhile.
std::string CopyInto(const std::string& path, const std::string& target) {
    const std::string part = target + ".moving";
    try {
        WriteFileDurably(part, ReadFileBytes(path, LargestMovedFile));
    } catch (const EFileError& e) {
        std::remove(part.c_str());
        return e.what();
    }
    const bool linked = link(part.c_str(), target.c_str()) == 0;
    const int linkError = errno;
    std::remove(part.c_str());
    if (!linked)
        return target + ": " + std::strerror(linkError);
    return SyncFolder(QFileInfo(QString::fromStdString(target)).absolutePath().toStdString())
               ? std::string()
               : target + ": the folder could not be written to the disk";
}

} // namespace

std::string MoveFileInto(const std::string& path, const std::string& folder) {
    if (!QFileInfo(QString::fromStdString(path)).isFile())
        return {};
    if (!QDir().mkpath(QString::fromStdString(folder)))
        return folder + ": the folder cannot be made";
    const std::string target =
        folder + "/" + QFileInfo(QString::fromStdString(path)).fileName().toStdString();
    if (QFileInfo::exists(QString::fromStdString(target))) {
        if (!SameBytes(path, target))
            return path + ": " + target + " is there already and holds something else";
    } else if (link(path.c_str(), target.c_str()) == 0) {
        SyncFolder(folder);
    } else if (errno == EEXIST) {
        return path + ": " + target + " is there already";
    } else if (std::string failed = CopyInto(path, target); !failed.empty()) {
        return failed;
    }
    // The file is whole in its new place: its old name may go.
    if (std::remove(path.c_str()) != 0 && errno != ENOENT)
        return path + ": " + std::strerror(errno);
    return {};
}

std::vector<std::string> MoveFolderFiles(const std::string& from, const std::string& to) {
    const QDir old(QString::fromStdString(from));
    if (!old.exists() || QFileInfo(old.path()).canonicalFilePath() ==
                             QFileInfo(QString::fromStdString(to)).canonicalFilePath())
        return {};
    std::vector<std::string> stayed;
    for (const QString& name : old.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name))
        if (std::string failed = MoveFileInto(old.filePath(name).toStdString(), to); !failed.empty())
            stayed.push_back(failed);
    // rmdir removes only an empty folder: whatever stayed, or came meanwhile, keeps it.
    if (stayed.empty())
        rmdir(from.c_str());
    return stayed;
}
