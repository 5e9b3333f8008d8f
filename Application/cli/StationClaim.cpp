#include "cli/StationClaim.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

// The folder every user's stations share: the system's lock folder, where serial port locks live too.
std::string LockFolder() {
    for (const char* folder : {"/run/lock", "/var/lock"})
        if (access(folder, W_OK | X_OK) == 0)
            return folder;
    return QDir::tempPath().toStdString();
}

std::string ClaimFile(const std::string& device) {
    std::string name = QFileInfo(QString::fromStdString(device)).canonicalFilePath().toStdString();
    if (name.empty())
        name = device;
    // "/dev/ttyUSB0" as "dev_ttyUSB0": one file a device, whatever link named it.
    for (char& c : name)
        if (c == '/')
            c = '_';
    return LockFolder() + "/quorvel-station" + name + ".lock";
}

std::string ReadHolder(int fd) {
    char text[512] = {};
    const ssize_t n = pread(fd, text, sizeof text - 1, 0);
    return n > 0 ? std::string(text, size_t(n)) : std::string("another station");
}

} // namespace

TStationClaim::TStationClaim(TStationClaim&& other) noexcept
    : Fd(other.Fd) {
    other.Fd = -1;
}

TStationClaim& TStationClaim::operator=(TStationClaim&& other) noexcept {
    if (this != &other) {
        if (Fd >= 0)
            close(Fd);
        Fd = other.Fd;
        other.Fd = -1;
    }
    return *this;
}

TStationClaim::~TStationClaim() {
    if (Fd >= 0)
        close(Fd);
}

std::optional<TStationClaim> TStationClaim::Take(const std::string& device, const std::string& what,
                                                 std::string& holder) {
    const std::string path = ClaimFile(device);
    // Another user's station may have made the file: a lock needs no more than reading it.
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0)
        fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    // No lock folder to be had: the port's own lock still keeps two programs off one line.
    if (fd < 0)
        return TStationClaim(-1);
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        holder = errno == EWOULDBLOCK ? ReadHolder(fd) : std::string("another station");
        close(fd);
        return std::nullopt;
    }
    const passwd* user = getpwuid(getuid());
    const std::string text = what + ", process " + std::to_string(getpid()) +
                             (user ? std::string(" of ") + user->pw_name : std::string());
    if (ftruncate(fd, 0) == 0 && pwrite(fd, text.data(), text.size(), 0) < 0) {
        // The name of the holder is for the person's information only.
    }
    return TStationClaim(fd);
}

void EndWithStation(QProcess& process, bool ownGroup) {
    const pid_t station = getpid();
    process.setChildProcessModifier([station, ownGroup] {
        if (ownGroup)
            setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        // The station ended before the line above: nobody would send the signal.
        if (getppid() != station)
            raise(SIGTERM);
    });
}
