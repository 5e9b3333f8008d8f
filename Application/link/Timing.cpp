#include "link/Timing.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cassert>
#include <chrono>
#include <cstdio>
#include <utility>

namespace {

// The waits skipped by the test clock, in counter units; null while the real clock runs.
int64_t* SkippedTicks = nullptr;

} // namespace

int64_t GetTick() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
               .count() +
           (SkippedTicks ? *SkippedTicks : 0);
}

TTestClock::TTestClock() {
    assert(!SkippedTicks && "one test clock at a time");
    SkippedTicks = new int64_t(0);
}

TTestClock::~TTestClock() {
    delete std::exchange(SkippedTicks, nullptr);
}

int64_t TTestClock::Skipped() const {
    return *SkippedTicks / (TickFrequency / 1000);
}

bool SkipWait(int ms) {
    if (!SkippedTicks)
        return false;
    QCoreApplication::processEvents();
    *SkippedTicks += int64_t(std::max(ms, 0)) * (TickFrequency / 1000);
    return true;
}

int64_t TicksToMs(int64_t later, int64_t earlier) {
    // Whole seconds first: the difference times 1000 would overflow after about 107 days.
    const int64_t ticks = later - earlier;
    return ticks / TickFrequency * 1000 + ticks % TickFrequency * 1000 / TickFrequency;
}

namespace {

// Runs the event loop until ms have passed on a precise timer.
void WaitInEventLoop(int ms) {
    if (SkipWait(ms))
        return;
    if (ms <= 0) {
        QCoreApplication::processEvents();
        return;
    }
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    deadline.start(ms);
    loop.exec();
}

// Fixed at start-up: the counter value of midnight on day 0 of this month, so that a counter reading
// turns into a time of day without asking the wall clock again.
int64_t TimeOfDayOffset() {
    static const int64_t offset = [] {
        const QDateTime now = QDateTime::currentDateTime();
        const QDate date = now.date();
        const QTime time = now.time();
        const int64_t seconds =
            int64_t(date.day()) * 86400 + time.hour() * 3600 + time.minute() * 60 + time.second();
        return seconds * TickFrequency + int64_t(time.msec()) * TickFrequency / 1000 - GetTick();
    }();
    return offset;
}

} // namespace

void Delay(int ms) {
    WaitInEventLoop(ms);
}

void PreciseDelay(int ms) {
    WaitInEventLoop(ms);
}

void MsgDelay(int ms) {
    WaitInEventLoop(ms);
}

std::string TimeStamp() {
    const int64_t counts = GetTick() + TimeOfDayOffset();
    const int64_t totalSeconds = counts / TickFrequency;
    const int64_t rest = counts % TickFrequency;
    const int hours = int((totalSeconds / 3600) % 24);
    const int minutes = int((totalSeconds / 60) % 60);
    const int seconds = int(totalSeconds % 60);
    const int micros = int((rest * 1000000 / TickFrequency) % 1000000);
    char text[32];
    std::snprintf(text, sizeof text, "%.2d:%.2d:%.2d:%.6d", hours, minutes, seconds, micros);
    return text;
}
