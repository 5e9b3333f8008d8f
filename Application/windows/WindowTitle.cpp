#include "windows/WindowTitle.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QWidget>

namespace {

// The frame's icon on the left and its minimize, maximize and close buttons on the right, with the
// margins around the title, as the common window managers draw them.
constexpr int FrameButtonsRoom = 120;
// What the window system puts between a window's title and the program's name.
constexpr const char* NameSeparator = " \u2014 ";

} // namespace

int TitleWidth(const QWidget& window) {
    QString shown = window.windowTitle();
    const QString program = QGuiApplication::applicationDisplayName();
    if (!program.isEmpty() && !shown.endsWith(program))
        shown += QString::fromUtf8(NameSeparator) + program;
    // The window system's title font, which most frames draw in bold.
    QFont bold = QFontDatabase::systemFont(QFontDatabase::TitleFont);
    bold.setBold(true);
    return QFontMetrics(bold).horizontalAdvance(shown) + FrameButtonsRoom;
}
