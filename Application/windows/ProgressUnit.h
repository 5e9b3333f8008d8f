#pragma once

#include <QDialog>
#include <QTimer>

class QProgressBar;

// The progress window: a counted bar for work with a known number of steps, and a bar that moves on
// its own for work that cannot be counted. Not modal; it stays on top while the work goes on.
class TProgressForm : public QDialog {
    Q_OBJECT
public:
    static constexpr int AnimationMax = 100;

    explicit TProgressForm(QWidget* parent = nullptr);
    ~TProgressForm() override;

    void SetRange(int min, int max, int step);
    void StepIt();

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

    int Step = 1;
    int AnimationDirection = 1;
    QProgressBar* ProgressBar;
    QProgressBar* dpbProgress;
    QTimer* timerAnimation;
};
