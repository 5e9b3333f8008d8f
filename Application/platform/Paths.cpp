#include "platform/Paths.h"

#include "platform/FolderMove.h"

#include <QDir>
#include <QFileInfo>

#include <cstdlib>
#include <unistd.h>

std::string PerUserDir() {
    QString dir;
    if (const char* own = std::getenv("QUORVEL_CONFIG_DIR"); own && *own)
        dir = QString::fromLocal8Bit(own);
    else if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        dir = QString::fromLocal8Bit(xdg) + "/Quorvel";
    else
        dir = QDir::homePath() + "/.config/Quorvel";
    QDir().mkpath(dir);
    return QDir::cleanPath(dir).toStdString();
}

namespace {

// $XDG_..._HOME/Quorvel, else the fallback below the home folder; a relative XDG value is ignored, as
// the XDG base directory rules ask.
std::string XdgFolder(const char* variable, const char* belowHome) {
    if (const char* own = std::getenv("QUORVEL_CONFIG_DIR"); own && *own)
        return PerUserDir();
    QString dir;
    if (const char* xdg = std::getenv(variable);
        xdg && *xdg && QDir::isAbsolutePath(QString::fromLocal8Bit(xdg)))
        dir = QString::fromLocal8Bit(xdg) + "/Quorvel";
    else
        dir = QDir::homePath() + "/" + belowHome + "/Quorvel";
    QDir().mkpath(dir);
    return QDir::cleanPath(dir).toStdString();
}

} // namespace

std::string PerUserDataDir() {
    return XdgFolder("XDG_DATA_HOME", ".local/share");
}

std::string PerUserStateDir() {
    return XdgFolder("XDG_STATE_HOME", ".local/state");
}

std::string ProgramDir() {
    // A program folder elsewhere than the executable's: for tests, and for a copy run from a
    // read-only place with its files kept beside it.
    if (const char* dir = std::getenv("QUORVEL_PROGRAM_DIR"); dir && *dir)
        return QDir::cleanPath(QString::fromLocal8Bit(dir)).toStdString() + "/";
    const QFileInfo exe(QStringLiteral("/proc/self/exe"));
    const QString dir = QFileInfo(exe.canonicalFilePath()).absolutePath();
    return QDir::cleanPath(dir).toStdString() + "/";
}

std::string WritableProgramFile(const std::string& name) {
    const std::string programDir = ProgramDir();
    // An installed program folder is the package's, even for root, who may write anywhere.
    const bool installed = QFileInfo::exists(QString::fromStdString(programDir + InstalledMarkName));
    if (!installed && access(programDir.c_str(), W_OK) == 0)
        return programDir + name;
    return PerUserDir() + "/" + name;
}

std::string WritableLogFile(const std::string& name) {
    const std::string beside = WritableProgramFile(name);
    if (beside == ProgramDir() + name)
        return beside;
    const std::string folder = PerUserStateDir();
    // Where an earlier version kept it. One that cannot be moved stays there, and a new one begins here.
    MoveFileInto(PerUserDir() + "/" + name, folder);
    return folder + "/" + name;
}

std::string ProgramIniPath() {
    return WritableProgramFile("quorvel.ini");
}

std::string WindowIniPath() {
    return PerUserDir() + "/quorvel.ini";
}

std::string ChangesDir() {
    if (const char* own = std::getenv("QUORVEL_STATE_DIR"); own && *own)
        return QDir::cleanPath(QString::fromLocal8Bit(own)).toStdString();
    if (QFileInfo(QString::fromLatin1(MachineChangesDir)).isDir())
        return MachineChangesDir;
    return StateDir();
}

std::string StateDir() {
    if (const char* own = std::getenv("QUORVEL_STATE_DIR"); own && *own)
        return QDir::cleanPath(QString::fromLocal8Bit(own)).toStdString();
    if (QFileInfo(QString::fromLatin1(MachineStateDir)).isDir())
        return MachineStateDir;
    return PerUserDir();
}
