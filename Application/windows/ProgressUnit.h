#pragma once

#include "platform/UserInteraction.h"

#include <QDialog>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <utility>

class QLabel;
class QProgressBar;
class QPushButton;

// The progress window: a counted bar for work with a known number of steps, said in words ("Writing
// entry 42 of 200"), and a bar that moves on its own for work that cannot be counted. Not modal; it stays
// on top while the work goes on. Cancel (or Escape) asks the operation to stop at its next safe point, as
// Ctrl-C does on the command line; the operation then says itself what the handset holds.
class TProgressForm : public QDialog {
    Q_OBJECT
public:
    static constexpr int AnimationMax = 100;

    explicit TProgressForm(QWidget* parent = nullptr);
    ~TProgressForm() override;

    void SetRange(int min, int max, int step);
    void StepIt();
    // The operation marked a row of the table: a write is at it (TProgressCount).
    void MarkRow(int row);
    // What the steps go through, in words (TUserInteraction::ProgressWords).
    void SetWords(const char* doing, const char* noun);
    // Which rows hold an entry, for a write to count entries instead of rows.
    void SetRowHoldsEntry(std::function<bool(int row)> holds) { Count.RowHoldsEntry = std::move(holds); }
    // What the window says under the bar.
    QString CountText() const;

    // Asks the running operation to stop; the window says so until the operation ends it.
    void Cancel();

    void StartAnimation();
    void StopAnimation();
    bool Animating() const { return timerAnimation->isActive(); }

    // Paints at once: the caller keeps the thread busy after showing the window.
    void setVisible(bool visible) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void timerAnimationTimer();
    // Shows whether a stop has been asked for: the count and an enabled Cancel, or "Stopping…".
    void ShowStopState();
    // Makes the window the one the keys go to, with the focus on Cancel.
    void TakeKeyboard();

    int Step = 1;
    int AnimationDirection = 1;
    QProgressBar* ProgressBar;
    QProgressBar* dpbProgress;
    QLabel* lblProgressText;
    QPushButton* btnCancelProgress;
    TProgressCount Count;
    // The window that had the keyboard before this one took it.
    QPointer<QWidget> KeyboardBefore;
    QTimer* timerAnimation;
};
