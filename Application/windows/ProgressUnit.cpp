#include "windows/ProgressUnit.h"

#include "platform/PhoneBookResourceStrings.h"

#include <QCoreApplication>
#include <QHideEvent>
#include <QKeyEvent>
#include <QProgressBar>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>

using namespace std::chrono_literals;

namespace {

constexpr auto AnimationInterval = 50ms;
constexpr int AnimationStride = 4;
constexpr int BarWidth = 300;

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

    // The two bars take turns in the same place.
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(ProgressBar);
    layout->addWidget(dpbProgress);
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
}

void TProgressForm::StepIt() {
    ProgressBar->setValue(
        std::clamp(ProgressBar->value() + Step, ProgressBar->minimum(), ProgressBar->maximum()));
}

void TProgressForm::StartAnimation() {
    ProgressBar->hide();
    dpbProgress->show();
    timerAnimation->start();
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
    QDialog::setVisible(visible);
    if (visible)
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

// The window has no close button; Escape must not hide it from under a running operation either.
void TProgressForm::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape)
        event->ignore();
    else
        QDialog::keyPressEvent(event);
}

void TProgressForm::hideEvent(QHideEvent* event) {
    if (!event->spontaneous())
        StopAnimation();
    QDialog::hideEvent(event);
}
