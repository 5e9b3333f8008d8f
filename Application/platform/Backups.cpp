#include "platform/Backups.h"

#include "platform/FolderMove.h"
#include "platform/Paths.h"
#include "platform/TextFile.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <tuple>
#include <unistd.h>

namespace {

constexpr const char* HandsetNote = ".handset";

// "phonebook-00291-0284280-COM10-20261210-094500-2.phb"; the older form lacks the handset and the port.
const QRegularExpression& CopyName() {
    static const QRegularExpression name(
        "^(.+?)-(?:(\\d{5}-\\d{7}|noSIM|unknown)-(COM\\d+)-)?(\\d{8}-\\d{6})(?:-(\\d+))?\\.([A-Za-z]+)$");
    return name;
}

// Claims the name, so that two programs keeping a copy in the same second never share one.
bool Claim(const std::string& path) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    close(fd);
    return true;
}

std::string PortTag(const THandsetIdentity& handset) {
    return handset.port > 0 ? handset.PortName() : "COM0";
}

std::string NoteText(const THandsetIdentity& handset) {
    return "serial=" + handset.SerialText() + "\nport=" + PortTag(handset) +
           "\nsoftware=" + handset.software + "\npcs=" + handset.pcs +
           "\nsaved=" + QDateTime::currentDateTime().toString(Qt::ISODate).toStdString() + "\n";
}

// Newest last, the count within a second as a number ("-10" after "-9").
bool Older(const TBackupCopy& a, const TBackupCopy& b) {
    return std::tie(a.time, a.second) < std::tie(b.time, b.second);
}

void Remove(const std::string& path) {
    if (std::remove(path.c_str()) != 0 && errno != ENOENT)
        throw EFileError(path + ": " + std::strerror(errno));
}

// Keeps the newest copies of the handset's kind, as every new copy does; never the one just made (made),
// which a name freed by an earlier prune in the same second could sort among the oldest.
void PruneCopiesOf(const std::string& kind, const THandsetIdentity& handset, const std::string& made) {
    std::vector<TBackupCopy> copies;
    for (const TBackupCopy& copy : BackupCopies())
        if (copy.kind == kind && CopyOfHandset(copy, handset) && copy.path != made)
            copies.push_back(copy);
    // Sorted oldest first: all but the newest KeptCopies go.
    for (size_t i = 0; i + KeptCopies - 1 < copies.size(); ++i) {
        Remove(copies[i].path);
        Remove(copies[i].path + HandsetNote);
    }
}

} // namespace

std::string BackupFolder() {
    const std::string folder = PerUserDataDir() + "/backups";
    // An earlier version kept the copies in the per-user folder: they move here on the first use. A copy
    // that cannot move stays there, whole, and is tried again on the next use.
    MoveFolderFiles(PerUserDir() + "/backups", folder);
    QDir().mkpath(QString::fromStdString(folder));
    return folder;
}

std::string NewBackupPath(const std::string& kind, const std::string& extension,
                          const THandsetIdentity& handset) {
    const std::string folder = BackupFolder();
    if (!QFileInfo(QString::fromStdString(folder)).isDir())
        throw EFileError(folder + ": the folder for backups cannot be made");
    const std::string stem = folder + "/" + kind + "-" + handset.FileTag() + "-" + PortTag(handset) + "-" +
                             QDateTime::currentDateTime().toString("yyyyMMdd-HHmmss").toStdString();
    for (int n = 1; n < 1000; ++n) {
        const std::string path = stem + (n == 1 ? "" : "-" + std::to_string(n)) + "." + extension;
        if (Claim(path)) {
            try {
                WriteFileAtomically(path + HandsetNote, NoteText(handset));
            } catch (const EFileError&) {
                std::remove(path.c_str());
                throw;
            }
            return path;
        }
        if (!QFileInfo::exists(QString::fromStdString(path)))
            throw EFileError(path + ": " + std::strerror(errno));
    }
    throw EFileError(stem + ": no free name for a backup");
}

std::string KeepBackup(const std::string& kind, const std::string& extension, const std::string& bytes,
                       const THandsetIdentity& handset) {
    const std::string path = NewBackupPath(kind, extension, handset);
    try {
        WriteFileAtomically(path, bytes);
    } catch (const EFileError&) {
        std::remove(path.c_str());
        std::remove((path + HandsetNote).c_str());
        throw;
    }
    // The copy is whole; the oldest beyond the number kept may go. A copy that cannot be removed stays,
    // and the next copy tries again.
    try {
        PruneCopiesOf(kind, handset, path);
    } catch (const EFileError&) {
        // Dropped: an old copy that could not be removed; the new one is kept all the same.
    }
    return path;
}

std::optional<TBackupCopy> BackupCopyOf(const std::string& path) {
    const QString name = QFileInfo(QString::fromStdString(path)).fileName();
    const QRegularExpressionMatch match = CopyName().match(name);
    if (!match.hasMatch())
        return std::nullopt;
    TBackupCopy copy;
    copy.path = path;
    copy.kind = match.captured(1).toStdString();
    copy.handset = match.captured(2).toStdString();
    copy.port = match.captured(3).toStdString();
    copy.time = match.captured(4).toStdString();
    copy.second = match.captured(5).isEmpty() ? 1 : match.captured(5).toInt();
    return copy;
}

bool CopyOfHandset(const TBackupCopy& copy, const THandsetIdentity& handset) {
    if (copy.handset.empty() || copy.handset != handset.FileTag())
        return false;
    // Without a serial number only the port tells one handset from another.
    return (handset.serial && !handset.serial->empty()) || copy.port == PortTag(handset);
}

std::vector<TBackupCopy> BackupCopies() {
    const std::string folder = BackupFolder();
    std::vector<TBackupCopy> copies;
    for (const QString& name : QDir(QString::fromStdString(folder)).entryList(QDir::Files, QDir::Name))
        if (std::optional<TBackupCopy> copy = BackupCopyOf(folder + "/" + name.toStdString()))
            copies.push_back(*copy);
    std::stable_sort(copies.begin(), copies.end(), [](const TBackupCopy& a, const TBackupCopy& b) {
        return std::tie(a.handset, a.port, a.kind) < std::tie(b.handset, b.port, b.kind) ||
               (std::tie(a.handset, a.port, a.kind) == std::tie(b.handset, b.port, b.kind) && Older(a, b));
    });
    return copies;
}

std::string NewestBackup(const std::string& kind, const std::string& extension,
                         const THandsetIdentity& handset) {
    std::optional<TBackupCopy> newest;
    for (const TBackupCopy& copy : BackupCopies())
        if (copy.kind == kind && copy.path.ends_with("." + extension) && CopyOfHandset(copy, handset) &&
            (!newest || Older(*newest, copy)))
            newest = copy;
    return newest ? newest->path : std::string();
}

std::vector<std::string> PruneBackups(int keep) {
    keep = std::max(keep, 1);
    // One group a handset and kind; a handset without a serial number is one a port.
    std::map<std::tuple<std::string, std::string, std::string>, std::vector<TBackupCopy>> groups;
    for (const TBackupCopy& copy : BackupCopies()) {
        const bool bySerial = copy.handset.find('-') != std::string::npos;
        groups[{copy.handset, bySerial ? std::string() : copy.port, copy.kind}].push_back(copy);
    }
    std::vector<std::string> removed;
    for (auto& [key, copies] : groups) {
        std::sort(copies.begin(), copies.end(), Older);
        for (size_t i = 0; i + size_t(keep) < copies.size(); ++i) {
            Remove(copies[i].path);
            Remove(copies[i].path + HandsetNote);
            removed.push_back(copies[i].path);
        }
    }
    return removed;
}
