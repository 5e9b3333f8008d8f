#pragma once

#include <QObject>
#include <QString>

#include <chrono>
#include <memory>

class TDesktopNotifier;

// Tells the desktop when a long job ends while the person is elsewhere. A job (an operation in the busy
// state, a station run) that took at least LongAfter and ends while its window is not watched gives one
// notification with its outcome in the window's own words: the message that says how it ended, or
// without one the status line. Nothing for a short job or a watched window.
class TJobEndNotice : public QObject {
public:
    static constexpr std::chrono::milliseconds DefaultLongAfter{5000};

    TJobEndNotice(std::shared_ptr<TDesktopNotifier> notifier, QObject* parent);

    void SetNotifier(std::shared_ptr<TDesktopNotifier> notifier, std::chrono::milliseconds longAfter);

    void Begin();
    // A message that says how the job went is about to be shown, while the job runs or as it ends (an
    // error raised by the job is shown just after its busy state). watched: the person has the window.
    void OutcomeShown(const QString& text, bool watched);
    // The job has ended with the status line saying status. Told once control is back in the event loop,
    // unless a message told the outcome first.
    void End(const QString& status, bool watched);

private:
    bool Long() const;
    void Tell(const QString& text, bool watched);

    std::shared_ptr<TDesktopNotifier> Notifier;
    std::chrono::milliseconds LongAfter = DefaultLongAfter;
    std::chrono::steady_clock::time_point Started;
    std::chrono::steady_clock::time_point Ended;
    bool Running = false;
    // Ended, and the status line is told unless a message comes first.
    bool Waiting = false;
    QString Status;
    bool StatusWatched = false;
};
