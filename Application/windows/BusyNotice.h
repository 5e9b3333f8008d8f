#pragma once

#include <QObject>

#include <functional>

class QWidget;

// While an operation runs, the window's tabs, menus and buttons are greyed, and a click on one of them
// would do nothing without a word: the notice tells the person (through tell) why, each time.
class TBusyNotice : public QObject {
public:
    TBusyNotice(QWidget& window, std::function<void()> tell);

    // Watches the clicks while busy, and none otherwise.
    void SetBusy(bool busy);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget& Window;
    std::function<void()> Tell;
    bool Watching = false;
};
