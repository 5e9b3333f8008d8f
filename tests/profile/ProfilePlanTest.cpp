// The plan of a profile write, and the write that carries it out over an in-process link against the
// virtual handset's memory.

#include "profile/ProfilePlan.h"
#include "platform/Texts.h"
#include "profile/ProfileLists.h"
#include "profile/ProfileTransfer.h"
#include "support/FakeLink.h"
#include "support/PlanUser.h"
#include "support/RecordingUser.h"
#include "support/TestConnection.h"

#include <gtest/gtest.h>

#include <bit>
#include <map>

namespace {

using S = TProfileSetting;

// The handset's profile bytes: tone 1 volume 3, vibrator off, back light on, auto hook on, headset
// alert 3 and volume 2, long key time 5 and alarm key delay 2.
TProfileSettings::TImage HeldImage() {
    TProfileSettings::TImage image;
    TProfileSettings::ClearImage(image);
    const std::map<uint16_t, uint8_t> bytes{{21, 0x00}, {24, 0x15}, {26, 0x12}, {27, 0x13},
                                            {28, 0x02}, {30, 0x05}, {31, 0x13}, {563, 0x25}};
    for (const auto& [address, value] : bytes)
        image[address] = value;
    return image;
}

const TPlanLine* LineOf(const TWritePlan& plan, const std::string& item) {
    for (const TPlanLine& line : plan.Lines)
        if (line.Item == item)
            return &line;
    return nullptr;
}

constexpr uint32_t Every = (1u << ProfileSettingCount) - 1;

TEST(ProfilePlan, AProfileAsTheHandsetHoldsItChangesNothingAndCostsNothing) {
    TProfileValues wanted;
    wanted[size_t(S::RingerTone)] = 1;
    wanted[size_t(S::RingerVolume)] = 3;
    wanted[size_t(S::BackLight)] = 1;
    wanted[size_t(S::AutoHook)] = 1;
    wanted[size_t(S::LongKey)] = 1;
    wanted[size_t(S::HeadsetVolume)] = 2;
    const TWritePlan plan = PlanProfileWrite(HeldImage(), wanted, Every);
    EXPECT_EQ(plan.Count(TPlanStep::Keep), 6) << "one line per setting with a value";
    EXPECT_EQ(plan.Lines.size(), 6u);
    EXPECT_TRUE(plan.Matches(false));
    EXPECT_EQ(plan.Cost.Mails, 0);
    // Values as the lists show them.
    EXPECT_EQ(LineOf(plan, "Back Light")->Before, "On");
    EXPECT_EQ(LineOf(plan, "Long Key")->Before, "Speed Dial");
}

TEST(ProfilePlan, EachChangedByteCostsAWriteAndItsReadBack) {
    TProfileValues wanted;
    wanted[size_t(S::RingerTone)] = 5;
    wanted[size_t(S::RingerVolume)] = 3;
    TWritePlan plan = PlanProfileWrite(HeldImage(), wanted, Every);
    ASSERT_EQ(plan.Lines.size(), 2u);
    EXPECT_EQ(PlanLineText(plan.Lines[0]), "~ Ringer Tone 1 -> 5");
    EXPECT_EQ(plan.Lines[1].Step, TPlanStep::Keep);
    // "02 3B 08 00 01 1B 00 53" in a frame, then "02 3C 08 00 01 1B 00" and its answer; then the four
    // reads of the profile that tell what the handset holds.
    EXPECT_EQ(plan.Cost.Mails, 2 + 4);
    EXPECT_EQ(plan.Cost.Bytes, 13 + 12 + 6 + 4 * (12 + 6));
    const std::vector<TProfileByteChange> bytes = ProfileBytesToWrite(HeldImage(), wanted, Every);
    ASSERT_EQ(bytes.size(), 1u);
    EXPECT_EQ(bytes[0].Address, 27);
    EXPECT_EQ(bytes[0].Value, 0x53);

    // Two settings of one byte are one write; bytes go in the write order, the back light's bit
    // inverted.
    wanted = {};
    wanted[size_t(S::BackLight)] = 0;
    wanted[size_t(S::HeadsetAlert)] = 5;
    wanted[size_t(S::HeadsetVolume)] = 4;
    plan = PlanProfileWrite(HeldImage(), wanted, Every);
    EXPECT_EQ(plan.Count(TPlanStep::Change), 3);
    EXPECT_EQ(LineOf(plan, "Back Light")->After, "Off");
    EXPECT_EQ(plan.Cost.Mails, 4 + 4);
    const std::vector<TProfileByteChange> two = ProfileBytesToWrite(HeldImage(), wanted, Every);
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ((std::pair{two[0].Address, two[0].Value}), (std::pair{uint16_t(31), uint8_t(0x25)}));
    EXPECT_EQ((std::pair{two[1].Address, two[1].Value}), (std::pair{uint16_t(26), uint8_t(0x1A)}));
}

TEST(ProfilePlan, ASettingTheLevelLacksIsNotWrittenAndLeavesItsBitsAlone) {
    TProfileValues wanted;
    wanted[size_t(S::RingerTone)] = 4;
    wanted[size_t(S::Vibrator)] = 1;
    wanted[size_t(S::AutoHook)] = 0;
    const TWritePlan plan = PlanProfileWrite(HeldImage(), wanted, SettingsOfLevel(4));
    ASSERT_EQ(plan.Lines.size(), 3u);
    EXPECT_EQ(plan.Lines[0].Step, TPlanStep::Change);
    EXPECT_EQ(plan.Count(TPlanStep::NotWritten), 2);
    EXPECT_EQ(plan.Cost.Mails, 2 + 4) << "byte 27 only, and the read after it";
    EXPECT_EQ(PlanLineText(*LineOf(plan, "Auto Hook")),
              "! Auto Hook Off (this handset does not have this setting)");

    // Nothing the handset has: nothing changes, though the handset does not match the file.
    wanted[size_t(S::RingerTone)].reset();
    const TWritePlan none = PlanProfileWrite(HeldImage(), wanted, SettingsOfLevel(4));
    EXPECT_FALSE(none.ChangesHandset());
    EXPECT_FALSE(none.Matches(false));
    EXPECT_EQ(none.Cost.Mails, 0);
}

TEST(ProfilePlan, AValueThatMasksToTheHeldOneIsKept) {
    TProfileValues wanted;
    wanted[size_t(S::RingerVolume)] = 3 + 8; // three bits: 3
    wanted[size_t(S::AutoHook)] = 2;         // a boolean: on
    wanted[size_t(S::LongKeyTime)] = 5 + 16; // four bits: 5
    const TWritePlan plan = PlanProfileWrite(HeldImage(), wanted, Every);
    EXPECT_EQ(plan.Count(TPlanStep::Keep), 3);
    EXPECT_FALSE(plan.ChangesHandset());
    EXPECT_EQ(plan.Cost.Mails, 0);
}

// The plan's masking must be the model's: a value Set stores differently would make the plan promise
// a change the write does not make, or hide one it does.
TEST(ProfilePlan, ValuesAndBytesAreThoseTheModelStores) {
    TFakeLink link;
    TMailControl engine(link);
    const TProfileSettings::TImage held = HeldImage();
    for (const TProfileField& field : TProfileSettings::Fields()) {
        for (const int value : {-2, -1, 0, 1, 2, 3, 7, 8, 15, 16, 255, 256}) {
            TProfileSettings model(engine);
            model.Image = held;
            model.Set(field.Setting, value);
            EXPECT_EQ(StoredProfileValue(field.Setting, value), model.Get(field.Setting))
                << field.Key << "=" << value;
            TProfileValues wanted;
            wanted[size_t(field.Setting)] = value;
            const std::vector<TProfileByteChange> bytes = ProfileBytesToWrite(held, wanted, Every);
            const bool differs = model.Image[field.Address] != held[field.Address];
            ASSERT_EQ(bytes.size(), differs ? 1u : 0u) << field.Key << "=" << value;
            if (differs) {
                EXPECT_EQ(bytes[0].Value, model.Image[field.Address]) << field.Key << "=" << value;
            }
        }
    }
}

// ---- the write through the plan ----

struct ProfileTransferPlan : testing::Test {
    ProfileTransferPlan() {
        connection.Level = 7;
        connection.Engine().ReadbackDelay = std::chrono::milliseconds(0);
    }
    uint8_t HandsetByte(uint16_t address) const { return link.Handset.State().memory[address]; }
    // The mails sent after the plan was shown, and how many of them write the handset's memory.
    size_t FramesAfterPlan() const { return link.Frames.size() - user.FramesAtPlan; }
    int WriteMails() const {
        int writes = 0;
        for (const TBytes& frame : link.Frames)
            writes += frame.size() > 5 && frame[3] == 0x02 && frame[5] == 0x3B;
        return writes;
    }
    int64_t BytesAfterPlan() const {
        int64_t bytes = 0;
        for (size_t i = user.FramesAtPlan; i < link.Frames.size(); ++i)
            bytes += int64_t(link.Frames[i].size()) + (link.Frames[i][5] == 0x3C ? 6 : 0);
        return bytes;
    }

    TFakeLink link;
    TTestConnection connection{link};
    TPlanUser user{link};
    TProfileTransfer transfer{connection, user};
};

TEST_F(ProfileTransferPlan, TheWriteSendsExactlyThePlansMails) {
    const uint8_t byte26 = HandsetByte(26);
    TProfileValues wanted;
    wanted[size_t(S::RingerTone)] = 5;
    wanted[size_t(S::RingerVolume)] = 3;
    wanted[size_t(S::HeadsetVolume)] = 4;
    wanted[size_t(S::BackLight)] = 1;
    const std::optional<uint32_t> written = transfer.WriteToHandset(wanted);
    ASSERT_TRUE(written);
    ASSERT_EQ(user.Plans.size(), 1u);
    const TWritePlan& plan = *transfer.LastPlan();
    EXPECT_EQ(plan.Count(TPlanStep::Change), 2);
    EXPECT_EQ(plan.Baud, 115200);
    EXPECT_EQ(FramesAfterPlan(), size_t(plan.Cost.Mails)) << "the profile is not read twice";
    EXPECT_EQ(BytesAfterPlan(), plan.Cost.Bytes);
    EXPECT_EQ(WriteMails(), 2);
    EXPECT_EQ(HandsetByte(27), 0x53);
    EXPECT_EQ(HandsetByte(31) >> 3 & 7, 4);
    EXPECT_EQ(HandsetByte(26), byte26);
    EXPECT_EQ(std::popcount(*written), 4) << "every wanted setting holds its value";
    EXPECT_FALSE(transfer.BackupPath().empty());
    EXPECT_EQ(user.LastStatus(), Texts::ProfileWritten);
}

TEST_F(ProfileTransferPlan, ADeclinedPlanSendsNoWriteAndKeepsNoBackup) {
    user.PlanAnswer = false;
    TProfileValues wanted;
    wanted[size_t(S::RingerTone)] = 5;
    EXPECT_FALSE(transfer.WriteToHandset(wanted));
    ASSERT_TRUE(transfer.LastPlan());
    EXPECT_EQ(transfer.LastPlan()->Cost.Mails, 2 + 4) << "the byte written, its check, the read after";
    EXPECT_EQ(FramesAfterPlan(), 0u);
    EXPECT_EQ(WriteMails(), 0);
    EXPECT_TRUE(transfer.BackupPath().empty());
    EXPECT_EQ(user.LastStatus(), Texts::PlanNotCarriedOut);
    EXPECT_TRUE(user.Messages.empty()) << "the plan is the question";
    EXPECT_EQ(user.Plans.back().Question, Texts::ReplaceProfileQuestion);
}

TEST_F(ProfileTransferPlan, AProfileTheHandsetHoldsAlreadySendsNothing) {
    TProfileValues wanted;
    wanted[size_t(S::RingerTone)] = 1;
    wanted[size_t(S::RingerVolume)] = 3 + 8;
    const std::optional<uint32_t> written = transfer.WriteToHandset(wanted);
    ASSERT_TRUE(written);
    EXPECT_EQ(*written,
              TProfileSettings::Field(S::RingerTone).Bit() | TProfileSettings::Field(S::RingerVolume).Bit());
    EXPECT_EQ(FramesAfterPlan(), 0u);
    EXPECT_TRUE(transfer.BackupPath().empty());
    EXPECT_EQ(user.LastStatus(), Texts::ProfileAlreadyHeld);

    // A level without the vibrator: the rest is held, the vibrator cannot be written.
    connection.Level = 4;
    wanted[size_t(S::Vibrator)] = 1;
    const std::optional<uint32_t> lacking = transfer.WriteToHandset(wanted);
    ASSERT_TRUE(lacking);
    EXPECT_EQ(*lacking, *written);
    EXPECT_EQ(transfer.LastPlan()->Count(TPlanStep::NotWritten), 1);
    EXPECT_EQ(FramesAfterPlan(), 0u);
    EXPECT_EQ(WriteMails(), 0);
    EXPECT_EQ(user.LastStatus(), Texts::ProfileHeldOrLacking);
}

} // namespace
