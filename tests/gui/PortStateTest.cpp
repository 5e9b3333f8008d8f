// The status bar's port panel with the virtual handset: what it says while the docking station is
// there, goes away and comes back, and the window using the station again without being restarted.
#include "support/HandsetProcess.h"
#include "support/ModalAnswerer.h"
#include "support/ProgramFolderOverride.h"
#include "support/ShownWindow.h"
#include "support/WaitFor.h"

#include "windows/MainUnit.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>

namespace {

using namespace std::chrono_literals;

// The panel looks once a second; a couple of seconds is what a person would wait for it.
constexpr auto PanelNotices = 3s;

struct PortState : testing::Test {
    PortState() {
        qputenv("QUORVEL_CONFIG_DIR", config.path().toLocal8Bit());
        QFile settings(programFolder.File("settings.cfg"));
        EXPECT_TRUE(settings.open(QIODevice::WriteOnly));
        settings.write("PHONE_BOOK=ON\r\n");
    }

    static QLabel* Panel(TMainForm& form) { return form.findChild<QLabel*>("StatusPanel2"); }
    static QString Shown(TMainForm& form) { return Panel(form)->text(); }
    // Whether the panel comes to say words within the time a person would give it.
    static bool Says(TMainForm& form, const char* words) {
        return WaitFor([&] { return Shown(form) == words; }, PanelNotices);
    }
    // Reads the phone book from the handset; the texts of the boxes the read showed.
    static std::vector<QString> Read(TMainForm& form) {
        TModalAnswerer answerer;
        form.findChild<QPushButton*>("bbtnLoadFromPp")->click();
        return answerer.Texts;
    }

    QTemporaryDir config;
    TProgramFolderOverride programFolder;
    TSaveQuestionForm saveQuestion;
    TProgressForm progress;
};

} // namespace

TEST_F(PortState, ADockingStationThatWentAwayIsUsedAgainWhenItComesBack) {
    THandsetProcess first({"--phonebook-entries", "1"});
    ASSERT_TRUE(first.Started());
    auto form = ShownWindow(first, saveQuestion, progress);
    EXPECT_EQ(Shown(*form), "Not asked yet");

    EXPECT_TRUE(Read(*form).empty());
    EXPECT_EQ(Shown(*form), "Handset 00291 0284280");
    EXPECT_TRUE(Panel(*form)->toolTip().startsWith(
        QString("COM%1 (%2): handset 00291 0284280").arg(first.ComNumber()).arg(first.Device().c_str())))
        << Panel(*form)->toolTip().toStdString();

    // Pulled between two operations: the window notices by itself.
    first.Kill();
    EXPECT_TRUE(Says(*form, "Docking station went away")) << Shown(*form).toStdString();

    // Another station under the same name, with another handset in it.
    THandsetProcess second(
        {"--com", QString::number(first.ComNumber()), "--phonebook-entries", "3", "--serial", "0012345699"},
        first);
    ASSERT_TRUE(second.Started());
    ASSERT_EQ(second.ComNumber(), first.ComNumber());
    EXPECT_TRUE(Says(*form, "Docking station back")) << Shown(*form).toStdString();

    const std::vector<QString> boxes = Read(*form);
    EXPECT_TRUE(boxes.empty()) << boxes.front().toStdString();
    EXPECT_EQ(form->Core().Phonebook.GetName(2), "Name 003");
    EXPECT_EQ(Shown(*form), "Handset " + QString::fromStdString(form->Core().Handset.SerialText()));
    EXPECT_NE(Shown(*form), "Handset 00291 0284280");
}

// Before any operation has asked, the panel does not claim that no handset is there; after one that
// found none, it does.
TEST_F(PortState, NoHandsetFoundOnlyOnceOneWasLookedFor) {
    THandsetProcess handset({"--silent"});
    ASSERT_TRUE(handset.Started());
    auto form = ShownWindow(handset, saveQuestion, progress);
    EXPECT_EQ(Shown(*form), "Not asked yet");
    EXPECT_TRUE(Panel(*form)->toolTip().contains("no operation has looked for a handset"))
        << Panel(*form)->toolTip().toStdString();

    EXPECT_FALSE(Read(*form).empty()) << "the read says that no handset answered";
    EXPECT_TRUE(Says(*form, "No handset found")) << Shown(*form).toStdString();
}

TEST_F(PortState, ALineLostDuringAnOperationIsShownAfterIt) {
    // The connection takes 6 frames; the handset hangs up in the middle of the list.
    THandsetProcess handset({"--phonebook-entries", "5", "--hangup-after", "8"});
    ASSERT_TRUE(handset.Started());
    auto form = ShownWindow(handset, saveQuestion, progress);

    EXPECT_FALSE(Read(*form).empty());
    EXPECT_FALSE(form->Busy());
    EXPECT_TRUE(Says(*form, "Docking station went away")) << Shown(*form).toStdString();
}

TEST_F(PortState, AClosedPortIsShownByWhetherItsDeviceIsThere) {
    THandsetProcess handset;
    ASSERT_TRUE(handset.Started());
    auto form = ShownWindow(handset, saveQuestion, progress);

    // Closed as the window closes it for the station: the device is still there.
    form->Core().Engine().ClosePort();
    EXPECT_TRUE(Says(*form, "Not connected")) << Shown(*form).toStdString();

    // Ended in good order, the virtual handset leaves the device map: nothing is known by the name now.
    EXPECT_EQ(handset.Stop(), 0);
    EXPECT_TRUE(Says(*form, "No docking station")) << Shown(*form).toStdString();
    EXPECT_TRUE(Panel(*form)->toolTip().contains(QString("COM%1").arg(handset.ComNumber())))
        << Panel(*form)->toolTip().toStdString();
    EXPECT_FALSE(form->Core().Engine().IsPortOpen()) << "looking must not open the port";
}
