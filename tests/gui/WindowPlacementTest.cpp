// The main window's size and place in the window ini, offscreen.
#include "windows/WindowPlacement.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"

#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

struct WindowPlacement : testing::Test {
    WindowPlacement() {
        qputenv("QUORVEL_CONFIG_DIR", config.path().toLocal8Bit());
        form.setObjectName("MainForm");
        form.resize(300, 200);
        form.move(50, 60);
    }

    std::string Ini(const char* text) {
        const std::string path = WindowIniPath();
        QFile file(QString::fromStdString(path));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
        return path;
    }

    static QPoint Centre(QSize size) {
        const QScreen* screen = QGuiApplication::primaryScreen();
        const QRect full = screen->geometry(), work = screen->availableGeometry();
        return {work.x() + (full.width() - size.width()) / 2, work.y() + (full.height() - size.height()) / 2};
    }

    QTemporaryDir config;
    QWidget form;
};

TEST_F(WindowPlacement, MissingSectionCentresTheWindow) {
    LoadWindowPlacement(Ini("[OtherForm]\r\nTop=20\r\nLeft=20\r\n"), form, false);
    EXPECT_EQ(form.pos(), Centre({300, 200}));
    EXPECT_EQ(form.size(), QSize(300, 200));
}

TEST_F(WindowPlacement, RestoresStoredSizeAndPlace) {
    const std::string ini = Ini("[mainform]\r\nHeight=150\r\nWidth=250\r\nTop=30\r\nLeft=40\r\n");
    LoadWindowPlacement(ini, form, false);
    EXPECT_EQ(form.geometry(), QRect(40, 30, 250, 150));

    form.show();
    form.move(70, 80);
    ASSERT_TRUE(SaveWindowPlacement(ini, form));
    QWidget again;
    again.setObjectName("MainForm");
    LoadWindowPlacement(ini, again, false);
    // Shown, the window has a frame; the restored window is not shown yet and has none.
    EXPECT_EQ(again.pos(), form.pos());
    EXPECT_EQ(again.size(), form.size());
}

TEST_F(WindowPlacement, BottomEdgeOnePixelBelowTheDesktopCentres) {
    QRect desktop;
    for (const QScreen* screen : QGuiApplication::screens())
        desktop = desktop.united(screen->geometry());
    const int fittingTop = desktop.y() + desktop.height() - 200;
    const std::string fits =
        "[MainForm]\r\nHeight=200\r\nWidth=300\r\nLeft=5\r\nTop=" + std::to_string(fittingTop);
    LoadWindowPlacement(Ini(fits.c_str()), form, false);
    EXPECT_EQ(form.pos(), QPoint(5, fittingTop));

    const std::string below = "[MainForm]\r\nLeft=5\r\nTop=" + std::to_string(fittingTop + 1);
    LoadWindowPlacement(Ini(below.c_str()), form, false);
    EXPECT_EQ(form.pos(), Centre({300, 200}));
}

TEST_F(WindowPlacement, MaximizedIgnoresTheStoredSize) {
    LoadWindowPlacement(Ini("[MainForm]\r\nMaximized=1\r\nHeight=100\r\nWidth=120\r\nTop=1\r\nLeft=1\r\n"),
                        form, false);
    EXPECT_TRUE(form.isMaximized());
    EXPECT_EQ(form.geometry(), QRect(50, 60, 300, 200));
}

TEST_F(WindowPlacement, ClosingMaximizedKeepsTheStoredNormalSize) {
    const std::string ini =
        Ini("[MainForm]\r\nHeight=100\r\nWidth=120\r\nTop=1\r\nLeft=2\r\nMaximized=0\r\n");
    form.showMaximized();
    ASSERT_TRUE(SaveWindowPlacement(ini, form));
    const TIniFile stored(ini);
    EXPECT_TRUE(stored.ReadBool("MainForm", "Maximized", false));
    EXPECT_EQ(stored.ReadInteger("MainForm", "Height", 0), 100);
    EXPECT_EQ(stored.ReadInteger("MainForm", "Width", 0), 120);
    EXPECT_EQ(stored.ReadInteger("MainForm", "Top", 0), 1);
    EXPECT_EQ(stored.ReadInteger("MainForm", "Left", 0), 2);
}

TEST_F(WindowPlacement, DesignPlacementIsSavedInOrder) {
    form.resize(539, 523);
    form.move(391, 104);
    ASSERT_TRUE(SaveWindowPlacement(WindowIniPath(), form));
    QFile file(QString::fromStdString(WindowIniPath()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(),
              "[MainForm]\r\nHeight=523\r\nWidth=539\r\nTop=104\r\nLeft=391\r\nMaximized=0\r\n");
}

TEST_F(WindowPlacement, PositionOnlyAndFixedSizeKeepTheirSize) {
    const std::string ini = Ini("[MainForm]\r\nHeight=150\r\nWidth=250\r\nTop=30\r\nLeft=40\r\n");
    LoadWindowPlacement(ini, form, true);
    EXPECT_EQ(form.geometry(), QRect(40, 30, 300, 200));

    QWidget fixed;
    fixed.setObjectName("MainForm");
    fixed.setFixedSize(320, 180);
    LoadWindowPlacement(ini, fixed, false);
    EXPECT_EQ(fixed.geometry(), QRect(40, 30, 320, 180));
}

TEST_F(WindowPlacement, UnwritableIniGivesFalse) {
    EXPECT_FALSE(SaveWindowPlacement(config.filePath("missing/quorvel.ini").toStdString(), form));
}

} // namespace
