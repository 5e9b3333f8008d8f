#pragma once

#include <cstdint>
#include <string>

// The high-resolution counter (steady clock, nanoseconds) and waits that keep the program responsive.
// Every wait runs the Qt event loop until its deadline: it blocks instead of spinning, and delivers
// serial port notifications, timers and user input meanwhile. A QCoreApplication must exist.

constexpr int64_t TickFrequency = 1'000'000'000;

int64_t GetTick();

// Milliseconds between two counter values.
int64_t TicksToMs(int64_t later, int64_t earlier);

void Delay(int ms);
void PreciseDelay(int ms);
void MsgDelay(int ms);

// A clock that the tests control, for a handset staged in the same process, which needs no time to
// store or answer. While one lives, a wait (Delay, PreciseDelay, MsgDelay, the engine's pauses) hands
// what is due now to its receivers and returns at once, and the clock moves on by the wait: GetTick
// counts the time skipped, so that what measures elapsed time reads it as waited. One at a time.
class TTestClock {
public:
    TTestClock();
    ~TTestClock();
    TTestClock(const TTestClock&) = delete;
    TTestClock& operator=(const TTestClock&) = delete;

    // Milliseconds of waits skipped so far.
    int64_t Skipped() const;
};

// For a wait of ms of one's own: true when a test clock runs and the wait was skipped as above.
bool SkipWait(int ms);

// "hh:mm:ss:uuuuuu" of the time of day, with the counter's resolution.
std::string TimeStamp();
