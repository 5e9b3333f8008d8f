#pragma once

#include <QLabel>

// A status bar panel that never widens the window: a text longer than the panel is drawn ending in "…".
// SetFullText gives it a text whose whole shows as the tool tip while it is cut short; a panel with a
// tool tip of its own sets the text and the tip itself.
class TElidedLabel : public QLabel {
public:
    TElidedLabel(int leastWidth, QWidget* parent);

    void SetFullText(const QString& text);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

    const int LeastWidth;

private:
    QString Shown(int width) const;
    void UpdateToolTip();

    // The tool tip follows the text (SetFullText), rather than being the panel's own.
    bool TipIsText = false;
};
