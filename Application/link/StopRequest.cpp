#include "link/StopRequest.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>

#include <atomic>
#include <fcntl.h>
#include <unistd.h>

namespace {

std::atomic<bool> Requested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

// A pipe that a request writes a byte into: the event loop polls its read end, so a signal that arrives
// while the loop sleeps wakes it (a signal alone does not: the loop's poll is begun again after it).
std::atomic<int> WakeWriteEnd{-1};
int WakeReadEnd = -1;
QPointer<QSocketNotifier> Watch;

void Drain() {
    char bytes[64];
    while (read(WakeReadEnd, bytes, sizeof bytes) > 0) {
    }
}

} // namespace

void RequestStop() {
    Requested.store(true);
    if (const int end = WakeWriteEnd.load(); end >= 0) {
        const char byte = 1;
        // A full pipe already wakes the loop; nothing else can go wrong here that a handler could mend.
        [[maybe_unused]] const ssize_t written = write(end, &byte, 1);
    }
}

bool StopRequested() {
    return Requested.load();
}

void ClearStopRequest() {
    Requested.store(false);
    if (WakeReadEnd >= 0)
        Drain();
}

void WakeOnStopRequest() {
    if (Watch || !QCoreApplication::instance())
        return;
    if (WakeReadEnd < 0) {
        int ends[2];
        if (pipe2(ends, O_NONBLOCK | O_CLOEXEC) != 0)
            return;
        WakeReadEnd = ends[0];
        WakeWriteEnd.store(ends[1]);
    }
    // The application owns it, so that it goes before the event dispatcher it is registered with.
    Watch = new QSocketNotifier(WakeReadEnd, QSocketNotifier::Read, QCoreApplication::instance());
    // Taking the bytes out is all: that the loop woke is what a wait needs.
    QObject::connect(Watch.data(), &QSocketNotifier::activated, Watch.data(), [] { Drain(); });
}
