#include "windows/BusyNotice.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

#include <utility>

TBusyNotice::TBusyNotice(QWidget& window, std::function<void()> tell)
    : QObject(&window)
    , Window(window)
    , Tell(std::move(tell)) {}

void TBusyNotice::SetBusy(bool busy) {
    if (busy == Watching)
        return;
    Watching = busy;
    if (busy)
        qApp->installEventFilter(this);
    else
        qApp->removeEventFilter(this);
}

// The press reaches the greyed control itself, or the first enabled one above it as it travels up: the
// control under the pointer is what was clicked.
bool TBusyNotice::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::MouseButtonPress || !watched->isWidgetType())
        return false;
    auto* widget = static_cast<QWidget*>(watched);
    if (widget->window() != &Window)
        return false;
    const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
    const QWidget* clicked = widget->childAt(at);
    if (!clicked)
        clicked = widget;
    if (!clicked->isEnabled())
        Tell();
    return false;
}
