#include "windows/KillTimer.h"

#include <sys/time.h>

void TKillTimer::Enable(int ms) {
    // A signal timer rather than an event-loop timer: it has to fire when the event loop no longer runs.
    itimerval timer{};
    timer.it_value.tv_sec = ms / 1000;
    timer.it_value.tv_usec = (ms % 1000) * 1000;
    setitimer(ITIMER_REAL, &timer, nullptr);
    Armed = true;
}

void TKillTimer::Disable() {
    itimerval off{};
    setitimer(ITIMER_REAL, &off, nullptr);
    Armed = false;
}
