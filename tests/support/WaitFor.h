#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>

// Waits until condition holds or the deadline has passed, and says whether it held. Meanwhile Qt's events
// are processed (timers, received bytes, queued calls, objects deleted later), so the code under test goes
// on while the test waits. The deadline is generous on purpose: a slow build (sanitizers, a busy machine)
// only takes longer, and a test that passes waits no longer than its condition needs. Something that must
// not happen within a span is checked with that span as the deadline: EXPECT_FALSE(WaitFor(..., 150ms)).
// Tests wait through this instead of sleeping for a fixed time, which is too short on a slow build and
// too long on a fast one.
inline bool WaitFor(const std::function<bool()>& condition,
                    std::chrono::milliseconds deadline = std::chrono::seconds(10)) {
    constexpr std::chrono::milliseconds Step(5);
    const QDeadlineTimer until(deadline, Qt::PreciseTimer);
    for (;;) {
        if (QCoreApplication::instance()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        if (condition())
            return true;
        if (until.hasExpired())
            return false;
        const auto pause =
            std::min(Step, std::chrono::ceil<std::chrono::milliseconds>(until.remainingTimeAsDuration()));
        if (QCoreApplication::instance()) {
            QEventLoop loop;
            QTimer::singleShot(pause, &loop, &QEventLoop::quit);
            loop.exec();
        } else {
            std::this_thread::sleep_for(pause);
        }
    }
}
