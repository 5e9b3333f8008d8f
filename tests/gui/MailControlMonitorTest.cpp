// The mail monitor offscreen, fed by the engine over an in-process link.
#include "support/FakeLink.h"
#include "support/ModalAnswerer.h"
#include "support/ProgramFolderOverride.h"
#include "support/WaitFor.h"

#include "link/Sndmail.h"
#include "windows/MailControlMonitor.h"
#include "windows/MainUnit.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>

#include <gtest/gtest.h>

namespace {

constexpr const char* ProbeTx = "Tx: FF FF 4D 02 06 3C 08 00 01 00 00 45  (Tx Count: 12 dec)";

struct Monitor : testing::Test {
    Monitor()
        : engine(link) {
        engine.AnswerTimeout = std::chrono::milliseconds(300);
        engine.GapTimeout = std::chrono::milliseconds(100);
        auto owned = std::make_unique<TMailControlMonitor>();
        monitor = owned.get();
        engine.SetMonitor(std::move(owned));
    }

    QWidget& Window() { return monitor->Window(); }
    // What the window shows once the reports have been put into it.
    QLabel* Label(const char* name) {
        monitor->Flush();
        return Window().findChild<QLabel*>(name);
    }
    QPlainTextEdit* Log() { return Window().findChild<QPlainTextEdit*>("reSndMail"); }
    QPushButton* ClearButton() { return Window().findChild<QPushButton*>("btnClear"); }
    QAction* MenuItem(const char* name) { return Window().findChild<QAction*>(name); }
    QStringList Lines() {
        monitor->Flush();
        return Log()->toPlainText().split('\n', Qt::SkipEmptyParts);
    }
    QColor LineColour(int line) {
        const QTextBlock block = Log()->document()->findBlockByNumber(line);
        return block.begin().fragment().charFormat().foreground().color();
    }
    // The labels the engine fills, in the order the window lists them.
    QStringList Shown() {
        QStringList texts;
        for (const char* name : {"lblSendmail", "lblRx", "lblParametre", "lblElapsedTime", "lblPakker",
                                 "lblExptRecLen", "lblChecksumStatusRx"})
            texts << Label(name)->text();
        return texts;
    }

    TFakeLink link;
    TMailControl engine;
    TMailControlMonitor* monitor = nullptr;
};

TEST_F(Monitor, ProbeShowsFrameWithTwoSpacesAndTheEchoInTheAnswerLine) {
    engine.ShowMonitor();
    ASSERT_TRUE(monitor->IsVisible());
    EXPECT_EQ(Window().windowTitle(), "Mail Control Monitor - COM1@115200");
    EXPECT_EQ(engine.ProbeHandset(std::chrono::milliseconds(0)), 1);

    const QStringList lines = Lines();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], ProbeTx);
    EXPECT_TRUE(lines[1].startsWith("Rx: FF FF 4D 02 06 3C 08 00 01 00 00 45 4D ")) << lines[1].toStdString();
    EXPECT_TRUE(lines[1].endsWith("  (Rx Count: 18 dec)")) << lines[1].toStdString();
    EXPECT_EQ(LineColour(0), QColor(0, 0, 255));
    EXPECT_EQ(LineColour(1), QColor(0, 0, 0));

    EXPECT_EQ(Label("lblSendmail")->text(), "FF FF 4D 02 06 3C 08 00 01 00 00 45  (Tx Count: 12 dec)");
    EXPECT_EQ(Label("lblSendmail")->toolTip(), "Original Sendmail :02 3C 08 00 01 00 00");
    EXPECT_EQ(Label("lblExptRecLen")->text(), "16 dec");
    EXPECT_EQ(Label("lblParametre")->text(), "FF");
    EXPECT_EQ(Label("lblChecksumStatusRx")->text(), "OK");
    EXPECT_TRUE(Label("lblElapsedTime")->text().endsWith(" ms"));
    EXPECT_NE(Label("lblPakker")->text(), "");

    engine.ClosePort();
    EXPECT_EQ(Window().windowTitle(), "Mail Control Monitor - COM1 Closed");
}

TEST_F(Monitor, FixedLabelsAndTheLogLimitAreShown) {
    EXPECT_EQ(Label("lblSendmailText")->text(), "Tx       : ");
    EXPECT_EQ(Label("lblChecksumStatusRxText")->text(), "Checksum status Rx:");
    EXPECT_EQ(Label("lblExpectedRxCountText")->text(), "Expected Rx Count :");
    EXPECT_EQ(Label("lblLogLimit")->text(), "The log keeps the last 10000 lines.");
    EXPECT_EQ(Window().findChildren<QLabel*>().size(), 15);
    EXPECT_EQ(ClearButton()->text(), "Clear Window");
}

TEST_F(Monitor, IsFedOnlyWhileShown) {
    engine.SendMail("02 3C 08 00 01 00 00");
    EXPECT_TRUE(Lines().isEmpty()) << "a monitor never shown is not fed";
    EXPECT_EQ(Shown(), QStringList(7, ""));
    engine.ShowMonitor();

    engine.SendMail("02 3C 08 00 01 00 00");
    EXPECT_EQ(Lines().size(), 2);
    QTest::keyClick(&Window(), Qt::Key_Escape);
    EXPECT_FALSE(monitor->IsVisible()) << "Escape hides the window";
    engine.SendMail("02 3C 08 00 02 00 00");
    EXPECT_EQ(Lines().size(), 2);
    EXPECT_EQ(Label("lblSendmail")->toolTip(), "Original Sendmail :02 3C 08 00 01 00 00");
}

TEST_F(Monitor, StayOnTopKeepsWhatIsShownWhileHidingAndShowingClearsIt) {
    engine.ShowMonitor();
    engine.SendMail("02 3C 08 00 01 00 00");
    const QStringList before = Shown();
    ASSERT_NE(before[0], "");

    MenuItem("miStayOnTop")->trigger();
    EXPECT_TRUE(Window().windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(MenuItem("miStayOnTop")->isChecked());
    EXPECT_TRUE(monitor->IsVisible());
    EXPECT_EQ(Shown(), before);
    EXPECT_EQ(Lines().size(), 2);
    MenuItem("miStayOnTop")->trigger();
    EXPECT_FALSE(Window().windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(MenuItem("miStayOnTop")->isChecked());
    EXPECT_EQ(Shown(), before);

    Window().close();
    engine.ShowMonitor();
    EXPECT_EQ(Shown(), QStringList(7, ""));
    EXPECT_TRUE(Lines().isEmpty());
    EXPECT_TRUE(MenuItem("miStayOnTop")->isChecked() == false) << "the settings stay";
}

TEST_F(Monitor, ReportsReachTheWindowByThemselvesAMomentLater) {
    engine.ShowMonitor();
    engine.SendMail("02 3C 08 00 01 00 00");
    auto* checksum = Window().findChild<QLabel*>("lblChecksumStatusRx");
    EXPECT_TRUE(WaitFor([&] { return checksum->text() == "OK"; }));
    EXPECT_EQ(Log()->toPlainText().count('\n'), 1) << "two lines";
    EXPECT_EQ(checksum->text(), "OK");
}

TEST_F(Monitor, ClearWindowEmptiesTheLogOnly) {
    engine.ShowMonitor();
    engine.SendMail("02 3C 08 00 01 00 00");
    const QStringList before = Shown();
    ClearButton()->click();
    EXPECT_TRUE(Lines().isEmpty());
    EXPECT_EQ(Shown(), before);
}

TEST_F(Monitor, ShowTimePutsTheTimeStampBeforeEachLine) {
    engine.ShowMonitor();
    MenuItem("miShowTime")->trigger();
    EXPECT_TRUE(monitor->ShowTime);
    EXPECT_TRUE(MenuItem("miShowTime")->isChecked());
    engine.SendMail("02 3C 08 00 01 00 00");
    const QRegularExpression stamped(R"(^\d\d:\d\d:\d\d:\d{6} (Tx|Rx): FF FF 4D )");
    for (const QString& line : Lines())
        EXPECT_TRUE(stamped.match(line).hasMatch()) << line.toStdString();
    MenuItem("miShowTime")->trigger();
    EXPECT_FALSE(monitor->ShowTime);
    EXPECT_FALSE(MenuItem("miShowTime")->isChecked());
}

TEST_F(Monitor, LayoutFollowsTheWindowAndANarrowWindowHidesTheButton) {
    engine.ShowMonitor();
    Window().resize(TMailControlMonitor::ClientWidth, TMailControlMonitor::ClientHeight);
    QApplication::processEvents();
    auto* box = Window().findChild<QGroupBox*>("GroupBox1");
    EXPECT_EQ(box->width(), 786 - 9);
    EXPECT_EQ(Log()->geometry(), QRect(3, 108, 786 - 9, 386 - 97 - 6 - 43));
    EXPECT_EQ(ClearButton()->geometry(), QRect(393 - 86, 108 + 240 + 6, 173, 24));
    EXPECT_TRUE(ClearButton()->isVisible());

    Window().resize(173 + 39, 300);
    QApplication::processEvents();
    EXPECT_FALSE(ClearButton()->isVisible());
    Window().resize(173 + 40, 300);
    QApplication::processEvents();
    EXPECT_TRUE(ClearButton()->isVisible());
}

TEST_F(Monitor, TheLogKeepsItsLastLines) {
    engine.ShowMonitor();
    constexpr int Max = TMailControlMonitor::MaxLogLines;
    int n = 0;
    for (int batch = 0; batch < 5; ++batch) {
        for (int i = 0; i < Max / 2; ++i)
            monitor->LogRx(std::to_string(n++), "", "OK", 1, 0);
        if (batch == 4)
            monitor->LogTx("02", "FF", 4, 6);
        monitor->Flush();
        const int held = Log()->document()->blockCount();
        EXPECT_GE(held, std::min(n, Max));
        EXPECT_LE(held, Max + TMailControlMonitor::TrimLines);
    }
    // The fifth batch went beyond the room: the log was written anew with its last lines, colours kept.
    const QStringList lines = Lines();
    ASSERT_EQ(lines.size(), Max);
    EXPECT_EQ(lines.first(), QString("Rx: %1 (Rx Count: 1 dec)").arg(n - Max + 1));
    EXPECT_EQ(lines.last(), "Tx: FF (Tx Count: 6 dec)");
    EXPECT_EQ(LineColour(Max - 1), QColor(0, 0, 255));
    EXPECT_EQ(LineColour(0), QColor(0, 0, 0));
    EXPECT_EQ(Log()->font().family(), Log()->document()->defaultFont().family());

    ClearButton()->click();
    monitor->LogRx("x", "", "OK", 1, 0);
    EXPECT_EQ(Lines(), QStringList{"Rx: x (Rx Count: 1 dec)"}) << "clearing forgets the kept lines too";
}

// A monitor whose "Save Log As..." writes to the file the test names.
class TSavingMonitor : public TMailControlMonitor {
public:
    std::string Target;

protected:
    std::string AskLogFileName() override { return Target; }
};

TEST(MonitorLog, SaveLogAsWritesWhatTheWindowHoldsAsARecording) {
    TFakeLink link;
    TMailControl engine(link);
    auto owned = std::make_unique<TSavingMonitor>();
    TSavingMonitor* monitor = owned.get();
    engine.SetMonitor(std::move(owned));
    engine.SendMail("02 5D 16");
    engine.ShowMonitor();
    engine.SendMail("02 3C 08 00 01 00 00");
    engine.SendMail("02 5D 47");

    const QTemporaryDir folder;
    monitor->Target = folder.filePath("log.jsonl").toStdString();
    monitor->Window().findChild<QAction*>("miSaveLogAs")->trigger();
    QFile file(QString::fromStdString(monitor->Target));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    ASSERT_EQ(lines.size(), 3) << "two transactions, each a complete line";
    EXPECT_EQ(ParseMailRecordLine(lines[0].toStdString()), monitor->Records()[0]);
    EXPECT_EQ(ParseMailRecordLine(lines[1].toStdString()).Mail, "02 5D 47");
    EXPECT_TRUE(lines[2].isEmpty());

    monitor->Window().findChild<QPushButton*>("btnClear")->click();
    EXPECT_TRUE(monitor->Records().empty());

    TModalAnswerer answerer;
    monitor->Target = folder.filePath("missing/log.jsonl").toStdString();
    monitor->Window().findChild<QAction*>("miSaveLogAs")->trigger();
    ASSERT_EQ(answerer.Texts.size(), 1u);
    EXPECT_TRUE(answerer.Texts[0].startsWith("The log could not be saved as " +
                                             QString::fromStdString(monitor->Target)))
        << answerer.Texts[0].toStdString();
}

TEST(MonitorLog, ANameWithoutExtensionIsSavedAsJsonl) {
    TFakeLink link;
    TMailControl engine(link);
    auto owned = std::make_unique<TSavingMonitor>();
    TSavingMonitor* monitor = owned.get();
    engine.SetMonitor(std::move(owned));
    engine.SendMail("02 5D 16");
    const QTemporaryDir folder;
    monitor->Target = folder.filePath("log").toStdString();
    monitor->Window().findChild<QAction*>("miSaveLogAs")->trigger();
    EXPECT_TRUE(QFile::exists(folder.filePath("log.jsonl")));
    EXPECT_FALSE(QFile::exists(folder.filePath("log")));
    monitor->Target = folder.filePath("log.txt").toStdString();
    monitor->Window().findChild<QAction*>("miSaveLogAs")->trigger();
    EXPECT_TRUE(QFile::exists(folder.filePath("log.txt"))) << "a chosen extension stays";
}

TEST(MonitorLog, TheRightButtonOnTheLogOpensTheMonitorsMenu) {
    TFakeLink link;
    TMailControl engine(link);
    auto owned = std::make_unique<TSavingMonitor>();
    TSavingMonitor* monitor = owned.get();
    engine.SetMonitor(std::move(owned));
    engine.ShowMonitor();
    auto* log = monitor->Window().findChild<QPlainTextEdit*>("reSndMail");
    auto* menu = monitor->Window().findChild<QMenu*>("pmMonitor");
    QContextMenuEvent press(QContextMenuEvent::Mouse, QPoint(10, 10),
                            log->viewport()->mapToGlobal(QPoint(10, 10)));
    QApplication::sendEvent(log->viewport(), &press);
    EXPECT_TRUE(menu->isVisible());
    menu->hide();
}

std::vector<QWidget*> MonitorWindows() {
    std::vector<QWidget*> found;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->objectName() == "MailControlMonitor")
            found.push_back(window);
    return found;
}

TEST(MailMonitorEntry, OpensOneMonitorThatStaysWithTheEngine) {
    const QTemporaryDir config;
    qputenv("QUORVEL_CONFIG_DIR", config.path().toLocal8Bit());
    const TProgramFolderOverride programFolder;
    TMainForm form({"quorvel", "-debug"});
    auto* entry = form.findChild<QAction*>("miMailMonitor");
    ASSERT_TRUE(entry->isVisible());
    EXPECT_FALSE(form.Core().Engine().HasMonitor()) << "made on first use";

    entry->trigger();
    ASSERT_TRUE(form.Core().Engine().HasMonitor());
    ASSERT_EQ(MonitorWindows().size(), 1u);
    QWidget* window = MonitorWindows()[0];
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->windowTitle().startsWith("Mail Control Monitor - COM"))
        << window->windowTitle().toStdString();
    window->hide();
    entry->trigger();
    EXPECT_EQ(MonitorWindows(), std::vector<QWidget*>{window});
    EXPECT_TRUE(window->isVisible());
}

} // namespace
