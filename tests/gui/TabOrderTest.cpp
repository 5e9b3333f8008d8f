// The order in which Tab goes through the controls of each tab of the main window and of each dialog,
// offscreen, with real key presses: reading order, top to bottom and left to right, a list before the
// buttons that act on it, and each window's stops once round before the first comes again.
#include "support/FileChoosingForm.h"
#include "support/HandsetProcess.h"
#include "support/ProgramFolderOverride.h"
#include "support/ShownWindow.h"
#include "support/WaitFor.h"

#include "platform/Texts.h"
#include "windows/About.h"
#include "windows/ComUnit.h"
#include "windows/MailControlMonitor.h"
#include "windows/MainUnit.h"
#include "windows/PlanDialog.h"
#include "windows/ProgressUnit.h"
#include "windows/SaveQuestion.h"
#include "windows/StationView.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace {

// The focused control by its name; a control without one (a tab bar, a radio button) by its class and
// text.
QString Name(const QWidget* widget) {
    if (!widget)
        return "(none)";
    if (!widget->objectName().isEmpty() && !widget->objectName().startsWith("qt_"))
        return widget->objectName();
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
        return button->text();
    return widget->metaObject()->className();
}

// The last cell of a grid that the person can reach (the first, backwards).
QModelIndex EndCell(const QAbstractItemModel& cells, bool last) {
    const int count = cells.rowCount() * cells.columnCount();
    for (int i = 0; i < count; ++i) {
        const int at = last ? count - 1 - i : i;
        const QModelIndex cell = cells.index(at / cells.columnCount(), at % cells.columnCount());
        if (cells.flags(cell) & Qt::ItemIsEnabled)
            return cell;
    }
    return {};
}

// Puts the focus on `first` and presses Tab (or Shift+Tab) in `window`, naming each control the focus
// comes to, until it comes back to the first or after `most` presses. A grid that Tab goes through
// cell by cell is one stop: the walk goes on from its last cell (its first, backwards).
QStringList TabStops(QWidget& window, QWidget& first, bool forward = true, int most = 40) {
    window.activateWindow();
    // A dialog over an active window can call itself active before it is.
    EXPECT_TRUE(WaitFor([&] { return QApplication::activeWindow() == &window; }));
    first.setFocus(Qt::TabFocusReason);
    QStringList stops;
    for (QWidget* at = QApplication::focusWidget(); at && stops.size() < most;) {
        stops << Name(at);
        if (auto* grid = qobject_cast<QAbstractItemView*>(at); grid && grid->tabKeyNavigation())
            grid->setCurrentIndex(EndCell(*grid->model(), forward));
        QTest::keyClick(at, Qt::Key_Tab, forward ? Qt::NoModifier : Qt::ShiftModifier);
        at = QApplication::focusWidget();
        if (at == &first)
            break;
    }
    return stops;
}

// The stops as one line, so that a failure shows them.
std::string Line(const QStringList& stops) {
    return stops.join(", ").toStdString();
}

std::string Reversed(QStringList stops) {
    std::reverse(stops.begin(), stops.end());
    return Line(stops);
}

struct TabOrder : testing::Test {
    TabOrder() {
        qputenv("QUORVEL_CONFIG_DIR", config.path().toLocal8Bit());
        QFile settings(programFolder.File("settings.cfg"));
        settings.open(QIODevice::WriteOnly);
        settings.write(
            "PHONE_BOOK=ON\r\nPROFILE=ON\r\nSPEED_DIAL=ON\r\nBROADCAST_GROUPS=ON\r\nVIRTUAL_SIM=ON\r\n");
    }

    QTemporaryDir config;
    TProgramFolderOverride programFolder;
    TSaveQuestionForm saveQuestion;
    TProgressForm progress;
};

TEST_F(TabOrder, GoesThroughEachTabInReadingOrder) {
    THandsetProcess handset;
    ASSERT_TRUE(handset.Started());
    auto form = ShownWindow(handset, saveQuestion, progress);
    auto* pages = form->findChild<QTabWidget*>("PageControl");
    QTabBar* tabBar = pages->tabBar();
    const std::pair<const char*, QStringList> sheets[] = {
        {"tsPhoneBook", {"sgPhoneBook", "bbtnLoadFromPp", "bbtnSaveToPp", "bbtnDeleteInPp", "bbtnCleanGrid"}},
        {"tsSim", {"bbtnBackupSim", "bbtnRestoreSim", "twSimRecords"}},
        // Down the settings box, then down the advanced one, then the buttons below them.
        {"tsProfile",
         {"cbRingerTone",
          "cbRingerVol",
          "cbKeyClick",
          "cbVibrator",
          "cbBAnswer",
          "cbStartVol",
          "cbOutOfRange",
          "cbAutoKeyLock",
          "cbLanguage",
          "cbBackLight",
          "cbAutoHook",
          "cbAnyKeyAnsw",
          "cbLongKey",
          "cbLongKeyTim",
          "cbAKeyDelay",
          "cbLsOnBAnsw",
          "cbStandbyText",
          "cbHeadsAlert",
          "cbHeadsetVol",
          "cbOffHookMsf",
          "bbtnReadDefaultsFromPp",
          "bbtnWriteDefaultsToPp",
          "bbtnTestRinger",
          "bbtnEnableAllSettings"}},
        {"tsSpeedDial",
         {"sgSpeedDial", "bbtnReadSpeedDial", "bbtnWriteSpeedDial", "bbtnDeleteSpeedDial",
          "bbtnCleanGridSpeedDial"}},
        {"tsBroadcastGroups",
         {"sgBroadcastGroups", "bbtnReadBroadcastGroups", "bbtnWriteBroadcastGroups",
          "bbtnDeleteBroadcastGroups", "bbtnCleanGridBroadcastGroups"}},
    };
    for (const auto& [sheet, controls] : sheets) {
        pages->setCurrentWidget(form->findChild<QWidget*>(sheet));
        const QStringList cycle =
            QStringList{"QTabBar"} + controls + QStringList{"tbtnFile", "tbtnOptions", "tbtnHelp"};
        EXPECT_EQ(Line(TabStops(*form, *tabBar)), Line(cycle)) << sheet;
        EXPECT_EQ(Line(TabStops(*form, *tabBar, false)), "QTabBar, " + Reversed(cycle.mid(1))) << sheet;
    }

    // Inside a grid, Tab still goes from cell to cell.
    pages->setCurrentWidget(form->findChild<QWidget*>("tsSpeedDial"));
    auto* dial = form->findChild<QTableWidget*>("sgSpeedDial");
    dial->setFocus(Qt::TabFocusReason);
    dial->setCurrentCell(4, 1);
    QTest::keyClick(dial, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), dial);
    EXPECT_EQ(dial->currentRow(), 5);
}

TEST_F(TabOrder, GoesThroughEachDialogInReadingOrder) {
    THandsetProcess handset;
    ASSERT_TRUE(handset.Started());
    auto form = ShownWindow(handset, saveQuestion, progress);
    // Each dialog's stops once round, from its first.
    const auto round = [](QWidget& dialog, const char* first) {
        dialog.show();
        return Line(TabStops(dialog, *dialog.findChild<QWidget*>(first)));
    };

    TComForm settings(form->Core().Engine(), form->Core().SelectedPort, form.get());
    EXPECT_EQ(round(settings, "cbComport"), "cbComport, btnComTestReq, btnClose");

    // The chosen way of writing is one stop; the arrow keys choose the other.
    EXPECT_EQ(round(saveQuestion, "bbtnOK"), "bbtnOK, bbtnCancel, " + std::string(Texts::AddPhoneBook));

    TWritePlan plan;
    plan.List = "phone book";
    plan.Lines = {{TPlanStep::Add, "Anna", {}, "0301234", {}, 1}};
    TPlanDialog planDialog(plan, form.get());
    EXPECT_EQ(round(planDialog, "lbPlan"), "lbPlan, bbtnWrite, bbtnCancel");

    TStationView station(*form, form.get());
    EXPECT_EQ(round(station, "edtTemplate"),
              "edtTemplate, btnBrowse, chkOnlyListed, twStationPorts, twStationHandsets")
        << "Start and Stop wait for a template";

    const std::unique_ptr<QDialog> about = TAbout().BuildWindow(form.get());
    EXPECT_EQ(round(*about, "btnOK"), "btnOK");

    // The order the monitor's description gives: the button, then the log.
    TMailControlMonitor monitor;
    EXPECT_EQ(round(monitor.Window(), "btnClear"), "btnClear, reSndMail");
}

} // namespace
