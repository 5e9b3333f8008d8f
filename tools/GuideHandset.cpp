#include "GuideHandset.h"

#include "GuideFailure.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QRegularExpression>

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

constexpr int StartTimeoutMs = 5000;
// Inherited file descriptors below this are closed in the virtual handset.
constexpr int FileDescriptorsClosed = 1024;

} // namespace

THandset::THandset(const QString& programs) {
    Process.setProgram(programs + "/quorvel-handset");
    Process.setArguments({"--pcs", "06Q", "--phonebook-entries", "8", "--groups", "3,7,12,40"});
    // The handset ends with the guide maker, even one that is killed, and keeps none of the files the
    // maker inherited: a build lock held by whoever runs the build would otherwise stay held by an
    // orphaned handset and stop every later build.
    Process.setChildProcessModifier([] {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        for (int fd = 3; fd < FileDescriptorsClosed; ++fd)
            if (const int flags = fcntl(fd, F_GETFD); flags >= 0 && !(flags & FD_CLOEXEC))
                close(fd);
    });
    Process.start();
    QByteArray seen;
    const QDeadlineTimer deadline(StartTimeoutMs);
    while (!seen.contains('\n') && Process.waitForReadyRead(int(deadline.remainingTime())))
        seen += Process.readAllStandardOutput();
    const auto match = QRegularExpression(R"(\(COM(\d+)\))").match(QString::fromLocal8Bit(seen));
    if (!match.hasMatch())
        Fail("the virtual handset did not start: " + QString::fromLocal8Bit(seen));
    Com = match.captured(1).toInt();
}

THandset::~THandset() {
    Process.terminate();
    if (!Process.waitForFinished(StartTimeoutMs))
        Process.kill();
    Process.waitForFinished(StartTimeoutMs);
}
