// The profile tab in the main window offscreen: its lists, the profile files, the level rules and the
// operations against the virtual handset.
#include "support/FileChoosingForm.h"
#include "support/HandsetProcess.h"
#include "support/ModalAnswerer.h"
#include "support/ProgramFolderOverride.h"
#include "support/ShownWindow.h"
#include "support/WaitFor.h"

#include "link/ConnectionSettings.h"
#include "profile/ProfileLists.h"
#include "windows/MainUnit.h"
#include "windows/ProfileTab.h"

#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using S = TProfileSetting;

const QByteArray StartFile =
    "[profile settings]\r\nringer tone=1\r\nringer volume=3\r\nkey click volume=2\r\n"
    "vibrator=0\r\nb answer=0\r\nstart volume=2\r\nout of range=1\r\nauto key lock=0\r\n"
    "language=0\r\nback light=1\r\n[advanced profile settings]\r\nauto hook=0\r\n"
    "any key answer=0\r\nlong key=0\r\nlong key time=5\r\na key delay=5\r\n"
    "ls on b-answer=0\r\nstandby text=1\r\nheadset alert=0\r\nheadset volume=3\r\n"
    "off hook msf=0\r\n";

struct ProfileTab : TWindowFixture {
    ProfileTab()
        : TWindowFixture("PROFILE=ON\r\n") {
        form = std::make_unique<TFileChoosingForm>(QStringList{"quorvel"});
    }

    // The window on the handset's port.
    void ConnectTo(const THandsetProcess& handset) {
        ConnectionSettings::WriteDeviceNo(handset.ComNumber());
        form->Core().SelectedPort = handset.ComNumber();
        form->show();
        ASSERT_TRUE(WaitFor([&] { return form->Core().Engine().IsPortOpen(); }));
    }
    QComboBox* List(S setting) const { return form->Profile().ProfileList(setting); }
    QString Shown(S setting) const { return List(setting)->currentText(); }
    bool Enabled(S setting) const { return !List(setting)->testAttribute(Qt::WA_ForceDisabled); }
    QWidget* Control(const char* name) const { return form->findChild<QWidget*>(name); }
    void Click(const char* button) const { TWindowFixture::Click(*form, button); }
    QString Status() const { return TWindowFixture::Status(*form); }
    QString Write(const char* name, const QByteArray& text) { return WriteFile(name, text); }
    QByteArray Read(const QString& path) {
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    }
    void Open(const QString& path) {
        form->Chosen = path;
        form->Profile().miOpenProfileClick();
    }
    void SaveTo(const QString& path) {
        form->Chosen = path;
        form->Profile().miSaveProfileAsClick();
    }

    std::unique_ptr<TFileChoosingForm> form;
};

const QStringList LevelFour{"--software", "62018400", "--pcs", "05Z", "--model", "0x55"};

} // namespace

TEST_F(ProfileTab, ListsStartAsDesignedAndSaveAsTheKnownFile) {
    for (const TProfileList& list : ProfileLists()) {
        QComboBox* combo = List(list.Setting);
        ASSERT_NE(combo, nullptr) << list.Name;
        EXPECT_EQ(combo->objectName(), list.Name);
        EXPECT_EQ(combo->parentWidget(), Control(list.Advanced ? "gbAdvancedSettings" : "gbProfile1"));
        EXPECT_EQ(combo->count(), int(list.Items.size()));
        EXPECT_TRUE(Enabled(list.Setting));
    }
    EXPECT_EQ(Shown(S::RingerVolume), "3");
    EXPECT_EQ(Shown(S::LongKey), "Send MSF");
    EXPECT_EQ(Shown(S::HeadsetVolume), "4");
    EXPECT_EQ(List(S::OffHookMsf)->itemText(2), "Key Beep");
    EXPECT_EQ(List(S::Language)->itemText(15), "15");
    EXPECT_EQ(static_cast<QGroupBox*>(Control("gbProfile1"))->title(), " Settings  ");
    EXPECT_EQ(static_cast<QLabel*>(Control("lblInfoAdvancedSettings"))->text(),
              "Info: \"Advanced Settings\" need a Q7XX handset with software 62018400 or 62018700 of PCS 06A "
              "or newer (level 6 or 7).");
    EXPECT_FALSE(Control("btnTestButton")->isVisibleTo(form.get()));

    const QString path = dir.filePath("start.pro");
    SaveTo(path);
    EXPECT_EQ(Read(path), StartFile);

    // Opened again, every list is enabled and shows what it showed.
    List(S::RingerTone)->setCurrentIndex(8);
    List(S::LongKey)->setCurrentIndex(0);
    Open(path);
    EXPECT_EQ(Shown(S::RingerTone), "1");
    EXPECT_EQ(Shown(S::LongKey), "Send MSF");
    for (const TProfileList& list : ProfileLists())
        EXPECT_TRUE(Enabled(list.Setting)) << list.Name;
}

TEST_F(ProfileTab, AFileEnablesTheListsItHoldsAndSavingDeletesTheOthers) {
    TModalAnswerer answerer;
    Open(Write("part.pro", "[profile settings]\r\nringer tone=4\r\nvibrator=2\r\nlanguage=abc\r\n"));
    EXPECT_EQ(Shown(S::RingerTone), "4");
    // 2 and "abc" are no values of their lists: refused, and named.
    for (const TProfileList& list : ProfileLists())
        EXPECT_EQ(Enabled(list.Setting), list.Setting == S::RingerTone) << list.Name;
    ASSERT_EQ(answerer.Texts.size(), 1u);
    EXPECT_TRUE(answerer.Texts[0].contains("line 3: vibrator=2 is no value of its list"))
        << answerer.Texts[0].toStdString();
    EXPECT_TRUE(answerer.Texts[0].contains("line 4: language=abc is no value of its list"));

    const QString kept = Write("kept.pro", QByteArray("[mine]\r\nnote=x\r\n") + StartFile);
    SaveTo(kept);
    EXPECT_EQ(Read(kept), "[mine]\r\nnote=x\r\n[profile settings]\r\nringer tone=4\r\n"
                          "[advanced profile settings]\r\n");

    // Binary junk holds no section: it is said so, and the lists stay. A setting given twice is refused,
    // both lines named: which value is meant is not known.
    QByteArray junk(70000, '\0');
    for (int i = 0; i < junk.size(); ++i)
        junk[i] = char((i * 37) & 0xFF);
    Open(Write("junk.pro", junk));
    ASSERT_EQ(answerer.Texts.size(), 2u);
    EXPECT_TRUE(answerer.Texts[1].contains("holds no profile settings")) << answerer.Texts[1].toStdString();
    for (const TProfileList& list : ProfileLists())
        EXPECT_EQ(Enabled(list.Setting), list.Setting == S::RingerTone) << list.Name;
    Open(Write("twice.pro", "[profile settings]\r\nlanguage=3\r\n[profile settings]\r\nlanguage=7\r\n"));
    ASSERT_EQ(answerer.Texts.size(), 3u);
    EXPECT_TRUE(answerer.Texts[2].contains("\"language\" in lines 2 and 4"))
        << answerer.Texts[2].toStdString();
    EXPECT_FALSE(Enabled(S::Language));
    EXPECT_EQ(Shown(S::RingerTone), "4");
    Open(Write("once.pro", "[profile settings]\r\nlanguage=3\r\n[profile settings]\r\nringer tone=5\r\n"));
    EXPECT_EQ(Shown(S::Language), "3");

    // A file that cannot be read is said so and changes nothing.
    Open(dir.filePath("absent.pro"));
    ASSERT_EQ(answerer.Texts.size(), 4u);
    EXPECT_TRUE(Enabled(S::Language));
}

TEST_F(ProfileTab, TheHandsetLevelEnablesTheVibratorAndTheAdvancedLists) {
    struct TCase {
        QStringList handset;
        uint8_t level;
    };
    const TCase cases[] = {
        {{"--software", "12345678"}, 0},
        {{"--software", "62017100", "--pcs", "6A"}, 3},
        {LevelFour, 4},
        {{"--software", "62018700", "--pcs", "059"}, 5},
        {{"--model", "0x55"}, 6},
        {{}, 7},
    };
    bool first = true;
    for (const TCase& c : cases) {
        THandsetProcess handset(c.handset);
        ASSERT_TRUE(handset.Started());
        if (first)
            ConnectTo(handset);
        else
            ASSERT_TRUE(form->Core().Engine().OpenPort(uint8_t(handset.ComNumber()), 115200));
        first = false;
        // A profile file without a setting disables every list; the level enables its own again.
        Open(Write("none.pro", "[profile settings]\r\n"));
        ASSERT_EQ(form->Core().ConnectHandset(), TConnectResult::Connected);
        ASSERT_EQ(form->Core().HandsetLevel, c.level);
        const bool advanced = c.level == 6 || c.level == 7;
        EXPECT_EQ(Control("gbAdvancedSettings")->isEnabledTo(form.get()), advanced) << int(c.level);
        EXPECT_EQ(Enabled(S::Vibrator), c.level == 3 || c.level == 5 || c.level == 7) << int(c.level);
        EXPECT_EQ(Enabled(S::AutoHook), advanced);
        EXPECT_EQ(Enabled(S::OffHookMsf), advanced);
        EXPECT_EQ(Enabled(S::HeadsetAlert), c.level == 7);
        EXPECT_FALSE(Enabled(S::RingerTone)) << "the level leaves the other lists alone";

        Click("bbtnEnableAllSettings");
        EXPECT_TRUE(Control("gbAdvancedSettings")->isEnabledTo(form.get()));
        EXPECT_TRUE(Enabled(S::Vibrator));
        EXPECT_TRUE(Enabled(S::LsOnBAnswer));
        EXPECT_FALSE(Enabled(S::Language));
    }
}

TEST_F(ProfileTab, ReadShowsTheHandsetAndWriteChangesOnlyTheEnabledSettings) {
    const QString state = dir.filePath("handset.txt");
    THandsetProcess handset({"--state", state});
    ASSERT_TRUE(handset.Started());
    ConnectTo(handset);

    TModalAnswerer answerer;
    Click("bbtnReadDefaultsFromPp");
    EXPECT_TRUE(answerer.Texts.empty());
    EXPECT_EQ(Status(), "Profile read from handset");
    EXPECT_EQ(Shown(S::AKeyDelay), "2");
    EXPECT_EQ(Shown(S::HeadsetAlert), "3");
    EXPECT_EQ(Shown(S::AutoHook), "On");
    EXPECT_EQ(Shown(S::LongKey), "Speed Dial");
    // The profile's short answers are not left behind for what follows: the groups' framed ones work.
    Click("bbtnReadBroadcastGroups");
    EXPECT_EQ(Status(), "Finished reading from handset!");

    List(S::RingerTone)->setCurrentIndex(8);
    List(S::HeadsetVolume)->setCurrentIndex(4);
    List(S::BackLight)->setCurrentIndex(0);
    List(S::Language)->setEnabled(false);
    List(S::Language)->setCurrentIndex(9);
    Click("bbtnWriteDefaultsToPp");
    ASSERT_EQ(answerer.Texts.size(), 1u);
    EXPECT_EQ(answerer.Texts[0], "Replace the profile in the connected handset?");
    EXPECT_EQ(Status(), "Profile written to handset");
    EXPECT_EQ(StateMemoryByte(state, 27, 0x93), 0x93); // tone 9
    EXPECT_EQ(StateMemoryByte(state, 31, 0x23), 0x23); // headset volume 4 (its item "5")
    EXPECT_EQ(StateMemoryByte(state, 26, 0x1A), 0x1A); // back light off sets its bit
    EXPECT_EQ(StateMemoryByte(state, 21, 0xA0), 0xA0); // a disabled list writes nothing

    // Declined, nothing happens at all.
    TModalAnswerer cancel(QMessageBox::Cancel);
    List(S::RingerTone)->setCurrentIndex(0);
    Click("bbtnWriteDefaultsToPp");
    EXPECT_EQ(StateMemoryByte(state, 27, 0x93), 0x93);
}

TEST_F(ProfileTab, ALevelFourHandsetNeitherReadsNorWritesTheAdvancedLists) {
    const QString state = dir.filePath("handset.txt");
    THandsetProcess handset(LevelFour + QStringList{"--state", state});
    ASSERT_TRUE(handset.Started());
    ConnectTo(handset);
    Open(Write("part.pro", "[profile settings]\r\nringer tone=4\r\n"));
    List(S::AutoHook)->setEnabled(true);
    List(S::AutoHook)->setCurrentIndex(1);

    TModalAnswerer answerer;
    Click("bbtnWriteDefaultsToPp");
    EXPECT_EQ(Status(), "Profile written to handset");
    EXPECT_EQ(StateMemoryByte(state, 27, 0x43), 0x43);
    EXPECT_EQ(StateMemoryByte(state, 24, 0x15), 0x15);
    EXPECT_EQ(StateMemoryByte(state, 26, 0x12), 0x12);
    EXPECT_FALSE(Enabled(S::AutoHook));

    Click("bbtnReadDefaultsFromPp");
    EXPECT_EQ(Shown(S::AutoHook), "On") << "shown before, not read";
    EXPECT_EQ(Shown(S::RingerTone), "4");
}

TEST_F(ProfileTab, TheHandsetWrittenToDecidesOnTheListsThatFollowItsLevel) {
    // A file without the vibrator switches its list off; the level-7 handset found by the write has one,
    // so the connection switches it on again and its value is written. A list the file switched off that
    // does not follow the level stays off and writes nothing.
    const QString state = dir.filePath("handset.txt");
    THandsetProcess handset({"--state", state});
    ASSERT_TRUE(handset.Started());
    ConnectTo(handset);
    Open(Write("part.pro", "[profile settings]\r\nringer tone=4\r\n"));
    ASSERT_FALSE(Enabled(S::Vibrator));
    List(S::Vibrator)->setCurrentIndex(1);
    List(S::RingerVolume)->setCurrentIndex(0);

    TModalAnswerer answerer;
    Click("bbtnWriteDefaultsToPp");
    EXPECT_EQ(Status(), "Profile written to handset");
    EXPECT_EQ(StateMemoryByte(state, 27, 0x43), 0x43); // tone 4, the volume kept
    EXPECT_EQ(StateMemoryByte(state, 26, 0x52), 0x52); // the vibrator on
    EXPECT_TRUE(Enabled(S::Vibrator));
    EXPECT_FALSE(Enabled(S::RingerVolume));
}

TEST_F(ProfileTab, OpenProfileNamesTheValuesItCannotUse) {
    TModalAnswerer answerer;
    const QString path = Write("odd.pro", "[profile settings]\r\nringer tone=99\r\nringer volume=2\r\n");
    Open(path);
    EXPECT_TRUE(Enabled(S::RingerVolume));
    EXPECT_FALSE(Enabled(S::RingerTone)) << "a refused value is not in the file for the lists";
    EXPECT_EQ(Shown(S::RingerVolume), "2");
    ASSERT_EQ(answerer.Texts.size(), 1u);
    EXPECT_EQ(answerer.Texts[0],
              "These settings of " + path +
                  " cannot be used:\nline 2: ringer tone=99 is no value of its list, not taken");

    // A file whose sections cannot be found says so and leaves the lists as they are.
    Open(Write("junk.pro", "ringer tone=3\r\n"));
    ASSERT_EQ(answerer.Texts.size(), 2u);
    EXPECT_TRUE(answerer.Texts[1].endsWith("holds no profile settings: no section [profile settings] or "
                                           "[advanced profile settings]."))
        << answerer.Texts[1].toStdString();
    EXPECT_TRUE(Enabled(S::RingerVolume));
}

TEST_F(ProfileTab, AValueWithoutAnItemShowsNothingAndIsKept) {
    // Ringer tone 0 and volume 6: neither list has an item for it.
    const QString state =
        Write("handset.txt",
              "quorvel-handset state 1\nmem 0000=000000000000000000000000000000000000000000A0000015001206"
              "02AA8513\n");
    THandsetProcess handset({"--state", state});
    ASSERT_TRUE(handset.Started());
    ConnectTo(handset);
    TModalAnswerer answerer;
    Click("bbtnReadDefaultsFromPp");
    EXPECT_EQ(List(S::RingerTone)->currentIndex(), -1);
    EXPECT_EQ(List(S::RingerVolume)->currentIndex(), -1);
    List(S::KeyClickVolume)->setCurrentIndex(5);
    Click("bbtnWriteDefaultsToPp");
    EXPECT_EQ(StateMemoryByte(state, 28, 0x05), 0x05);
    EXPECT_EQ(StateMemoryByte(state, 27, 0x06), 0x06);
}

TEST_F(ProfileTab, FailuresAreReportedAndTheRingerSoundsTheChosenTone) {
    {
        THandsetProcess silent({"--silent"});
        ASSERT_TRUE(silent.Started());
        ConnectTo(silent);
        TModalAnswerer answerer;
        Click("bbtnReadDefaultsFromPp");
        ASSERT_EQ(answerer.Texts.size(), 1u);
        EXPECT_TRUE(answerer.Texts[0].endsWith("Could not read profile from handset!"))
            << answerer.Texts[0].toStdString();
        EXPECT_FALSE(form->Busy());
    }
    const QString state = dir.filePath("handset.txt");
    THandsetProcess handset({"--state", state});
    ASSERT_TRUE(handset.Started());
    ASSERT_TRUE(form->Core().Engine().OpenPort(uint8_t(handset.ComNumber()), 115200));
    List(S::RingerTone)->setCurrentIndex(8);
    Click("bbtnTestRinger");
    EXPECT_EQ(Status(), "");
    QByteArray text;
    WaitFor([&] {
        text = Read(state);
        return text.contains("ringer 9 1");
    });
    EXPECT_TRUE(text.contains("ringer 9 1\n")) << text.toStdString();
}
