#include "windows/ProgressUnit.h"

#include "link/StopRequest.h"
#include "platform/AnsiText.h"
#include "platform/Texts.h"
#include "windows/WindowTitle.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QSpacerItem>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <chrono>

using namespace std::chrono_literals;

namespace {

constexpr auto AnimationInterval = 50ms;
constexpr int AnimationStride = 4;
constexpr int BarWidth = 300;
constexpr const char* CancelCaption = "Cancel";
constexpr const char* StoppingText = "Stopping\u2026";

} // namespace

TProgressForm::TProgressForm(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setWindowTitle(Texts::ProgressCaption);
    setModal(false);

    ProgressBar = new QProgressBar(this);
    ProgressBar->setObjectName("ProgressBar");
    ProgressBar->setTextVisible(false);
    ProgressBar->setMinimumWidth(BarWidth);

    dpbProgress = new QProgressBar(this);
    dpbProgress->setObjectName("dpbProgress");
    dpbProgress->setRange(0, AnimationMax);
    dpbProgress->setValue(0);
    dpbProgress->setTextVisible(false);
    dpbProgress->setMinimumWidth(BarWidth);
    dpbProgress->hide();

    lblProgressText = new QLabel(this);
    lblProgressText->setObjectName("lblProgressText");

    btnCancelProgress = new QPushButton(QString::fromUtf8(CancelCaption), this);
    btnCancelProgress->setObjectName("btnCancelProgress");
    // Enter must not stop an operation by accident.
    btnCancelProgress->setAutoDefault(false);
    connect(btnCancelProgress, &QPushButton::clicked, this, &TProgressForm::Cancel);
    // Escape stops the operation from whichever of the program's windows has the keyboard, as long as no
    // box waits for an answer.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::ApplicationShortcut);
    connect(escape, &QShortcut::activated, this, [this] {
        if (btnCancelProgress->isEnabled())
            Cancel();
    });
    // The keyboard stays with the window while it is up: a click on the greyed main window, or a box
    // that closed, does not take it to the main window. The program's other windows (the mail monitor,
    // the station) keep it when the person goes to them. Looked at once the activation is through: the
    // greyed main window has no control that would take the focus and say so.
    connect(qApp, &QGuiApplication::focusWindowChanged, this, [this] {
        QTimer::singleShot(0, this, [this] {
            if (isVisible() && qobject_cast<QMainWindow*>(QApplication::activeWindow()) &&
                !QApplication::activeModalWidget())
                TakeKeyboard();
        });
    });

    // The two bars take turns in the same place.
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(ProgressBar);
    layout->addWidget(dpbProgress);
    auto* row = new QHBoxLayout;
    row->addWidget(lblProgressText, 1);
    row->addWidget(btnCancelProgress);
    layout->addLayout(row);
    // Wide enough for the frame to show the whole title.
    layout->addItem(new QSpacerItem(TitleWidth(*this), 0, QSizePolicy::Fixed, QSizePolicy::Fixed));
    layout->setSizeConstraint(QLayout::SetFixedSize);

    timerAnimation = new QTimer(this);
    timerAnimation->setObjectName("timerAnimation");
    timerAnimation->setInterval(AnimationInterval);
    connect(timerAnimation, &QTimer::timeout, this, &TProgressForm::timerAnimationTimer);
}

TProgressForm::~TProgressForm() = default;

void TProgressForm::SetRange(int min, int max, int step) {
    Step = step;
    ProgressBar->setRange(min, max);
    ProgressBar->setValue(ProgressBar->minimum());
    Count.Start(min, max);
    ShowStopState();
}

void TProgressForm::StepIt() {
    ProgressBar->setValue(
        std::clamp(ProgressBar->value() + Step, ProgressBar->minimum(), ProgressBar->maximum()));
    Count.Step();
    ShowStopState();
}

void TProgressForm::SetWords(const char* doing, const char* noun) {
    Count.Counting(doing, noun);
    ShowStopState();
}

void TProgressForm::MarkRow(int row) {
    Count.Mark(row);
    ShowStopState();
}

QString TProgressForm::CountText() const {
    return lblProgressText->text();
}

void TProgressForm::StartAnimation() {
    ProgressBar->hide();
    dpbProgress->show();
    timerAnimation->start();
    Count.Start(0, 0);
    ShowStopState();
}

// The operation looks at the request between two mails, where stopping leaves the handset in a state it
// can find out and report; the request stays until the next operation begins (the main window clears it).
void TProgressForm::Cancel() {
    RequestStop();
    ShowStopState();
}

void TProgressForm::ShowStopState() {
    const bool stopping = StopRequested();
    btnCancelProgress->setEnabled(!stopping);
    lblProgressText->setText(stopping ? QString::fromUtf8(StoppingText) : FromAnsi(Count.Text()));
}

void TProgressForm::StopAnimation() {
    timerAnimation->stop();
    dpbProgress->hide();
    ProgressBar->show();
}

// Sweeps from end to end and back.
void TProgressForm::timerAnimationTimer() {
    int value = dpbProgress->value() + AnimationDirection * AnimationStride;
    if (value >= AnimationMax || value <= 0) {
        value = std::clamp(value, 0, AnimationMax);
        AnimationDirection = -AnimationDirection;
    }
    dpbProgress->setValue(value);
}

void TProgressForm::setVisible(bool visible) {
    // A stop of the operation before is not this one's.
    if (visible)
        ShowStopState();
    QDialog::setVisible(visible);
    if (visible) {
        TakeKeyboard();
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
}

void TProgressForm::TakeKeyboard() {
    if (QWidget* active = QApplication::activeWindow(); active && active != this)
        KeyboardBefore = active;
    activateWindow();
    btnCancelProgress->setFocus(Qt::ActiveWindowFocusReason);
}

// The window has no close button; Escape must not hide it from under a running operation either: it
// asks the operation to stop, as Cancel does.
void TProgressForm::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        if (btnCancelProgress->isEnabled())
            Cancel();
        event->accept();
    } else {
        QDialog::keyPressEvent(event);
    }
}

void TProgressForm::hideEvent(QHideEvent* event) {
    if (!event->spontaneous()) {
        StopAnimation();
        // The keyboard goes back to the window that had it, unless this one is shown again at once (the
        // connection step's progress, then the operation's).
        if (KeyboardBefore)
            QTimer::singleShot(0, KeyboardBefore.data(),
                               [before = KeyboardBefore, self = QPointer<TProgressForm>(this)] {
                                   if (before && before->isVisible() && !(self && self->isVisible()))
                                       before->activateWindow();
                               });
    }
    QDialog::hideEvent(event);
}
