// The progress window: it says in words what an operation is at, and its Cancel asks the operation to stop
// at its next safe point, as Ctrl-C does on the command line. Against a paced virtual handset, a phone
// book write is counted, stopped part-way with its own message, and the next operation runs as usual.
#include "support/FileChoosingForm.h"
#include "support/HandsetProcess.h"
#include "support/ModalAnswerer.h"
#include "support/ProgramFolderOverride.h"
#include "support/ShownWindow.h"
#include "support/WaitFor.h"

#include "link/StopRequest.h"
#include "platform/UserInteraction.h"
#include "windows/MainUnit.h"
#include "windows/PhoneBookGrid.h"
#include "windows/PhoneBookTab.h"
#include "windows/ProgressUnit.h"
#include "windows/SaveQuestion.h"

#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace {

// ---- the count in words, as the calls of an operation drive it ----

TEST(ProgressCount, AWriteCountsTheRowsThatHoldAnEntryAtItsMarks) {
    TProgressCount count;
    // Entries in rows 2, 3 and 5 of a table of 6.
    count.RowHoldsEntry = [](int row) { return row == 2 || row == 3 || row == 5; };
    count.Start(1, 6);
    EXPECT_EQ(count.Text(), "");
    std::vector<std::string> seen;
    for (int row = 1; row <= 6; ++row) {
        count.Mark(row);
        seen.push_back(count.Text());
        count.Step();
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"", "Writing entry 1 of 3", "Writing entry 2 of 3",
                                              "Writing entry 2 of 3", "Writing entry 3 of 3",
                                              "Writing entry 3 of 3"}));

    // Without knowing which rows hold an entry, a write counts rows.
    TProgressCount rows;
    rows.Start(1, 4);
    rows.Mark(2);
    EXPECT_EQ(rows.Text(), "Writing row 2 of 4");
}

TEST(ProgressCount, AReadIsAtTheEntryAfterTheLastThatCameAndANewStartForgetsTheWrite) {
    TProgressCount count;
    count.RowHoldsEntry = [](int) { return true; };
    count.Start(1, 3);
    count.Mark(1);
    count.Start(1, 3);
    count.Step();
    EXPECT_EQ(count.Text(), "Reading entry 2 of at most 3");
    count.Step();
    count.Step();
    EXPECT_EQ(count.Text(), "Reading entry 3 of at most 3") << "never past the end";
    EXPECT_EQ(TProgressCount::Words("Reading", "entry", 4, 0, true), "Reading entry 4");
}

// ---- the window ----

struct ProgressCancel : testing::Test {
    ProgressCancel() {
        ClearStopRequest();
        qputenv("QUORVEL_CONFIG_DIR", config.path().toLocal8Bit());
        QFile settings(programFolder.File("settings.cfg"));
        settings.open(QIODevice::WriteOnly);
        settings.write("PHONE_BOOK=ON\r\n");
    }
    ~ProgressCancel() override { ClearStopRequest(); }

    QPushButton* CancelButton() { return progress.findChild<QPushButton*>("btnCancelProgress"); }
    static void Click(TMainForm& form, const char* button) { form.findChild<QPushButton*>(button)->click(); }
    // Fills the first `entries` rows of the table, as the person would before a write.
    static void Fill(TMainForm& form, int entries, int every = 1) {
        TPP5Phonebook& book = form.Core().Phonebook;
        for (int i = 0; i < entries; ++i) {
            book.SetName(uint16_t(i * every), "N" + std::to_string(i));
            book.SetNumber(uint16_t(i * every), std::to_string(1000 + i));
        }
        form.PhoneBook().Grid()->ShowAll();
    }
    // Runs `watch` on every turn of the event loop while the progress window is shown: the engine waits
    // for each answer in the event loop, so no text the window shows between two mails is missed.
    void Watch(std::function<void(const QString&)> watch) {
        Watcher.setInterval(0);
        QObject::connect(&Watcher, &QTimer::timeout, [this, watch] {
            if (progress.isVisible())
                watch(progress.CountText());
        });
        Watcher.start();
    }

    QTemporaryDir config;
    TProgramFolderOverride programFolder;
    TSaveQuestionForm saveQuestion;
    TProgressForm progress;
    QTimer Watcher;
};

TEST_F(ProgressCancel, CancelAndEscapeAskForAStopAndTheWindowSaysItIsStopping) {
    for (const bool escape : {false, true}) {
        ClearStopRequest();
        progress.show();
        progress.SetRange(1, 10, 1);
        ASSERT_TRUE(CancelButton()->isEnabled());
        if (escape) {
            QKeyEvent key(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(&progress, &key);
        } else {
            CancelButton()->click();
        }
        EXPECT_TRUE(StopRequested());
        EXPECT_EQ(progress.CountText(), QString::fromUtf8("Stopping\u2026"));
        EXPECT_FALSE(CancelButton()->isEnabled());
        EXPECT_TRUE(progress.isVisible()) << "the operation ends the window, not the key";
        progress.StepIt();
        EXPECT_EQ(progress.CountText(), QString::fromUtf8("Stopping\u2026")) << "until the operation stops";
        progress.close();
    }
    // The next operation starts without the request.
    ClearStopRequest();
    progress.show();
    progress.SetRange(1, 10, 1);
    EXPECT_TRUE(CancelButton()->isEnabled());
    EXPECT_EQ(progress.CountText(), "");
}

TEST_F(ProgressCancel, APhoneBookWriteCountsTheEntriesItWritesInWords) {
    THandsetProcess handset({"--pace", "115200", "--phonebook-entries", "5"});
    ASSERT_TRUE(handset.Started());
    auto form = ShownWindow(handset, saveQuestion, progress);
    // 12 entries on every other row: the empty rows between them are not counted.
    Fill(*form, 12, 2);
    std::vector<QString> seen;
    Watch([&seen](const QString& text) {
        if (!text.isEmpty() && (seen.empty() || seen.back() != text))
            seen.push_back(text);
    });
    TModalAnswerer answerer(QMessageBox::Ok, WriteModeChoice(1));
    Click(*form, "bbtnSaveToPp");
    Watcher.stop();
    EXPECT_TRUE(answerer.Texts.size() <= 1u) << answerer.Texts.back().toStdString();

    // The read of what the handset holds (for the plan and its backup), then the write entry by entry.
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), "Reading entry 2 of at most 200");
    std::vector<QString> writing;
    for (const QString& text : seen)
        if (text.startsWith("Writing"))
            writing.push_back(text);
    std::vector<QString> expected;
    for (int i = 1; i <= 12; ++i)
        expected.push_back(QString("Writing entry %1 of 12").arg(i));
    EXPECT_EQ(writing, expected);
    EXPECT_FALSE(progress.isVisible());
}

// Cancel, and Escape pressed wherever the keyboard is (the progress window holds it), end a read of 200
// entries at once, in the middle of an answer wait: the table keeps what it held, no box calls the stop
// a failure, and a click on the greyed tabs meanwhile says why nothing happens.
TEST_F(ProgressCancel, CancelAndEscapeEndAReadAtOnceAndLeaveTheGridAsItWas) {
    THandsetProcess handset({"--pace", "115200", "--phonebook-entries", "200", "--answer-delay", "5"});
    ASSERT_TRUE(handset.Started());
    auto form = ShownWindow(handset, saveQuestion, progress);
    const auto status = [&form] {
        auto* panel = form->findChild<QLabel*>("StatusPanel1");
        return panel->toolTip().isEmpty() ? panel->text() : panel->toolTip();
    };
    // Escape first: the offscreen platform does not hand the activation back and forth between two
    // windows reliably within one test, which a desktop's window manager does.
    for (const bool escape : {true, false}) {
        Fill(*form, 3);
        QElapsedTimer sinceStop;
        QString told;
        bool focusHeld = false;
        Watch([&](const QString& text) {
            if (sinceStop.isValid() || text != "Reading entry 20 of at most 200")
                return;
            // A click on the greyed tab bar during the read.
            QTabBar* tabs = form->findChild<QTabBar*>();
            QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), tabs->mapToGlobal(QPointF(5, 5)),
                              Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(tabs, &press);
            told = status();
            sinceStop.start();
            if (escape) {
                QWidget* keyboard = QApplication::focusWidget();
                focusHeld = keyboard && keyboard->window() == &progress;
                QKeyEvent key(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                QApplication::sendEvent(keyboard ? keyboard : &progress, &key);
            } else {
                CancelButton()->click();
            }
        });
        TModalAnswerer answerer;
        Click(*form, "bbtnLoadFromPp");
        Watcher.stop();
        ASSERT_TRUE(sinceStop.isValid()) << "the read did not come to entry 20";
        // The read ends within 200 ms on an idle machine; the bound leaves room for a sanitizer build on
        // a loaded one.
        EXPECT_LT(sinceStop.elapsed(), 1000);
        EXPECT_EQ(told, "An operation on the handset is running: it must end, or be cancelled, first.");
        if (escape) {
            EXPECT_TRUE(focusHeld) << "the progress window holds the keyboard while it is up";
        }
        EXPECT_TRUE(answerer.Texts.empty()) << answerer.Texts.front().toStdString();
        EXPECT_EQ(status(), "Stopped as asked; nothing was changed");
        const TPP5Phonebook& book = form->Core().Phonebook;
        EXPECT_EQ(book.CountNumbers(), 3);
        EXPECT_EQ(book.GetName(0), "N0");
        EXPECT_FALSE(form->Busy());
        EXPECT_FALSE(progress.isVisible());
    }
}

TEST_F(ProgressCancel, CancelStopsA200EntryWriteBetweenEntriesAndTheNextReadRuns) {
    THandsetProcess handset({"--pace", "115200", "--phonebook-entries", "200"});
    ASSERT_TRUE(handset.Started());
    auto form = ShownWindow(handset, saveQuestion, progress);
    Fill(*form, 200);
    QString afterCancel;
    bool enabledAfterCancel = true;
    Watch([&](const QString& text) {
        if (afterCancel.isEmpty() && text == "Writing entry 20 of 200") {
            CancelButton()->click();
            afterCancel = progress.CountText();
            enabledAfterCancel = CancelButton()->isEnabled();
        }
    });
    TModalAnswerer answerer(QMessageBox::Ok, WriteModeChoice(1));
    Click(*form, "bbtnSaveToPp");
    Watcher.stop();

    EXPECT_EQ(afterCancel, QString::fromUtf8("Stopping\u2026"));
    EXPECT_FALSE(enabledAfterCancel);
    ASSERT_FALSE(answerer.Texts.empty());
    const QString message = answerer.Texts.back();
    EXPECT_TRUE(message.startsWith("The write to the handset's phone book was stopped as asked."))
        << message.toStdString();
    // Asked while the 20th entry was being written: the write stops before the 21st.
    EXPECT_TRUE(message.contains("The handset now holds 20 entries. The write stopped at line 21; 20 of the "
                                 "entries up to it are in the handset."))
        << message.toStdString();
    EXPECT_TRUE(message.contains("The 200 entries it held before are kept in")) << message.toStdString();
    EXPECT_EQ(answerer.Icons.back(), QMessageBox::Information) << "a stop asked for is no failure";
    EXPECT_FALSE(form->Busy());
    EXPECT_FALSE(progress.isVisible());

    // The stop belonged to the write: the read that follows runs to the end and is counted.
    std::vector<QString> seen;
    Watch([&seen](const QString& text) { seen.push_back(text); });
    const size_t shown = answerer.Texts.size();
    Click(*form, "bbtnLoadFromPp");
    Watcher.stop();
    EXPECT_EQ(answerer.Texts.size(), shown) << answerer.Texts.back().toStdString();
    EXPECT_FALSE(StopRequested());
    const int held = form->Core().Phonebook.CountNumbers();
    EXPECT_EQ(held, 20);
    EXPECT_TRUE(std::find(seen.begin(), seen.end(), QString("Reading entry %1 of at most 200").arg(held)) !=
                seen.end());
    EXPECT_TRUE(std::find(seen.begin(), seen.end(), QString::fromUtf8("Stopping\u2026")) == seen.end());
}

} // namespace
