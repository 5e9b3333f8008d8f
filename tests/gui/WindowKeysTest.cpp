// The main window for the keyboard and at other sizes, offscreen: menu mnemonics, the keys of the shown
// tab, grids that follow the window's width, the status line in a narrow window and the info labels.
#include "support/FileChoosingForm.h"
#include "support/HandsetProcess.h"
#include "support/ProgramFolderOverride.h"
#include "support/ShownWindow.h"
#include "support/WaitFor.h"

#include "windows/ComUnit.h"
#include "windows/MainUnit.h"
#include "windows/ProgressUnit.h"
#include "windows/SaveQuestion.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSet>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

struct WindowKeys : testing::Test {
    WindowKeys() {
        qputenv("QUORVEL_CONFIG_DIR", config.path().toLocal8Bit());
        QFile settings(programFolder.File("settings.cfg"));
        settings.open(QIODevice::WriteOnly);
        settings.write("PHONE_BOOK=ON\r\nPROFILE=ON\r\nSPEED_DIAL=ON\r\nBROADCAST_GROUPS=ON\r\n");
    }
    std::unique_ptr<TFileChoosingForm> Window(const THandsetProcess& handset) {
        auto form = ShownWindow(handset, saveQuestion, progress);
        form->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(form.get()));
        return form;
    }
    static QAction* Entry(TMainForm& form, const char* name) { return form.findChild<QAction*>(name); }
    static void ShowTab(TMainForm& form, const char* sheet) {
        form.findChild<QTabWidget*>("PageControl")->setCurrentWidget(form.findChild<QWidget*>(sheet));
    }

    QTemporaryDir config;
    TProgramFolderOverride programFolder;
    TSaveQuestionForm saveQuestion;
    TProgressForm progress;
};

TEST_F(WindowKeys, EveryMenuAndEntryHasItsOwnMnemonic) {
    TMainForm form({"quorvel"});
    const std::pair<const char*, Qt::Key> menus[] = {
        {"tbtnFile", Qt::Key_F}, {"tbtnOptions", Qt::Key_O}, {"tbtnHelp", Qt::Key_H}};
    for (const auto& [name, key] : menus) {
        auto* button = form.findChild<QToolButton*>(name);
        ASSERT_NE(button, nullptr) << name;
        EXPECT_EQ(QKeySequence::mnemonic(button->text()), QKeySequence(Qt::ALT | key)) << name;
        QSet<QKeySequence> taken;
        for (QAction* entry : button->menu()->actions()) {
            if (entry->isSeparator())
                continue;
            const QKeySequence mnemonic = QKeySequence::mnemonic(entry->text());
            EXPECT_FALSE(mnemonic.isEmpty()) << entry->objectName().toStdString();
            EXPECT_FALSE(taken.contains(mnemonic))
                << entry->objectName().toStdString() << " repeats a letter";
            taken.insert(mnemonic);
        }
    }
    EXPECT_EQ(Entry(form, "miExit")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    EXPECT_EQ(Entry(form, "miPrgHelp")->shortcut(), QKeySequence(Qt::Key_F1));
}

TEST_F(WindowKeys, OpenSaveAndReadKeysActOnTheShownTab) {
    THandsetProcess handset;
    ASSERT_TRUE(handset.Started());
    auto form = Window(handset);
    QSignalSpy openBook(Entry(*form, "miOpenPhoneBook"), &QAction::triggered);
    QSignalSpy saveBook(Entry(*form, "miSavePhoneBookAs"), &QAction::triggered);
    QSignalSpy openDial(Entry(*form, "miOpenSpeedDialList"), &QAction::triggered);
    QSignalSpy saveDial(Entry(*form, "miSaveSpeedDialListAs"), &QAction::triggered);
    QSignalSpy readDial(form->findChild<QPushButton*>("bbtnReadSpeedDial"), &QPushButton::clicked);
    QSignalSpy readBook(form->findChild<QPushButton*>("bbtnLoadFromPp"), &QPushButton::clicked);

    // The file names asked for are empty: the entries run and stop at once.
    QTest::keyClick(form.get(), Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(openBook.count(), 1);
    EXPECT_EQ(openDial.count(), 0);

    ShowTab(*form, "tsSpeedDial");
    QTest::keyClick(form.get(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(saveDial.count(), 1);
    EXPECT_EQ(saveBook.count(), 0);
    EXPECT_TRUE(Entry(*form, "miOpenPhoneBook")->shortcut().isEmpty()) << "one entry for each key";

    QTest::keyClick(form.get(), Qt::Key_F5);
    EXPECT_TRUE(WaitFor([&] { return readDial.count() == 1; }));
    EXPECT_EQ(readBook.count(), 0) << "the hidden tab's button does not answer";

    // Alt+F opens the File menu; the test closes it again.
    QString opened;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (QWidget* popup = QApplication::activePopupWidget()) {
            opened = popup->objectName();
            popup->close();
        }
    });
    closer.start(10);
    QTest::keyClick(form.get(), Qt::Key_F, Qt::AltModifier);
    EXPECT_TRUE(WaitFor([&] { return !opened.isEmpty(); }));
    EXPECT_EQ(opened, "FileMenu");
}

// Ctrl+Tab and Ctrl+Shift+Tab go through the shown tabs, round the ends, also from a grid with the focus,
// which would take them for its own Tab otherwise.
TEST_F(WindowKeys, CtrlTabChangesTheTabFromAGridToo) {
    THandsetProcess handset;
    ASSERT_TRUE(handset.Started());
    auto form = Window(handset);
    auto* pages = form->findChild<QTabWidget*>("PageControl");
    const auto current = [pages] { return pages->currentWidget()->objectName(); };
    ShowTab(*form, "tsPhoneBook");
    auto* book = form->findChild<QTableWidget*>("sgPhoneBook");
    book->setFocus();
    book->setCurrentCell(1, 1);
    ASSERT_TRUE(book->hasFocus());

    QTest::keyClick(book, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(current(), "tsProfile") << "the SIM tab is switched off";
    EXPECT_EQ(book->currentColumn(), 1) << "the grid did not take the key";
    QTest::keyClick(pages->currentWidget(), Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(current(), "tsSpeedDial");
    auto* dial = form->findChild<QTableWidget*>("sgSpeedDial");
    dial->setFocus();
    QTest::keyClick(dial, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(current(), "tsBroadcastGroups");
    auto* groups = form->findChild<QTableWidget*>("sgBroadcastGroups");
    groups->setFocus();
    QTest::keyClick(groups, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(current(), "tsPhoneBook") << "round the end";

    book->setFocus();
    QTest::keyClick(book, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(current(), "tsBroadcastGroups") << "round the start";
    groups->setFocus();
    QTest::keyClick(groups, Qt::Key_Tab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(current(), "tsSpeedDial");
}

// The station window closes with Esc and with Ctrl+W, as a dialog does.
TEST_F(WindowKeys, EscAndCtrlWCloseTheStationWindow) {
    THandsetProcess handset;
    ASSERT_TRUE(handset.Started());
    auto form = Window(handset);
    for (const QKeyCombination key : {QKeyCombination(Qt::Key_Escape), Qt::CTRL | Qt::Key_W}) {
        Entry(*form, "miStation")->trigger();
        auto* station = form->findChild<QWidget*>("StationView");
        ASSERT_NE(station, nullptr);
        ASSERT_TRUE(WaitFor([station] { return QApplication::activeWindow() == station; }));
        QTest::keyClick(station, key.key(), key.keyboardModifiers());
        EXPECT_TRUE(WaitFor([station] { return !station->isVisible(); }))
            << QKeySequence(key).toString().toStdString();
        EXPECT_TRUE(form->isVisible());
    }
}

TEST_F(WindowKeys, GridsWidenWithTheWindowAndKeepTheirLeastWidth) {
    THandsetProcess handset;
    ASSERT_TRUE(handset.Started());
    auto form = Window(handset);
    ShowTab(*form, "tsSpeedDial");
    auto* dial = form->findChild<QTableWidget*>("sgSpeedDial");
    form->resize(1280, 800);
    QApplication::processEvents();
    EXPECT_EQ(dial->columnWidth(0) + dial->columnWidth(1), dial->viewport()->width());
    form->resize(400, 400);
    QApplication::processEvents();
    EXPECT_EQ(dial->columnWidth(1), std::max(346, dial->viewport()->width() - dial->columnWidth(0)))
        << "the column narrows with the window, down to its designed width";

    ShowTab(*form, "tsPhoneBook");
    auto* book = form->findChild<QTableWidget*>("sgPhoneBook");
    form->resize(1280, 800);
    QApplication::processEvents();
    EXPECT_EQ(book->columnWidth(0) + book->columnWidth(1) + book->columnWidth(2), book->viewport()->width());
}

TEST_F(WindowKeys, ALongStatusEndsShortAndShowsWholeInItsToolTip) {
    THandsetProcess handset;
    ASSERT_TRUE(handset.Started());
    auto form = Window(handset);
    auto* status = form->findChild<QLabel*>("StatusPanel1");
    const QString text = QString("Writing the phone book to the handset, entry 17 of 250. ").repeated(4);
    form->resize(539, 523);
    form->ShowStatus(text.toStdString());
    QApplication::processEvents();
    EXPECT_EQ(status->text(), text);
    EXPECT_EQ(status->toolTip(), text);
    EXPECT_EQ(form->width(), 539) << "the text does not widen the window";

    form->ShowStatus("Ready");
    EXPECT_EQ(status->toolTip(), "");
}

TEST_F(WindowKeys, InfoLabelsNameTheConnectedHandset) {
    THandsetProcess handset({"--software", "62018400", "--pcs", "06B", "--model", "0xAA"});
    ASSERT_TRUE(handset.Started());
    auto form = Window(handset);
    auto* profileInfo = form->findChild<QLabel*>("lblInfoAdvancedSettings");
    EXPECT_EQ(profileInfo->text(),
              "Info: \"Advanced Settings\" need a Q7XX handset with software 62018400 or "
              "62018700 of PCS 06A or newer (level 6 or 7).");
    ShowTab(*form, "tsSpeedDial");
    form->findChild<QPushButton*>("bbtnReadSpeedDial")->click();
    const QString connected = "Connected handset: Software 62018400, PCS 06B, level 7 (advanced settings).";
    EXPECT_TRUE(profileInfo->text().endsWith("\n" + connected)) << profileInfo->text().toStdString();
    EXPECT_EQ(form->findChild<QLabel*>("lblInfoSpeedDial")->text(),
              "Info: \"Speed Dial\" needs a Q7XX handset whose software is of PCS 06A or newer.\n" +
                  connected);
}

TEST_F(WindowKeys, TabGoesDownEachProfileBoxAndEnterClosesTheConnectionSettings) {
    TMainForm form({"quorvel"});
    auto* profile = form.findChild<QWidget*>("tsProfile");
    // The next control that Tab stops at.
    const auto next = [&](const char* name) {
        QWidget* widget = profile->findChild<QWidget*>(name)->nextInFocusChain();
        while (!(widget->focusPolicy() & Qt::TabFocus))
            widget = widget->nextInFocusChain();
        return widget->objectName().toStdString();
    };
    EXPECT_EQ(next("cbRingerTone"), "cbRingerVol") << "down the settings box, not across";
    EXPECT_EQ(next("cbBackLight"), "cbAutoHook") << "from the end of the first box to the second";
    EXPECT_EQ(next("cbOffHookMsf"), "bbtnReadDefaultsFromPp");

    TComForm settings(form.Core().Engine(), form.Core().SelectedPort);
    EXPECT_TRUE(settings.findChild<QPushButton*>("btnClose")->isDefault());
}

} // namespace
