// The handset's capabilities as plain rules, and the connection step of the core over an in-process
// link with the virtual handset's logic behind it.
#include "support/FakeLink.h"
#include "support/ProgramFolderOverride.h"
#include "support/RecordingUser.h"

#include "core/MainCore.h"
#include "link/ConnectionSettings.h"
#include "link/HandsetCapabilities.h"

#include <gtest/gtest.h>

namespace {

using namespace HandsetCapabilities;

struct LevelCase {
    const char* software;
    const char* pcs;
    uint8_t model;
    uint8_t level;
};

TEST(HandsetLevel, EveryLevelOfTheTable) {
    const LevelCase cases[] = {
        {"62018400", "06B", 0x55, 6},  {"62018700", "06A", 0xAA, 7}, {"62018400", "05Z", 0x55, 4},
        {"62018700", "059", 0xAA, 5},  {"62017100", "6A", 0x00, 3},  {"62017100", "05A", 0x00, 0},
        {"62018400", "06B", 0x12, 0},  {"12345678", "07A", 0xAA, 0}, {"62018400", "7", 0xAA, 5},
        {"62017100", " 6A ", 0x00, 3}, {"62018400", "", 0x55, 4},
    };
    for (const LevelCase& c : cases) {
        EXPECT_EQ(HandsetLevelOf(c.software, c.pcs, c.model), c.level) << c.software << " " << c.pcs;
        EXPECT_EQ(HasAdvancedSettings(c.level), c.level >= 6);
    }
    EXPECT_EQ(LevelPcs("6A"), "06A");
    EXPECT_EQ(LevelPcs("  "), "000");
    EXPECT_EQ(LevelPcs("06BX"), "06B");
}

TEST(HandsetAnswers, SoftwareCapacityAndBlockSize) {
    std::string software, pcs;
    const uint8_t answer[] = {0x62, 0x01, 0x84, 0x00, '0', '6', 'B', ' '};
    ASSERT_TRUE(ParseSoftwareAnswer(answer, 8, software, pcs));
    EXPECT_EQ(software, "62018400");
    EXPECT_EQ(pcs, "06B");
    EXPECT_FALSE(ParseSoftwareAnswer(answer, 7, software, pcs)) << "a short answer identifies nothing";

    const uint8_t capacity[] = {9, 200};
    EXPECT_EQ(CapacityFromAnswer(capacity, 2), 200);
    EXPECT_EQ(CapacityFromAnswer(capacity, 1), UnknownCapacity);
    const uint8_t other[] = {8, 200};
    EXPECT_EQ(CapacityFromAnswer(other, 2), UnknownCapacity) << "an answer to another question";

    const uint8_t mail26[] = {26, 0};
    const uint8_t mail10[] = {10, 0};
    const uint8_t mail211[] = {211, 0};
    EXPECT_EQ(BlockSizeFromAnswer(mail26, 2), 16);
    EXPECT_EQ(BlockSizeFromAnswer(mail10, 2), DefaultBlockSize) << "no room for data";
    EXPECT_EQ(BlockSizeFromAnswer(mail211, 2), DefaultBlockSize) << "more than one answer carries";
    EXPECT_EQ(BlockSizeFromAnswer(mail26, 0), DefaultBlockSize);
}

struct Connection : testing::Test {
    explicit Connection(THandsetState state = DefaultHandsetState(), THandsetFaults faults = {})
        : link(THandset(std::move(state), TReadiness::Ready, std::move(faults))) {
        core.ConfigureEngine();
        core.Engine().ReadPause = std::chrono::milliseconds(50);
    }

    TProgramFolderOverride programFolder;
    TRecordingUser user;
    TFakeLink link;
    TMainCore core{user, link};
};

TEST_F(Connection, TheHandsetIsAskedWhatItIs) {
    link.Handset = THandset([] {
        THandsetState state = DefaultHandsetState();
        state.software = {0x62, 0x01, 0x87, 0x00};
        state.pcs = "06A";
        state.capacity = 150;
        state.maxMail = 26;
        return state;
    }());
    EXPECT_EQ(core.ConnectHandset(), TConnectResult::Connected);
    EXPECT_EQ(core.Software, "62018700");
    EXPECT_EQ(core.Pcs, "06A");
    EXPECT_EQ(core.ModelByte, 0xAA);
    EXPECT_EQ(core.HandsetLevel, 7);
    EXPECT_TRUE(core.HasAdvancedSettings());
    EXPECT_EQ(core.PhoneBookCapacity, 150);
    EXPECT_EQ(core.Phonebook.Count(), 150);
    EXPECT_EQ(user.Connections, (std::vector<std::pair<int, uint8_t>>{{150, 7}}));
    EXPECT_EQ(core.Engine().BlockSize, 16);
    EXPECT_FALSE(core.Engine().FramedAnswer());
    // The serial number of the SIM names the handset, in the status line too.
    EXPECT_EQ(core.Handset.serial, "00291 0284280");
    EXPECT_EQ(core.Handset.software, "62018700");
    EXPECT_EQ(user.Statuses, (std::vector<std::string>{"Connecting to handset ...",
                                                       "Connected to handset! (00291 0284280)"}));
    EXPECT_EQ(ConnectionSettings::ReadBaudrate(), 115200);
}

TEST_F(Connection, AHandsetWhoseSimHasLeftOrThatIsNotTheExpectedOneIsSaidSo) {
    THandsetState state = DefaultHandsetState();
    std::fill_n(state.memory.begin() + kSerialAddress, kSerialBytes, uint8_t(0xFF));
    link.Handset = THandset(state);
    EXPECT_EQ(core.ConnectHandset(), TConnectResult::Connected);
    EXPECT_EQ(core.Handset.serial, "");
    EXPECT_EQ(core.Handset.SerialText(), "no SIM");

    // A person who expects another handset there stops the operation at the connection step.
    struct TExpecting : TRecordingUser {
        bool HandsetIdentified(const THandsetIdentity&) override { return false; }
    } expecting;
    TMainCore other{expecting, link};
    EXPECT_EQ(other.ConnectHandset(), TConnectResult::WrongHandset);
    EXPECT_EQ(ConnectionResultText(TConnectResult::WrongHandset), "Not the handset expected at this port.");
}

TEST_F(Connection, AtAnotherRateTheCapacityIsNotAsked) {
    core.Engine().OpenPort(1, 9600);
    link.Frames.clear();
    EXPECT_EQ(core.ReadPhoneBookCapacity(), SlowPortCapacity);
    EXPECT_TRUE(link.Frames.empty());
}

struct SilentQueries : Connection {
    SilentQueries()
        : Connection(DefaultHandsetState(), [] {
            // The probe (frame 1) is answered; nothing after it.
            THandsetFaults faults;
            faults.dropAnswers = {2, 3, 4, 5, 6, 7, 8, 9, 10};
            return faults;
        }()) {}
};

TEST_F(SilentQueries, FallBack) {
    EXPECT_EQ(core.ConnectHandset(), TConnectResult::Connected);
    EXPECT_EQ(core.PhoneBookCapacity, UnknownCapacity);
    EXPECT_EQ(core.HandsetLevel, 0);
    EXPECT_EQ(core.Engine().BlockSize, DefaultBlockSize);
    EXPECT_EQ(user.Connections, (std::vector<std::pair<int, uint8_t>>{{UnknownCapacity, 0}}));
}

TEST_F(Connection, ResultTexts) {
    EXPECT_EQ(ConnectionResultText(-1), "Serial Device Closed!");
    EXPECT_EQ(ConnectionResultText(0), "Could not connect to the handset!");
    EXPECT_EQ(ConnectionResultText(6), "Connected to handset!");
    EXPECT_EQ(ConnectionResultText(7), "Unknown Answer!");

    link.Opened = false;
    link.OpenSucceeds = false;
    EXPECT_EQ(core.ConnectHandset(), TConnectResult::PortClosed);
    EXPECT_EQ(user.LastStatus(), "Serial Device Closed!");
    EXPECT_TRUE(user.Connections.empty());
}

} // namespace
