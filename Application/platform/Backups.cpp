#include "platform/Backups.h"

#include "platform/Paths.h"
#include "platform/TextFile.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

QString Pattern(const std::string& kind, const std::string& extension) {
    return "^" + QRegularExpression::escape(QString::fromStdString(kind)) +
           "-(\\d{8}-\\d{6})(?:-(\\d+))?\\." + QRegularExpression::escape(QString::fromStdString(extension)) +
           "$";
}

// Claims the name, so that two programs keeping a copy in the same second never share one.
bool Claim(const std::string& path) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    close(fd);
    return true;
}

} // namespace

std::string BackupFolder() {
    const std::string folder = PerUserDir() + "/backups";
    QDir().mkpath(QString::fromStdString(folder));
    return folder;
}

std::string NewBackupPath(const std::string& kind, const std::string& extension) {
    const std::string folder = BackupFolder();
    if (!QFileInfo(QString::fromStdString(folder)).isDir())
        throw EFileError(folder + ": the folder for backups cannot be made");
    const std::string stem =
        folder + "/" + kind + "-" + QDateTime::currentDateTime().toString("yyyyMMdd-HHmmss").toStdString();
    for (int n = 1; n < 1000; ++n) {
        const std::string path = stem + (n == 1 ? "" : "-" + std::to_string(n)) + "." + extension;
        if (Claim(path))
            return path;
        if (!QFileInfo::exists(QString::fromStdString(path)))
            throw EFileError(path + ": " + std::strerror(errno));
    }
    throw EFileError(stem + ": no free name for a backup");
}

std::string KeepBackup(const std::string& kind, const std::string& extension, const std::string& bytes) {
    const std::string path = NewBackupPath(kind, extension);
    try {
        WriteFileAtomically(path, bytes);
    } catch (const EFileError&) {
        std::remove(path.c_str());
        throw;
    }
    return path;
}

std::string NewestBackup(const std::string& kind, const std::string& extension) {
    const QRegularExpression pattern(Pattern(kind, extension));
    QString newest;
    std::pair<QString, int> newestKey;
    for (const QString& name : QDir(QString::fromStdString(BackupFolder())).entryList(QDir::Files)) {
        const QRegularExpressionMatch match = pattern.match(name);
        if (!match.hasMatch())
            continue;
        const std::pair<QString, int> key{match.captured(1),
                                          match.captured(2).isEmpty() ? 1 : match.captured(2).toInt()};
        if (newest.isEmpty() || key > newestKey) {
            newest = name;
            newestKey = key;
        }
    }
    return newest.isEmpty() ? std::string() : BackupFolder() + "/" + newest.toStdString();
}
