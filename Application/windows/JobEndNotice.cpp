#include "windows/JobEndNotice.h"

#include "platform/Texts.h"
#include "windows/DesktopNotifier.h"

#include <QTimer>

#include <utility>

TJobEndNotice::TJobEndNotice(std::shared_ptr<TDesktopNotifier> notifier, QObject* parent)
    : QObject(parent)
    , Notifier(std::move(notifier)) {}

void TJobEndNotice::SetNotifier(std::shared_ptr<TDesktopNotifier> notifier,
                                std::chrono::milliseconds longAfter) {
    Notifier = std::move(notifier);
    LongAfter = longAfter;
}

void TJobEndNotice::Begin() {
    Started = std::chrono::steady_clock::now();
    Running = true;
    Waiting = false;
}

bool TJobEndNotice::Long() const {
    return (Running ? std::chrono::steady_clock::now() : Ended) - Started >= LongAfter;
}

void TJobEndNotice::OutcomeShown(const QString& text, bool watched) {
    if (!Running && !Waiting)
        return;
    Tell(text, watched);
}

void TJobEndNotice::End(const QString& status, bool watched) {
    if (!Running)
        return;
    Ended = std::chrono::steady_clock::now();
    Running = false;
    Waiting = true;
    Status = status;
    StatusWatched = watched;
    QTimer::singleShot(0, this, [this] {
        if (Waiting)
            Tell(Status, StatusWatched);
    });
}

// Once for each job, and only for a long one.
void TJobEndNotice::Tell(const QString& text, bool watched) {
    const bool tell = Long() && !watched && Notifier && !text.isEmpty();
    Running = false;
    Waiting = false;
    if (tell)
        Notifier->Notify(QString::fromUtf8(Texts::ProgramTitle), text);
}
