// The operations through the core's own connection step, over an in-process link with the virtual
// handset's logic behind it: what the window and quorvel-cli run, without a line or a window.
#include "HandsetPhonebook.h"
#include "support/FakeLink.h"
#include "support/ProgramFolderOverride.h"
#include "support/RecordingUser.h"

#include "core/MainCore.h"
#include "lists/PhonebookTransfer.h"
#include "profile/ProfileTransfer.h"

#include <gtest/gtest.h>

namespace {

using S = TProfileSetting;

struct CoreOperations : testing::Test {
    void UseHandset(const std::string& software, const char* pcs, uint8_t model) {
        THandsetState state = DefaultHandsetState();
        state.software = {uint8_t(std::stoul(software.substr(0, 2), nullptr, 16)),
                          uint8_t(std::stoul(software.substr(2, 2), nullptr, 16)),
                          uint8_t(std::stoul(software.substr(4, 2), nullptr, 16)),
                          uint8_t(std::stoul(software.substr(6, 2), nullptr, 16))};
        state.pcs = pcs;
        state.memory[29] = model;
        state.capacity = 120;
        state.phonebook = {{*PackNumber("1234"), "Bob"}, {*PackNumber("0123"), "Smith, John"}};
        link.Handset = THandset(std::move(state));
    }
    int ProfileByte(uint16_t address) const { return link.Handset.State().memory[address]; }

    TProgramFolderOverride programFolder;
    TRecordingUser user;
    TFakeLink link;
    TMainCore core{user, link};
};

TEST_F(CoreOperations, ThePhoneBookIsReadAfterTheHandsetTellsItsCapacity) {
    UseHandset("62018400", "06B", 0x55);
    core.ConfigureEngine();
    TPhonebookTransfer transfer(core, user, core.Phonebook);
    ASSERT_TRUE(transfer.LoadFromHandset());
    EXPECT_EQ(core.Phonebook.Count(), 120);
    EXPECT_EQ(core.Phonebook.GetName(0), "Bob");
    EXPECT_EQ(core.Phonebook.GetNumber(1), "0123");
    EXPECT_TRUE(user.ShownEntries.empty()) << "shown whole once read";
    EXPECT_EQ(user.Connections, (std::vector<std::pair<int, uint8_t>>{{120, 6}}));
    EXPECT_TRUE(user.LastStatus().starts_with("Finished reading from handset!")) << user.LastStatus();
}

TEST_F(CoreOperations, AProfileWriteKeepsToWhatTheHandsetHas) {
    // Level 4: no vibrator and no advanced settings.
    UseHandset("62018400", "05Z", 0x55);
    core.ConfigureEngine();
    TProfileTransfer transfer(core, user);
    const std::optional<TProfileValues> read = transfer.ReadFromHandset();
    ASSERT_TRUE(read);
    EXPECT_EQ((*read)[size_t(S::RingerTone)], 1);
    EXPECT_EQ((*read)[size_t(S::RingerVolume)], 3);
    const int vibratorByte = ProfileByte(26);
    const int advancedByte = ProfileByte(24);

    TProfileValues wanted;
    wanted[size_t(S::RingerTone)] = 5;
    wanted[size_t(S::Vibrator)] = 1;
    wanted[size_t(S::AutoHook)] = 0;
    const std::optional<uint32_t> written = transfer.WriteToHandset(wanted);
    ASSERT_TRUE(written);
    EXPECT_EQ(*written, TProfileSettings::Field(S::RingerTone).Bit());
    EXPECT_EQ(ProfileByte(27), 0x53) << "tone 5, volume 3 kept";
    EXPECT_EQ(ProfileByte(26), vibratorByte);
    EXPECT_EQ(ProfileByte(24), advancedByte);
    EXPECT_EQ(user.LastStatus(), "Profile written to handset");
}

TEST_F(CoreOperations, ADeclinedProfileWriteSendsNothing) {
    UseHandset("62018400", "06B", 0x55);
    user.PlanAnswer = false;
    TProfileTransfer transfer(core, user);
    TProfileValues wanted;
    wanted[size_t(S::RingerTone)] = 5;
    EXPECT_FALSE(transfer.WriteToHandset(wanted));
    EXPECT_EQ(ProfileByte(27), 0x13);
    EXPECT_TRUE(transfer.LastOutcome().Declined);
    EXPECT_EQ(transfer.LastOutcome().Result, TChangeResult::NotChanged);
}

} // namespace
