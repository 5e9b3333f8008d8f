#include "AtomicFile.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

bool WriteAll(int fd, const std::string& content) {
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

bool ReplaceFileContent(const std::string& path, const std::string& content) {
    const std::string temp = path + ".tmp." + std::to_string(getpid());
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    bool ok = WriteAll(fd, content) && fsync(fd) == 0;
    int error = errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        unlink(temp.c_str());
        errno = error;
        return false;
    }
    if (rename(temp.c_str(), path.c_str()) != 0) {
        const int renameErrno = errno;
        unlink(temp.c_str());
        errno = renameErrno;
        return false;
    }
    return true;
}
