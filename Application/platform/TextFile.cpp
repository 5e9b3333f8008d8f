#include "platform/TextFile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string SystemReason(int error) {
    return std::strerror(error);
}

bool WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A name beside path that no other writer of this or another process uses at the same time.
std::string TemporaryName(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    return path + ".new-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
}

// Every write, the close and the rename are checked: a full disk or a size limit that cuts the bytes
// short leaves the old file as it was (Qt's QSaveFile was seen to commit a file cut at such a limit).
void WriteReplacing(const std::string& path, const std::string& bytes, bool durable) {
    struct stat old {};
    const bool hadFile = stat(path.c_str(), &old) == 0;
    std::string temp;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temp = TemporaryName(path);
        fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        throw EFileError("Cannot create file \"" + temp + "\". " + SystemReason(errno));
    bool ok = (!hadFile || fchmod(fd, old.st_mode & 07777) == 0) && WriteAll(fd, bytes) &&
              (!durable || fsync(fd) == 0);
    int error = errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && rename(temp.c_str(), path.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        unlink(temp.c_str());
        throw EFileError("Cannot write file \"" + path + "\". " + SystemReason(error));
    }
    if (!durable)
        return;
    // The rename itself is on the disk only once the folder is.
    const std::string folder = FolderOf(path);
    const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        throw EFileError("Cannot flush folder \"" + folder + "\". " + SystemReason(errno));
    const bool synced = fsync(dir) == 0;
    error = errno;
    close(dir);
    if (!synced)
        throw EFileError("Cannot flush folder \"" + folder + "\". " + SystemReason(error));
}

} // namespace

std::string ReadFileBytes(const std::string& path, size_t limit) {
    // The path's own bytes (a folder name need not be UTF-8), and without waiting: a FIFO would block
    // the open until a writer came, and a device or a FIFO has no end to read to.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        throw EFileError("Cannot open file \"" + path + "\". " + SystemReason(errno));
    struct Closer {
        int fd;
        ~Closer() { close(fd); }
    } closer{fd};
    struct stat info {};
    if (fstat(fd, &info) != 0)
        throw EFileError("Cannot read file \"" + path + "\". " + SystemReason(errno));
    if (!S_ISREG(info.st_mode))
        throw EFileError("Cannot read file \"" + path + "\". It is not a regular file" +
                         (S_ISDIR(info.st_mode) ? " but a folder." : " (a device, a pipe or a socket)."));
    const std::string tooLarge =
        "Cannot read file \"" + path + "\". It is larger than " + std::to_string(limit) + " bytes.";
    if (uint64_t(info.st_size) > limit)
        throw EFileError(tooLarge);
    // A file that grows while it is read is read to the limit and one byte beyond, never further.
    std::string bytes(size_t(info.st_size) + 1 > limit + 1 ? limit + 1 : size_t(info.st_size) + 1, '\0');
    size_t done = 0;
    for (;;) {
        if (done == bytes.size()) {
            if (done > limit)
                throw EFileError(tooLarge);
            bytes.resize(std::min(limit + 1, done * 2 + 1));
        }
        const ssize_t n = read(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw EFileError("Cannot read file \"" + path + "\". " + SystemReason(errno));
        if (n == 0)
            break;
        done += size_t(n);
    }
    if (done > limit)
        throw EFileError(tooLarge);
    bytes.resize(done);
    return bytes;
}

void WriteFileAtomically(const std::string& path, const std::string& bytes) {
    WriteReplacing(path, bytes, false);
}

void WriteFileDurably(const std::string& path, const std::string& bytes) {
    WriteReplacing(path, bytes, true);
}
