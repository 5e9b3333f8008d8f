#include "windows/WindowPlacement.h"

#include "platform/IniFile.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <exception>

namespace {

constexpr int FallbackTop = 10;
constexpr int FallbackLeft = 10;

std::string SectionOf(const QWidget& form) {
    return form.objectName().toStdString();
}

bool HasFixedSize(const QWidget& form) {
    return form.minimumSize() == form.maximumSize();
}

QRect DesktopRect() {
    QRect desktop;
    for (const QScreen* screen : QGuiApplication::screens())
        desktop = desktop.united(screen->geometry());
    return desktop;
}

} // namespace

// The frame is known only once a window is shown, and the placement is restored before that. So the size
// kept is the window's own (restoring an outer size would grow the window by its frame at every start),
// while the position is the frame's, which is what move() and pos() use.
void LoadWindowPlacement(const std::string& iniPath, QWidget& form, bool positionOnly) {
    try {
        const TIniFile ini(iniPath);
        const std::string section = SectionOf(form);
        if (!ini.SectionExists(section)) {
            CenterOnScreen(form);
            return;
        }
        if (ini.ReadBool(section, "Maximized", false)) {
            form.setWindowState(form.windowState() | Qt::WindowMaximized);
            return;
        }
        if (!positionOnly && !HasFixedSize(form)) {
            const int height = ini.ReadInteger(section, "Height", form.height());
            const int width = ini.ReadInteger(section, "Width", form.width());
            form.resize(width, height);
        }
        form.move(ini.ReadInteger(section, "Left", FallbackLeft),
                  ini.ReadInteger(section, "Top", FallbackTop));
        if (IsOffScreen(form))
            CenterOnScreen(form);
    } catch (const std::exception&) {
        // Dropped: an ini that cannot be read leaves the window at its first place.
        form.move(FallbackLeft, FallbackTop);
    }
}

bool SaveWindowPlacement(const std::string& iniPath, QWidget& form) {
    try {
        TIniFile ini(iniPath);
        const std::string section = SectionOf(form);
        // A maximized window keeps the normal size stored at an earlier close.
        if (form.isMaximized())
            return ini.WriteBool(section, "Maximized", true);
        return ini.WriteInteger(section, "Height", form.height()) &&
               ini.WriteInteger(section, "Width", form.width()) &&
               ini.WriteInteger(section, "Top", form.pos().y()) &&
               ini.WriteInteger(section, "Left", form.pos().x()) &&
               ini.WriteBool(section, "Maximized", false);
    } catch (const std::exception&) {
        // An ini that cannot be written: the caller is told by false; the place is not kept.
        return false;
    }
}

bool IsOffScreen(const QWidget& form) {
    const QRect desktop = DesktopRect();
    if (desktop.isNull())
        return false;
    const QRect frame = form.frameGeometry();
    // Right and bottom edges one past the last pixel, unlike QRect::right() and bottom().
    const int desktopRight = desktop.x() + desktop.width();
    const int desktopBottom = desktop.y() + desktop.height();
    return frame.x() + frame.width() < desktop.x() || frame.x() > desktopRight || frame.y() < desktop.y() ||
           frame.y() + frame.height() > desktopBottom;
}

void CenterOnScreen(QWidget& form) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    // The full screen's size with the work area's origin; integer division rounds toward zero.
    const QRect full = screen->geometry();
    const QRect work = screen->availableGeometry();
    const QSize outer = form.frameGeometry().size();
    form.move(work.x() + (full.width() - outer.width()) / 2, work.y() + (full.height() - outer.height()) / 2);
}
