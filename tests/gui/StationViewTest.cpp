// The station view offscreen: the template chosen and checked, and quorvel-cli station watch run over
// virtual handsets, its rows following what the station tells.
#include "support/HandsetProcess.h"
#include "support/ModalAnswerer.h"
#include "support/ProgramFolderOverride.h"
#include "support/RecordingUser.h"
#include "support/ShownWindow.h"
#include "support/WaitFor.h"

#include "windows/MainUnit.h"
#include "windows/ProgressUnit.h"
#include "windows/SaveQuestion.h"
#include "windows/StationView.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <QRegularExpression>

#include <gtest/gtest.h>

#include <chrono>

namespace {

using namespace std::chrono_literals;

// A provisioning, done by a second process against a pseudo-terminal, takes its time on a sanitizer build.
constexpr auto ProvisionDeadline = 40s;

struct StationView : testing::Test {
    StationView() {
        qputenv("QUORVEL_CONFIG_DIR", config.path().toLocal8Bit());
        // The view runs quorvel-cli from the program folder, which is the test's own.
        QFile::link(ProgramFolder() + "/quorvel-cli", programFolder.File("quorvel-cli"));
        WriteFile("phonebook.phb", "Reception,100\r\n{name},{extension}\r\n");
        WriteFile("handsets.csv",
                  "serial,name,extension\r\n00001 0000001,Anna,201\r\n00001 0000002,Bob,202\r\n");
    }

    QString Folder() const { return dir.filePath("office"); }
    void WriteFile(const QString& name, const QByteArray& text) {
        QDir().mkpath(Folder());
        QFile file(Folder() + "/" + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }

    template <typename T> static T* Control(QWidget& view, const char* name) {
        T* control = view.findChild<T*>(name);
        EXPECT_NE(control, nullptr) << name;
        return control;
    }
    static QString TemplateText(QWidget& view) { return Control<QLabel>(view, "lblTemplate")->text(); }
    static QString Status(QWidget& view) { return Control<QLabel>(view, "lblStationStatus")->text(); }
    // Types the folder and waits until the view has had its look at it.
    static void Choose(QWidget& view, const QString& folder) {
        auto* edit = Control<QLineEdit>(view, "edtTemplate");
        edit->clear();
        const QString before = TemplateText(view);
        edit->setText(folder);
        EXPECT_TRUE(WaitFor([&] { return TemplateText(view) != before; })) << folder.toStdString();
    }
    static QTreeWidgetItem* Row(QWidget& view, int com) {
        auto* table = Control<QTreeWidget>(view, "twStationPorts");
        for (int i = 0; i < table->topLevelItemCount(); ++i)
            if (table->topLevelItem(i)->text(TStationView::PortColumn) == QString("COM%1").arg(com))
                return table->topLevelItem(i);
        return nullptr;
    }
    // Every row, "COM10 Done: message" a line, for a failure to show.
    static std::string Rows(QWidget& view) {
        auto* table = Control<QTreeWidget>(view, "twStationPorts");
        std::string rows;
        for (int i = 0; i < table->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* row = table->topLevelItem(i);
            rows += (row->text(TStationView::PortColumn) + " " + row->text(TStationView::StateColumn) + ": " +
                     row->text(TStationView::MessageColumn) + "\n")
                        .toStdString();
        }
        return rows;
    }
    static bool RowState(QWidget& view, int com, const QString& state) {
        const QTreeWidgetItem* row = Row(view, com);
        return row && row->text(TStationView::StateColumn) == state;
    }

    QTemporaryDir config;
    QTemporaryDir dir;
    TProgramFolderOverride programFolder;
    TRecordingUser user;
};

} // namespace

TEST_F(StationView, ATemplateWithProblemsCannotStartAndNamesEachProblemByItsLine) {
    WriteFile("handsets.csv", "serial,name,extension\r\n00001 0000001,Anna,201\r\n00001 0000001,Bob,202\r\n");
    TStationView view(user);
    auto* start = Control<QPushButton>(view, "btnStart");
    EXPECT_FALSE(start->isEnabled()) << "no folder chosen yet";

    Choose(view, Folder());
    EXPECT_TRUE(TemplateText(view).contains(
        "handsets.csv:3: serial '00001 0000001' is there twice (first on line 2)"))
        << TemplateText(view).toStdString();
    EXPECT_FALSE(start->isEnabled());
    start->click();
    EXPECT_TRUE(user.Messages.empty()) << "nobody is asked about a template that cannot be used";
    EXPECT_FALSE(view.Running());

    // Mended, and chosen again: what it writes and how many handsets it lists.
    WriteFile("handsets.csv", "serial,name,extension\r\n00001 0000001,Anna,201\r\n00001 0000002,Bob,202\r\n");
    Choose(view, Folder());
    EXPECT_EQ(TemplateText(view), "The template writes: phone book.\n2 handsets are listed in handsets.csv.");
    EXPECT_TRUE(start->isEnabled());

    // A folder that is none is said so, and cannot start either.
    Choose(view, dir.filePath("elsewhere"));
    EXPECT_TRUE(TemplateText(view).contains("elsewhere")) << TemplateText(view).toStdString();
    EXPECT_FALSE(start->isEnabled());

    // A template that went bad after it was chosen is caught when Start is clicked, before the question.
    Choose(view, Folder());
    ASSERT_TRUE(start->isEnabled());
    QFile::remove(Folder() + "/phonebook.phb");
    QFile::remove(Folder() + "/handsets.csv");
    start->click();
    EXPECT_TRUE(user.Messages.empty());
    EXPECT_FALSE(view.Running());
    EXPECT_FALSE(start->isEnabled());
}

TEST_F(StationView, AStationDeclinedOrImpossibleToRunLeavesTheViewReadyAndSaysWhy) {
    TStationView view(user);
    Choose(view, Folder());
    auto* start = Control<QPushButton>(view, "btnStart");
    user.Answers = {TAnswer::Cancel};
    start->click();
    ASSERT_EQ(user.Messages.size(), 1u);
    EXPECT_EQ(user.Messages[0].kind, TMessageKind::Confirmation);
    EXPECT_EQ(user.Messages[0].text, "Every handset docked while the station runs gets the template " +
                                         Folder().toStdString() +
                                         ", without a further question. Start the station?");
    EXPECT_FALSE(view.Running());

    QFile::remove(programFolder.File("quorvel-cli"));
    int ended = 0;
    QObject::connect(&view, &TStationView::StationEnded, [&] { ++ended; });
    start->click();
    EXPECT_TRUE(WaitFor([&] { return !view.Running(); }));
    EXPECT_EQ(ended, 1);
    EXPECT_TRUE(Status(view).startsWith(
        "The station could not be started: " + QDir::toNativeSeparators(programFolder.File("quorvel-cli")) +
        " cannot be run"))
        << Status(view).toStdString();
    EXPECT_TRUE(start->isEnabled());
    EXPECT_FALSE(Control<QPushButton>(view, "btnStop")->isEnabled());
    EXPECT_TRUE(Control<QLineEdit>(view, "edtTemplate")->isEnabled());
}

TEST_F(StationView, EachHandsetDockedGetsItsRowUntilDoneAndStopKeepsTheRows) {
    THandsetProcess one({"--serial", "0000100001"});
    ASSERT_TRUE(one.Started());
    TStationView view(user);
    Choose(view, Folder());
    Control<QCheckBox>(view, "chkOnlyListed")->setChecked(true);
    auto* start = Control<QPushButton>(view, "btnStart");
    auto* stop = Control<QPushButton>(view, "btnStop");
    start->click();
    ASSERT_EQ(user.Messages.size(), 1u);
    EXPECT_NE(user.Messages[0].text.find("(handsets listed in its handsets.csv only)"), std::string::npos);
    ASSERT_TRUE(view.Running());
    EXPECT_FALSE(start->isEnabled());
    EXPECT_TRUE(stop->isEnabled());
    EXPECT_FALSE(Control<QLineEdit>(view, "edtTemplate")->isEnabled());
    EXPECT_FALSE(Control<QCheckBox>(view, "chkOnlyListed")->isEnabled());

    ASSERT_TRUE(WaitFor([&] { return RowState(view, one.ComNumber(), "Done"); }, ProvisionDeadline))
        << Status(view).toStdString();
    // The second handset is docked while the station runs.
    THandsetProcess two({"--serial", "0000100002"}, one);
    ASSERT_TRUE(two.Started());
    ASSERT_TRUE(WaitFor([&] { return RowState(view, two.ComNumber(), "Done"); }, ProvisionDeadline))
        << Status(view).toStdString();
    EXPECT_EQ(Row(view, one.ComNumber())->text(TStationView::HandsetColumn), "00001 0000001");
    EXPECT_EQ(Row(view, two.ComNumber())->text(TStationView::HandsetColumn), "00001 0000002");
    // Everything said of the handset is kept with its last message.
    const QString said = Row(view, two.ComNumber())->toolTip(TStationView::MessageColumn);
    EXPECT_TRUE(said.contains(
        QString("Provisioned 00001 0000002 at COM%1: phone book: written and verified").arg(two.ComNumber())))
        << said.toStdString();

    stop->click();
    EXPECT_EQ(stop->text(), "Stopping...");
    EXPECT_FALSE(stop->isEnabled());
    ASSERT_TRUE(WaitFor([&] { return !view.Running(); }, ProvisionDeadline));
    EXPECT_EQ(stop->text(), "Stop");
    // The two handsets' rows stay; a port of this machine that another program (another test) held for
    // a moment has its "Busy" row too, and no other row is there.
    const std::string rows = Rows(view);
    int others = 0;
    for (size_t at = rows.find(" Busy: "); at != std::string::npos; at = rows.find(" Busy: ", at + 1))
        ++others;
    EXPECT_EQ(Control<QTreeWidget>(view, "twStationPorts")->topLevelItemCount(), 2 + others) << rows;
    EXPECT_TRUE(RowState(view, one.ComNumber(), "Done"));
    EXPECT_TRUE(RowState(view, two.ComNumber(), "Done"));
    EXPECT_EQ(Status(view), "2 handsets: 2 provisioned.");
    // The PC's table of handsets: both, given the chosen template's present content; once the template
    // changes, both lack it.
    auto* handsets = Control<QTreeWidget>(view, "twStationHandsets");
    const auto count = [handsets](const char* state) {
        int n = 0;
        for (int i = 0; i < handsets->topLevelItemCount(); ++i)
            n += handsets->topLevelItem(i)->text(6) == state;
        return n;
    };
    EXPECT_EQ(count("current"), 2);
    WriteFile("phonebook.phb", "Reception,101\r\n{name},{extension}\r\n");
    // The same folder, named anew: checked again once the typing pauses.
    Control<QLineEdit>(view, "edtTemplate")->setText(Folder() + "/");
    EXPECT_TRUE(WaitFor([&] { return count("outdated") == 2; }));
    EXPECT_TRUE(start->isEnabled());
    EXPECT_EQ(two.Cli({"--port", QString("COM%1").arg(two.ComNumber()), "phonebook", "read"}).out,
              "Reception,100\r\nBob,202\r\n");
}

TEST_F(StationView, TheWindowLeavesItsPortToTheStationAndClosingItStopsTheStationFirst) {
    THandsetProcess handset({"--serial", "0000100001"});
    ASSERT_TRUE(handset.Started());
    TSaveQuestionForm saveQuestion;
    TProgressForm progress;
    auto form = ShownWindow(handset, saveQuestion, progress);
    form->findChild<QAction*>("miStation")->trigger();
    auto* view = form->findChild<TStationView*>("StationView");
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(view->isVisible());
    Choose(*view, Folder());
    const auto start = [&] {
        TModalAnswerer answerer;
        Control<QPushButton>(*view, "btnStart")->click();
        ASSERT_EQ(answerer.Texts.size(), 1u);
        EXPECT_TRUE(answerer.Texts[0].startsWith("Every handset docked while the station runs"));
    };
    start();
    ASSERT_TRUE(view->Running());
    // The handset in the window's own docking station is provisioned, not left alone as busy.
    ASSERT_TRUE(WaitFor([&] { return RowState(*view, handset.ComNumber(), "Done"); }, ProvisionDeadline))
        << Status(*view).toStdString();
    EXPECT_FALSE(form->Core().Engine().IsPortOpen());
    view->Stop();
    ASSERT_TRUE(WaitFor([&] { return !view->Running(); }, ProvisionDeadline));
    EXPECT_TRUE(WaitFor([&] { return form->Core().Engine().IsPortOpen(); })) << "taken back";

    // The main window stays until the station has ended, then closes by itself.
    start();
    ASSERT_TRUE(WaitFor([&] { return Status(*view).startsWith("Watching the docking stations"); }))
        << Status(*view).toStdString();
    EXPECT_FALSE(form->close());
    EXPECT_TRUE(WaitFor([&] { return !view->Running(); }, ProvisionDeadline));
    EXPECT_TRUE(WaitFor([&] { return form->KillTimer.Enabled(); }));
    form->KillTimer.Disable();
    // The summary of the handsets it dealt with, by outcome.
    EXPECT_TRUE(Status(*view).contains(QRegularExpression("^\\d+ handsets?(: \\d+ [a-z ]+)?")))
        << Status(*view).toStdString();
}
