#include "windows/ElidedLabel.h"

#include <QPainter>
#include <QStyle>

TElidedLabel::TElidedLabel(int leastWidth, QWidget* parent)
    : QLabel(parent)
    , LeastWidth(leastWidth) {
    setMinimumWidth(leastWidth);
}

void TElidedLabel::SetFullText(const QString& text) {
    TipIsText = true;
    setText(text);
    UpdateToolTip();
}

QSize TElidedLabel::sizeHint() const {
    return {LeastWidth, QLabel::sizeHint().height()};
}

QSize TElidedLabel::minimumSizeHint() const {
    return {LeastWidth, QLabel::minimumSizeHint().height()};
}

void TElidedLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    UpdateToolTip();
}

void TElidedLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect room = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    style()->drawItemText(&painter, room, int(alignment()), palette(), isEnabled(), Shown(room.width()),
                          foregroundRole());
}

QString TElidedLabel::Shown(int width) const {
    return fontMetrics().elidedText(text(), Qt::ElideRight, width);
}

void TElidedLabel::UpdateToolTip() {
    if (!TipIsText)
        return;
    const int width = contentsRect().width() - 2 * margin();
    setToolTip(Shown(width) == text() ? QString() : text());
}
