// The windows under a window manager's frame: the small windows are wide enough for the frame to show
// their whole titles, which on X11 end in the program's name, and the main window ends with its status
// bar at any size, so that nothing of its own shows between the status bar and the frame.
#include "support/HandsetProcess.h"
#include "support/ProgramFolderOverride.h"
#include "support/RecordingUser.h"
#include "support/ShownWindow.h"

#include "link/Sndmail.h"
#include "windows/About.h"
#include "windows/ComUnit.h"
#include "windows/MailControlMonitor.h"
#include "windows/MainUnit.h"
#include "windows/PlanDialog.h"
#include "windows/ProgressUnit.h"
#include "windows/SaveQuestion.h"
#include "windows/StationView.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QStatusBar>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {

// The title as an X11 frame shows it, in bold, beside an icon and three buttons of a modest frame.
int RoomForTitle(const QWidget& window) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::TitleFont);
    font.setBold(true);
    return QFontMetrics(font).horizontalAdvance(window.windowTitle() + QString::fromUtf8(" \u2014 Quorvel")) +
           4 * 20;
}

struct WindowFrame : testing::Test {
    WindowFrame()
        : shownName(QGuiApplication::applicationDisplayName()) {
        qputenv("QUORVEL_CONFIG_DIR", config.path().toLocal8Bit());
        QGuiApplication::setApplicationDisplayName("Quorvel");
    }
    ~WindowFrame() override { QGuiApplication::setApplicationDisplayName(shownName); }

    // The width the window takes on the screen.
    static int ShownWidth(QWidget& window) {
        window.show();
        const int width = window.width();
        window.hide();
        return width;
    }

    QString shownName;
    QTemporaryDir config;
    TProgramFolderOverride programFolder;
};

TEST_F(WindowFrame, ShowsTheWholeTitleOfEverySmallWindow) {
    TSendmail engine;
    int port = 0;
    TComForm settings(engine, port);
    EXPECT_GE(ShownWidth(settings), RoomForTitle(settings)) << "Connection Settings";

    TSaveQuestionForm saveQuestion;
    EXPECT_GE(ShownWidth(saveQuestion), RoomForTitle(saveQuestion)) << "Select how to write";

    TProgressForm progress;
    EXPECT_GE(ShownWidth(progress), RoomForTitle(progress)) << "Progress";

    TWritePlan plan;
    plan.List = "speed dial list";
    TPlanDialog planDialog(plan);
    EXPECT_GE(ShownWidth(planDialog), RoomForTitle(planDialog)) << "the plan of a write";

    const std::unique_ptr<QDialog> about = TAbout().BuildWindow(nullptr, 96);
    EXPECT_GE(ShownWidth(*about), RoomForTitle(*about)) << "About";

    TRecordingUser user;
    TStationView station(user);
    EXPECT_GE(ShownWidth(station), RoomForTitle(station)) << "Provisioning Station";

    TMailControlMonitor monitor;
    EXPECT_GE(ShownWidth(monitor.Window()), RoomForTitle(monitor.Window())) << "Mail Control Monitor";
}

TEST_F(WindowFrame, NothingOfTheMainWindowLiesBelowItsStatusBar) {
    THandsetProcess handset;
    ASSERT_TRUE(handset.Started());
    TSaveQuestionForm saveQuestion;
    TProgressForm progress;
    auto form = ShownWindow(handset, saveQuestion, progress);
    const QStatusBar* status = form->statusBar();
    for (const QSize size : {QSize(TMainForm::DesignWidth, TMainForm::DesignHeight), QSize(800, 600),
                             QSize(1280, 800), QSize(1920, 1080)}) {
        form->resize(size);
        QApplication::processEvents();
        EXPECT_EQ(status->geometry().bottom(), form->height() - 1) << size.width() << "x" << size.height();
        for (const QWidget* child : form->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (child != status && child->isVisible() && !child->isWindow()) {
                EXPECT_LE(child->geometry().bottom(), status->y()) << child->metaObject()->className();
            }
    }
}

} // namespace
