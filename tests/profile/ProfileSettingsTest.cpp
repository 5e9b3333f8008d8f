// The profile model: its bit fields, and its reads and writes over an in-process link against the
// virtual handset's memory.

#include "profile/ProfileSettings.h"
#include "link/NumberConverting.h"
#include "platform/IniFile.h"
#include "platform/TextFile.h"
#include "support/FakeLink.h"

#include <gtest/gtest.h>

#include <ostream>

#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <map>

// A result as a failing test shows it.
inline std::ostream& operator<<(std::ostream& out, TProfileResult result) {
    return out << ProfileResultText(result);
}

namespace {

using S = TProfileSetting;
using TBytesAt = std::map<uint16_t, uint8_t>;

std::string Address(uint16_t address) {
    return ByteToHex(uint8_t(address & 0xFF)) + " " + ByteToHex(uint8_t(address >> 8));
}
std::string ReadOf(uint16_t address) {
    return "02 3C 08 00 08 " + Address(address);
}
std::string WriteOf(uint16_t address, uint8_t value) {
    return "02 3B 08 00 01 " + Address(address) + " " + ByteToHex(value);
}
const std::string Probe = "02 3C 08 00 01 00 00";

struct TProfileFixture : testing::Test {
    TFakeLink Link;
    TMailControl Engine{Link};
    TProfileSettings Profile{Engine};

    TProfileFixture() {
        Engine.SetFramedAnswer(false);
        Engine.AnswerTimeout = std::chrono::milliseconds(150);
        Engine.GapTimeout = std::chrono::milliseconds(50);
        Engine.ReadTries = 3;
        Engine.ReadPause = std::chrono::milliseconds(5);
        Engine.WriteRetries = 2;
        Engine.WritePause = std::chrono::milliseconds(5);
        Engine.ReadbackDelay = std::chrono::milliseconds(0);
        Engine.ShowDialogs = false;
    }

    void Memory(const TBytesAt& bytes) {
        THandsetState state = Link.Handset.State();
        for (const auto& [address, value] : bytes)
            state.memory[address] = value;
        Link.Handset = THandset(state);
    }
    uint8_t HandsetByte(uint16_t address) const { return Link.Handset.State().memory[address]; }
    std::vector<int32_t> ImageAt(std::initializer_list<uint16_t> addresses) const {
        std::vector<int32_t> entries;
        for (const uint16_t address : addresses)
            entries.push_back(Profile.Image[address]);
        return entries;
    }
    void ImageBytes(const TBytesAt& bytes) {
        for (const auto& [address, value] : bytes)
            Profile.Image[address] = value;
    }
    // The handset answers everything but these mails, which get their echo only.
    void Unanswered(std::vector<std::string> mails) {
        Link.Script = [this, mails](const TBytes& frame) {
            std::vector<TFakeLink::TReply> replies;
            if (std::find(mails.begin(), mails.end(), MailOf(frame)) != mails.end())
                return std::vector<TFakeLink::TReply>{{0, frame}};
            for (TOutput& out : Link.Handset.Receive(frame))
                replies.push_back({out.kind == TOutput::TKind::Echo ? 0 : 1, std::move(out.bytes)});
            return replies;
        };
    }
    static std::string MailOf(const TBytes& frame) {
        TBytes mail{frame[3]};
        mail.insert(mail.end(), frame.begin() + 5, frame.end() - 1);
        return HexText(mail);
    }
    // The mails sent, or only those that begin with prefix.
    std::vector<std::string> Mails(const std::string& prefix = "") const {
        std::vector<std::string> mails;
        for (const TBytes& frame : Link.Frames)
            if (MailOf(frame).starts_with(prefix))
                mails.push_back(MailOf(frame));
        return mails;
    }
};

using ProfileFields = TProfileFixture;
using ProfileRead = TProfileFixture;
using ProfileWrite = TProfileFixture;
using ProfileFile = TProfileFixture;

const TBytesAt AllZero{{21, 0}, {24, 0}, {26, 0}, {27, 0}, {28, 0}, {30, 0}, {31, 0}, {563, 0}};
const TBytesAt AllOnes{{21, 0xFF}, {24, 0xFF}, {26, 0xFF}, {27, 0xFF},
                       {28, 0xFF}, {30, 0xFF}, {31, 0xFF}, {563, 0xFF}};

} // namespace

TEST_F(ProfileFields, GettersTakeTheirBitsAndInvertBackLightAndAutoHook) {
    ImageBytes({{27, 0x35}, {26, 0x08}, {24, 0x80}, {31, 0x9C}, {563, 0x59}});
    EXPECT_EQ((std::vector<int>{Profile.GetRingerTone(), Profile.GetRingerVolume(), Profile.GetBackLight(),
                                Profile.GetAutoHook(), Profile.GetHeadsetAlert(), Profile.GetHeadsetVolume(),
                                Profile.GetOffHookMsf(), Profile.GetLongKeyTime(), Profile.GetAKeyDelay()}),
              (std::vector<int>{3, 5, 0, 0, 4, 3, 2, 9, 5}));
    EXPECT_EQ(Profile.Changed, 0u);
}

TEST_F(ProfileFields, SettersMaskTheirValueAndKeepEveryOtherBit) {
    ImageBytes(AllOnes);
    Profile.SetBackLight(1);
    Profile.SetAutoHook(7);
    EXPECT_EQ(ImageAt({26, 24}), (std::vector<int32_t>{0xF7, 0x7F}));
    EXPECT_EQ(Profile.GetAutoHook(), 1);

    ImageBytes({{30, 0}, {27, 0x08}, {563, 0}, {26, 0}});
    Profile.SetLongKey(1);
    Profile.SetRingerVolume(9);
    Profile.SetAKeyDelay(17);
    Profile.SetVibrator(2);
    EXPECT_EQ(ImageAt({30, 27, 563, 26}), (std::vector<int32_t>{0x01, 0x09, 0x10, 0x40}));
    EXPECT_EQ(Profile.Changed, (1u << 9) | (1u << 10) | (1u << 12) | (1u << 1) | (1u << 14) | (1u << 3));

    // Every field at all ones, then at all zeros: what stays is the handset's own bits.
    const auto setAll = [this](bool ones) {
        for (const TProfileField& f : TProfileSettings::Fields())
            Profile.Set(f.Setting, (ones != f.Inverted) ? -1 : 0);
    };
    ImageBytes(AllZero);
    setAll(true);
    const TBytesAt covered{{21, 0x0F}, {24, 0xC0}, {26, 0xFF}, {27, 0xF7},
                           {28, 0x07}, {30, 0x07}, {31, 0xFF}, {563, 0xFF}};
    for (const auto& [address, bits] : covered)
        EXPECT_EQ(Profile.Image[address], bits) << address;
    ImageBytes(AllOnes);
    setAll(false);
    for (const auto& [address, bits] : covered)
        EXPECT_EQ(Profile.Image[address], 0xFF & ~bits) << address;
    EXPECT_EQ(Profile.Changed, 0xFFFFFu);

    // A byte never read keeps the other bits of its marker, and becomes a byte.
    TProfileSettings fresh(Engine);
    fresh.SetLongKey(0);
    EXPECT_EQ(fresh.Image[30], 0xFE);
}

TEST_F(ProfileFields, AMarkerEntryGivesItsBitsToGetterAndSetterAlike) {
    // NotInProfile (-1) is all ones: every field at its highest value, the inverted ones off.
    for (const TProfileField& f : TProfileSettings::Fields())
        EXPECT_EQ(Profile.Get(f.Setting), f.Inverted ? 0 : int(f.ValueMask())) << f.Key;
    // ToRead (-2) lacks bit 0 only.
    Profile.Image[30] = TProfileSettings::ToRead;
    EXPECT_EQ((std::vector<int>{Profile.GetLongKey(), Profile.GetLsOnBAnswer(), Profile.GetStandbyText()}),
              (std::vector<int>{0, 1, 1}));

    // A setter changes what its getter gives and nothing a neighbour's getter gives.
    Profile.SetRingerVolume(2);
    Profile.SetStandbyText(0);
    EXPECT_EQ((std::vector<int>{Profile.GetRingerVolume(), Profile.GetRingerTone(), Profile.GetStandbyText(),
                                Profile.GetLongKey(), Profile.GetLsOnBAnswer()}),
              (std::vector<int>{2, 15, 0, 0, 1}));
    EXPECT_EQ(ImageAt({27, 30}), (std::vector<int32_t>{0xFA, 0xFA}));
}

TEST_F(ProfileRead, ThreeBlockReadsFillTheEightBytes) {
    Memory({{21, 0x12}, {24, 0x34}, {26, 0x56}, {27, 0x35}, {28, 0x78}, {30, 0x9A}, {31, 0xBC}, {563, 0xDE}});
    EXPECT_EQ(Profile.ReadFromHandset(), TProfileResult::Done);
    EXPECT_EQ(Mails(), (std::vector<std::string>{Probe, ReadOf(21), ReadOf(30), ReadOf(563)}));
    EXPECT_EQ(ImageAt({21, 28, 31, 563, 22}), (std::vector<int32_t>{0x12, 0x78, 0xBC, 0xDE, -1}));
    EXPECT_EQ(Profile.GetRingerTone(), 3);
    EXPECT_EQ(Profile.Changed, 0u);
}

TEST_F(ProfileRead, AFailedBlockEndsTheScanAndNoHandsetSendsNothingElse) {
    Unanswered({ReadOf(30)});
    EXPECT_EQ(Profile.ReadFromHandset(), TProfileResult::ReadFailed);
    EXPECT_EQ(Mails(), (std::vector<std::string>{Probe, ReadOf(21), ReadOf(30), ReadOf(30), ReadOf(30)}));

    Link.Frames.clear();
    Unanswered({Probe});
    EXPECT_EQ(Profile.ReadFromHandset(), TProfileResult::NoAnswer);
    EXPECT_EQ(Mails(), std::vector<std::string>(6, Probe));

    Link.Frames.clear();
    Link.Opened = false;
    EXPECT_EQ(Profile.ReadFromHandset(), TProfileResult::NoAnswer);
    EXPECT_TRUE(Link.Frames.empty());
}

TEST_F(ProfileWrite, OnlyChangedSettingsAreMergedIntoTheBytesTheHandsetHoldsNow) {
    Memory({{27, 0x35}, {26, 0x11}});
    ASSERT_EQ(Profile.ReadFromHandset(), TProfileResult::Done);
    EXPECT_EQ(Profile.WriteToHandset(), TProfileResult::Done);
    EXPECT_TRUE(Mails("02 3B").empty());
    EXPECT_EQ(Mails().size(), 8u);

    // The handset changed since the read: its bits win, except those of the ringer tone.
    Memory({{27, 0x3A}, {26, 0x22}});
    Profile.SetRingerTone(7);
    EXPECT_EQ(Profile.WriteToHandset(), TProfileResult::Done);
    EXPECT_EQ(Mails("02 3B"), (std::vector<std::string>{WriteOf(27, 0x7A)}));
    EXPECT_EQ(HandsetByte(27), 0x7A);
    EXPECT_EQ(HandsetByte(26), 0x22);
}

TEST_F(ProfileWrite, BytesGoInTheirOrderAndOnlyWhenTheyDiffer) {
    Memory(AllZero);
    ASSERT_EQ(Profile.ReadFromHandset(), TProfileResult::Done);
    Profile.SetStartVolume(4);
    Profile.SetLanguage(3);
    Profile.SetRingerVolume(0); // as the handset has it
    Profile.SetKeyClickVolume(5);
    Profile.SetAKeyDelay(1);
    Profile.SetLongKey(0); // as the handset has it
    Profile.SetHeadsetVolume(2);
    Profile.SetAutoHook(0);
    EXPECT_EQ(Profile.WriteToHandset(), TProfileResult::Done);
    EXPECT_EQ(Mails("02 3B"),
              (std::vector<std::string>{WriteOf(24, 0x80), WriteOf(31, 0x10), WriteOf(563, 0x10),
                                        WriteOf(28, 0x05), WriteOf(21, 0x03), WriteOf(26, 0x04)}));
    for (const auto& [address, value] : TBytesAt{{24, 0x80}, {31, 0x10}, {563, 0x10}, {28, 0x05}, {21, 0x03}})
        EXPECT_EQ(HandsetByte(address), value) << address;
    EXPECT_EQ(HandsetByte(30), 0);
    EXPECT_EQ(HandsetByte(27), 0);
}

TEST_F(ProfileWrite, AWriteThatIsNotStoredStopsTheRest) {
    Memory(AllZero);
    ImageBytes(AllOnes);
    for (const TProfileField& f : TProfileSettings::Fields())
        Profile.Set(f.Setting, f.Inverted ? 0 : -1);
    Unanswered({WriteOf(27, 0xF7)});
    EXPECT_EQ(Profile.WriteToHandset(), TProfileResult::WriteFailed);
    EXPECT_EQ(Mails("02 3B"), (std::vector<std::string>{
                                  WriteOf(24, 0xC0), WriteOf(31, 0xFF), WriteOf(30, 0x07), WriteOf(563, 0xFF),
                                  WriteOf(28, 0x07), WriteOf(27, 0xF7), WriteOf(27, 0xF7)}));
    EXPECT_EQ(HandsetByte(28), 0x07);
    EXPECT_EQ(HandsetByte(27), 0);

    // A failed read of the handset's bytes writes nothing at all.
    Link.Frames.clear();
    Unanswered({ReadOf(563)});
    EXPECT_EQ(Profile.WriteToHandset(), TProfileResult::WriteFailed);
    EXPECT_TRUE(Mails("02 3B").empty());
}

TEST_F(ProfileFile, StartSelectionsSaveAsTheKnownFileAndLoadBackTheSame) {
    const int start[] = {1, 3, 2, 0, 0, 2, 1, 0, 0, 1, 0, 0, 0, 5, 5, 0, 1, 0, 3, 0};
    for (int k = 0; k < ProfileSettingCount; ++k)
        Profile.Set(S(k), start[k]);
    QTemporaryDir dir;
    const std::string path = dir.filePath("start.pro").toStdString();
    ASSERT_NO_THROW(Profile.SaveToFile(path));

    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().toStdString(),
              "[profile settings]\r\nringer tone=1\r\nringer volume=3\r\nkey click volume=2\r\n"
              "vibrator=0\r\nb answer=0\r\nstart volume=2\r\nout of range=1\r\nauto key lock=0\r\n"
              "language=0\r\nback light=1\r\n[advanced profile settings]\r\nauto hook=0\r\n"
              "any key answer=0\r\nlong key=0\r\nlong key time=5\r\na key delay=5\r\n"
              "ls on b-answer=0\r\nstandby text=1\r\nheadset alert=0\r\nheadset volume=3\r\n"
              "off hook msf=0\r\n");

    TProfileSettings loaded(Engine);
    ASSERT_NO_THROW(loaded.LoadFromFile(path));
    EXPECT_EQ(loaded.InFile, 0xFFFFFu);
    for (int k = 0; k < ProfileSettingCount; ++k)
        EXPECT_EQ(loaded.Get(S(k)), start[k]) << k;
}

TEST_F(ProfileFile, AValueNoItemShowsIsRefusedNotMasked) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("odd.pro").toStdString();
    const char* values[] = {"-5", "99", "0", "0x3", "2abc", "", " 7 ", "1\x01"};
    for (const char* value : values) {
        QFile file(QString::fromStdString(path));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write((std::string("[profile settings]\r\nringer volume=200\r\nringer tone=") + value + "\r\n")
                       .c_str());
        file.close();
        TProfileSettings loaded(Engine);
        ASSERT_NO_THROW(loaded.LoadFromFile(path));
        const bool fine = std::string(value) == " 7 ";
        EXPECT_EQ(loaded.InFile, fine ? 1u : 0u) << value;
        EXPECT_EQ(loaded.Refused.size(), fine ? 1u : 2u) << value;
        EXPECT_EQ(TProfileSettings::RefusedText(loaded.Refused.back()),
                  "line 2: ringer volume=200 is no value of its list, not taken");
        if (fine) {
            EXPECT_EQ(loaded.GetRingerTone(), 7);
        }
    }
    // A backup holds what the handset held: read as such, a value outside the list but within the
    // setting's bits is taken, one beyond them is not.
    {
        QFile file(QString::fromStdString(path));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[profile settings]\r\nringer tone=0\r\nringer volume=7\r\nlanguage=16\r\n");
    }
    TProfileSettings read(Engine);
    ASSERT_NO_THROW(read.LoadFromFile(path, true));
    EXPECT_EQ(read.GetRingerTone(), 0);
    EXPECT_EQ(read.GetRingerVolume(), 7);
    ASSERT_EQ(read.Refused.size(), 1u);
    EXPECT_EQ(read.Refused[0].Key, "language");

    TProfileSettings control(Engine);
    {
        QFile file(QString::fromStdString(path));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(std::string("[profile settings]\r\nringer tone=1\x01\r\n").c_str());
    }
    ASSERT_NO_THROW(control.LoadFromFile(path));
    ASSERT_EQ(control.Refused.size(), 1u);
    EXPECT_EQ(TProfileSettings::RefusedText(control.Refused[0]),
              "line 2: ringer tone=1\\x01 is no value of its list, not taken");

    // Sections the reader cannot find: junk, nothing.
    for (const std::string& junk : {std::string("\x01\x02\xFF garbage"), std::string()}) {
        QFile file(QString::fromStdString(path));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(junk.data(), qint64(junk.size()));
        file.close();
        TProfileSettings loaded(Engine);
        ASSERT_NO_THROW(loaded.LoadFromFile(path));
        EXPECT_FALSE(loaded.SectionsFound);
        EXPECT_EQ(loaded.InFile, 0u);
    }
    // A byte-order mark before the first section is no part of it; a key of no setting is named.
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("\xEF\xBB\xBF[profile settings]\r\nringer tone=2\r\n[other]\r\nx=1\r\n");
    file.close();
    TProfileSettings loaded(Engine);
    ASSERT_NO_THROW(loaded.LoadFromFile(path));
    EXPECT_TRUE(loaded.SectionsFound);
    EXPECT_EQ(loaded.Get(TProfileSetting::RingerTone), 2);
    EXPECT_EQ(loaded.UnknownKeys, std::vector<std::string>{"line 4: [other] \"x\""});
}

TEST_F(ProfileFile, MissingKeysAreLeftAloneOnLoadAndDeletedOnSave) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("some.pro").toStdString();
    {
        QFile file(QString::fromStdString(path));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[other]\r\nx=1\r\n[profile settings]\r\nringer tone=4\r\nvibrator=2\r\nlanguage=abc\r\n"
                   "[advanced profile settings]\r\nauto hook=1\r\n");
    }
    ImageBytes({{26, 0x40}, {24, 0x80}});
    ASSERT_NO_THROW(Profile.LoadFromFile(path));
    EXPECT_TRUE(Profile.SectionsFound);
    // "vibrator=2" and "language=abc" show no item of their lists: refused, and the bits stay.
    const uint32_t held = (1u << 0) | (1u << 10);
    EXPECT_EQ(Profile.InFile, held);
    EXPECT_EQ(Profile.Changed, held);
    EXPECT_EQ(Profile.GetRingerTone(), 4);
    EXPECT_EQ(Profile.GetVibrator(), 1);
    EXPECT_EQ(Profile.GetAutoHook(), 1);
    ASSERT_EQ(Profile.Refused.size(), 2u);
    EXPECT_EQ(TProfileSettings::RefusedText(Profile.Refused[0]),
              "line 5: vibrator=2 is no value of its list, not taken");
    EXPECT_EQ(TProfileSettings::RefusedText(Profile.Refused[1]),
              "line 6: language=abc is no value of its list, not taken");

    TProfileSettings language(Engine);
    language.SetLanguage(2);
    ASSERT_NO_THROW(language.SaveToFile(path));
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("other", "x", ""), "1");
    EXPECT_EQ(ini.ReadString("profile settings", "language", ""), "2");
    EXPECT_FALSE(ini.ValueExists("profile settings", "ringer tone"));
    EXPECT_FALSE(ini.ValueExists("advanced profile settings", "auto hook"));

    // A profile without settings is still a file; a file that cannot be read or written is a failure.
    TProfileSettings none(Engine);
    EXPECT_NO_THROW(none.SaveToFile(dir.filePath("empty.pro").toStdString()));
    EXPECT_TRUE(QFile::exists(dir.filePath("empty.pro")));
    EXPECT_THROW(none.LoadFromFile(dir.filePath("absent.pro").toStdString()), EFileError);
    EXPECT_EQ(none.InFile, 0u);
    EXPECT_THROW(language.SaveToFile(dir.filePath("no/such/folder.pro").toStdString()), EFileError);
}
