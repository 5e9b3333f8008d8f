// The main window offscreen: feature switches, start switches, the busy state, fonts, the connection.
#include "support/HandsetProcess.h"
#include "support/ModalAnswerer.h"
#include "support/ProgramFolderOverride.h"
#include "support/ShownWindow.h"
#include "support/WaitFor.h"

#include "link/ConnectionSettings.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "windows/MainUnit.h"
#include "windows/PhoneBookGrid.h"
#include "windows/PhoneBookTab.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QWidget>

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

struct MainWindow : testing::Test {
    MainWindow() { qputenv("QUORVEL_CONFIG_DIR", config.path().toLocal8Bit()); }

    void WriteSettings(const char* text) {
        QFile file(programFolder.File("settings.cfg"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }

    QAction* Entry(TMainForm& form, const char* name) { return form.findChild<QAction*>(name); }
    QTabWidget* Pages(TMainForm& form) { return form.findChild<QTabWidget*>("PageControl"); }
    bool TabVisible(TMainForm& form, const char* sheet) {
        QTabWidget* pages = Pages(form);
        return pages->isTabVisible(pages->indexOf(form.findChild<QWidget*>(sheet)));
    }

    QTemporaryDir config;
    TProgramFolderOverride programFolder;
};

TEST_F(MainWindow, WithoutSettingsFileEveryFeatureIsHidden) {
    TMainForm form({"quorvel"});
    for (const char* sheet : {"tsPhoneBook", "tsSim", "tsProfile", "tsSpeedDial", "tsBroadcastGroups"})
        EXPECT_FALSE(TabVisible(form, sheet)) << sheet;
    for (const char* entry : {"miOpenPhoneBook", "miSavePhoneBookAs", "N3", "miOpenProfile",
                              "miSaveProfileAs", "N6", "miOpenSpeedDialList", "miSaveSpeedDialListAs", "N7",
                              "miOpenBroadcastGroups", "miSaveBroadcastGroupsAs", "N1"})
        EXPECT_FALSE(Entry(form, entry)->isVisible()) << entry;
    EXPECT_TRUE(Entry(form, "miExit")->isVisible());
}

TEST_F(MainWindow, FeatureValuesAreTrimmedAndUpperCased) {
    WriteSettings("PHONE_BOOK= on \r\nprofile=On\nSPEED_DIAL=1\nBROADCAST_GROUPS=YES\n  VIRTUAL_SIM=ON\n");
    TMainForm form({"quorvel"});
    EXPECT_TRUE(TabVisible(form, "tsPhoneBook"));
    EXPECT_TRUE(TabVisible(form, "tsProfile"));
    EXPECT_FALSE(TabVisible(form, "tsSpeedDial"));
    EXPECT_FALSE(TabVisible(form, "tsBroadcastGroups"));
    EXPECT_FALSE(TabVisible(form, "tsSim")) << "a line must begin with its key";
    EXPECT_TRUE(Entry(form, "miOpenProfile")->isVisible());
    EXPECT_FALSE(Entry(form, "miOpenSpeedDialList")->isVisible());
    EXPECT_FALSE(Entry(form, "N7")->isVisible());
}

TEST_F(MainWindow, StartSwitches) {
    {
        TMainForm form({"quorvel"});
        EXPECT_FALSE(Entry(form, "miMailMonitor")->isVisible());
        EXPECT_FALSE(Entry(form, "miOutlookContacts")->isVisible());
        EXPECT_FALSE(Entry(form, "N5")->isVisible());
    }
    TModalAnswerer answerer;
    TMainForm form({"quorvel", "/DEBUG", "-Outlook", "-?"});
    EXPECT_TRUE(Entry(form, "miMailMonitor")->isVisible());
    EXPECT_TRUE(Entry(form, "miOutlookContacts")->isVisible());
    ASSERT_EQ(answerer.Texts.size(), 1u);
    EXPECT_EQ(answerer.Texts[0],
              "Params for Extended Functionality:\n\n-English -> Forces language to English.\n");
}

TEST_F(MainWindow, BusyRefusesTabChangesAndMenus) {
    WriteSettings("PHONE_BOOK=ON\nPROFILE=ON\n");
    TMainForm form({"quorvel"});
    QTabWidget* pages = Pages(form);
    QWidget* phoneBook = form.findChild<QWidget*>("tsPhoneBook");
    QWidget* profile = form.findChild<QWidget*>("tsProfile");
    pages->setCurrentWidget(phoneBook);

    form.SetBusy(true);
    pages->setCurrentWidget(profile);
    EXPECT_EQ(pages->currentWidget(), phoneBook);
    EXPECT_FALSE(form.findChild<QToolButton*>("tbtnFile")->isEnabled());
    EXPECT_FALSE(form.findChild<QToolButton*>("tbtnOptions")->isEnabled());
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);

    form.SetBusy(false);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    pages->setCurrentWidget(profile);
    EXPECT_EQ(pages->currentWidget(), profile);
    EXPECT_TRUE(form.findChild<QToolButton*>("tbtnHelp")->isEnabled());
    // The file entries follow the tab.
    EXPECT_TRUE(Entry(form, "miOpenProfile")->isEnabled());
    EXPECT_FALSE(Entry(form, "miOpenPhoneBook")->isEnabled());
}

// Every tab's operation controls: an operation of one tab must not be started again, nor another one
// beside it, from any tab.
TEST_F(MainWindow, BusyDisablesTheOperationControlsOfEveryTab) {
    TMainForm form({"quorvel"});
    const std::pair<const char*, std::vector<const char*>> tabs[] = {
        {"tsPhoneBook", {"sgPhoneBook", "bbtnLoadFromPp", "bbtnSaveToPp", "bbtnDeleteInPp", "bbtnCleanGrid"}},
        {"tsSim", {"bbtnBackupSim", "bbtnRestoreSim"}},
        {"tsProfile",
         {"gbProfile1", "bbtnTestRinger", "bbtnReadDefaultsFromPp", "bbtnWriteDefaultsToPp",
          "bbtnEnableAllSettings"}},
        {"tsSpeedDial",
         {"sgSpeedDial", "bbtnReadSpeedDial", "bbtnWriteSpeedDial", "bbtnDeleteSpeedDial",
          "bbtnCleanGridSpeedDial"}},
        {"tsBroadcastGroups",
         {"sgBroadcastGroups", "bbtnReadBroadcastGroups", "bbtnWriteBroadcastGroups",
          "bbtnDeleteBroadcastGroups", "bbtnCleanGridBroadcastGroups"}}};
    form.SetBusy(true);
    for (const auto& [sheet, controls] : tabs) {
        const auto* tab = form.findChild<QWidget*>(sheet);
        for (const char* name : controls) {
            const auto* control = tab->findChild<QWidget*>(name);
            ASSERT_NE(control, nullptr) << sheet << " " << name;
            EXPECT_FALSE(control->isEnabled()) << name;
        }
    }
    form.SetBusy(false);
    for (const auto& [sheet, controls] : tabs)
        for (const char* name : controls)
            EXPECT_TRUE(form.findChild<QWidget*>(name)->isEnabled()) << name;
    // A control enabled by a state of its own keeps it: no SIM record with a move to release is selected.
    EXPECT_FALSE(form.findChild<QWidget*>("btnReleaseMove")->isEnabled());
}

TEST_F(MainWindow, FontSizesStepThroughTheTableAndAreStored) {
    EXPECT_EQ(TPhoneBookGrid::FontSizeAfter(8, false), 8);
    EXPECT_EQ(TPhoneBookGrid::FontSizeAfter(11, true), 10);
    EXPECT_EQ(TPhoneBookGrid::FontSizeAfter(18, true), 24);
    EXPECT_EQ(TPhoneBookGrid::FontSizeAfter(24, true), 24);
    EXPECT_EQ(TPhoneBookGrid::FontSizeAfter(14, false), 12);
    EXPECT_EQ(TPhoneBookGrid::GridRowHeight(8), 20);
    EXPECT_EQ(TPhoneBookGrid::GridRowHeight(10), 22);

    TMainForm form({"quorvel"});
    Entry(form, "miFontIncrease")->trigger();
    Entry(form, "miFontIncrease")->trigger();
    EXPECT_EQ(form.PhoneBook().GridFontSize(), 12);
    EXPECT_EQ(TIniFile(ProgramIniPath()).ReadInteger("Font", "Size", 0), 12);
}

TEST_F(MainWindow, ShowOpensTheStoredPortAndTestConnectionConnects) {
    WriteSettings("PHONE_BOOK=ON\nPROFILE=ON\n");
    THandsetProcess handset;
    ASSERT_TRUE(handset.Started());
    ConnectionSettings::WriteDeviceNo(handset.ComNumber());

    TMainForm form({"quorvel"});
    form.Core().SelectedPort = handset.ComNumber();
    form.show();
    ASSERT_TRUE(WaitFor([&] { return form.Core().Engine().IsPortOpen(); }));
    EXPECT_EQ(form.findChild<QLabel*>("StatusPanel0")->text(), QString("COM%1").arg(handset.ComNumber()));
    EXPECT_EQ(Pages(form)->currentWidget(), form.findChild<QWidget*>("tsPhoneBook"));

    TModalAnswerer answerer;
    Entry(form, "miTestConnection")->trigger();
    ASSERT_EQ(answerer.Texts.size(), 1u);
    EXPECT_EQ(answerer.Texts[0], "Connected to handset!");
    EXPECT_EQ(form.Core().HandsetLevel, 7);
    // The status bar names the handset beside the port.
    EXPECT_EQ(form.findChild<QLabel*>("StatusPanel2")->text(), "Handset 00291 0284280");
    EXPECT_FALSE(form.Busy());

    form.close();
    EXPECT_TRUE(form.KillTimer.Enabled());
    form.KillTimer.Disable();
    EXPECT_TRUE(TIniFile(WindowIniPath()).SectionExists("MainForm"));
}

// With the phone book switched off, the tab the window opens on is another: its entries are the ones
// enabled.
TEST_F(MainWindow, ShowEnablesTheEntriesOfTheTabItOpensOn) {
    WriteSettings("SPEED_DIAL=ON\nBROADCAST_GROUPS=ON\n");
    THandsetProcess handset;
    ASSERT_TRUE(handset.Started());
    TSaveQuestionForm saveQuestion;
    TProgressForm progress;
    auto form = ShownWindow(handset, saveQuestion, progress);
    EXPECT_EQ(Pages(*form)->currentWidget(), form->findChild<QWidget*>("tsBroadcastGroups"));
    EXPECT_TRUE(Entry(*form, "miOpenBroadcastGroups")->isEnabled());
    EXPECT_TRUE(Entry(*form, "miSaveBroadcastGroupsAs")->isEnabled());
    EXPECT_FALSE(Entry(*form, "miOpenSpeedDialList")->isEnabled());
}

} // namespace
