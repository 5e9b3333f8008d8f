#include "link/MailRecorder.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Whether the file at path may be replaced: it does not exist, is empty, or begins with a record.
bool MayReplace(const std::string& path, std::string& why) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return true;
    struct stat info {};
    std::string first;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        char block[4096];
        while (first.size() <= MaxMailRecordLine && first.find('\n') == std::string::npos) {
            const ssize_t n = read(fd, block, sizeof block);
            if (n <= 0)
                break;
            first.append(block, static_cast<std::size_t>(n));
        }
    }
    close(fd);
    if (!S_ISREG(info.st_mode))
        return true; // a device or a pipe; opening it for writing tells
    if (first.empty())
        return true;
    try {
        ParseMailRecordLine(std::string_view(first).substr(0, first.find('\n')));
        return true;
    } catch (const EMailRecordError& e) {
        why = e.what();
        return false;
    }
}

} // namespace

TMailRecorder::TMailRecorder(const std::string& path)
    : FilePath(path) {
    if (path.empty())
        throw ERecordingError("cannot record: no file name given");
    std::string why;
    if (!MayReplace(path, why))
        throw ERecordingError("cannot record to " + path + ": it holds something other than a recording (" +
                              why + "), and is left as it is");
    Fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
    if (Fd < 0)
        throw ERecordingError("cannot record to " + path + ": " + std::strerror(errno));
}

TMailRecorder::~TMailRecorder() {
    if (Fd >= 0)
        close(Fd);
}

void TMailRecorder::MailRecorded(const TMailRecord& record) {
    if (Fd < 0)
        return;
    const std::string line = MailRecordLine(record) + "\n";
    std::size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = write(Fd, line.data() + done, line.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        Failed =
            "the recording " + FilePath + " stopped: " + (n < 0 ? std::strerror(errno) : "nothing written");
        close(Fd);
        Fd = -1;
        if (OnFailure)
            OnFailure(Failed);
        return;
    }
}
