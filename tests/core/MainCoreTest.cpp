// The connection step and the capability queries against the virtual handset.
#include "support/HandsetProcess.h"
#include "support/ProgramFolderOverride.h"
#include "support/RecordingUser.h"

#include "core/MainCore.h"
#include "link/ConnectionSettings.h"

#include <gtest/gtest.h>

namespace {

struct Connection : testing::Test {
    // The window's engine settings, with shorter waits for the failures staged here.
    int ConnectTo(THandsetProcess& handset) {
        EXPECT_TRUE(handset.Started());
        core.ConfigureEngine();
        core.Engine().ReadPause = 50;
        core.SelectedPort = handset.ComNumber();
        return core.ConnectHandset();
    }

    TProgramFolderOverride programFolder;
    TRecordingUser user;
    TMainCore core{user};
};

struct LevelCase {
    const char* software;
    const char* pcs;
    const char* model;
    uint8_t level;
};

TEST_F(Connection, EveryLevelOfTheTable) {
    const LevelCase cases[] = {
        {"62018400", "06B", "0x55", 6}, {"62018700", "06A", "0xAA", 7}, {"62018400", "05Z", "0x55", 4},
        {"62018700", "059", "0xAA", 5}, {"62017100", "6A", "0x00", 3},  {"62017100", "05A", "0x00", 0},
        {"62018400", "06B", "0x12", 0}, {"12345678", "07A", "0xAA", 0}, {"62018400", "7", "0xAA", 5},
    };
    for (const LevelCase& c : cases) {
        THandsetProcess handset({"--software", c.software, "--pcs", c.pcs, "--model", c.model});
        std::vector<uint8_t> seen;
        core.ApplyHandsetLevel = [&](uint8_t level) { seen.push_back(level); };
        EXPECT_EQ(ConnectTo(handset), 1) << c.software;
        EXPECT_EQ(core.HandsetLevel, c.level) << c.software << " " << c.pcs << " " << c.model;
        EXPECT_EQ(seen, std::vector<uint8_t>{c.level});
        EXPECT_EQ(core.HasAdvancedSettings(), c.level >= 6);
    }
}

TEST_F(Connection, CapacityAndBlockSize) {
    THandsetProcess handset({"--capacity", "200", "--max-mail", "26"});
    int resized = 0;
    core.ResizePhonebook = [&](int capacity) { resized = capacity; };
    EXPECT_EQ(ConnectTo(handset), 1);
    EXPECT_EQ(resized, 200);
    EXPECT_EQ(core.Engine().BlockSize, 16);
    EXPECT_FALSE(core.Engine().FramedAnswer());
    EXPECT_EQ(user.Statuses,
              (std::vector<std::string>{"Connecting to handset ...", "Connected to handset!"}));
    EXPECT_EQ(ConnectionSettings::ReadBaudrate(), 115200);

    // At another rate than 115200 the handset is not asked.
    core.Engine().OpenPort(uint8_t(handset.ComNumber()), 9600);
    EXPECT_EQ(core.ReadPhoneBookCapacity(), 65);
}

TEST_F(Connection, SilentQueriesFallBack) {
    // The probe (frame 1) is answered; nothing after it.
    THandsetProcess handset({"--drop-answer", "2,3,4,5,6,7,8,9,10"});
    EXPECT_EQ(ConnectTo(handset), 1);
    EXPECT_EQ(core.PhoneBookCapacity, 80);
    EXPECT_EQ(core.HandsetLevel, 0);
    EXPECT_EQ(core.Engine().BlockSize, 8);
}

TEST_F(Connection, MaxMailLengthWithoutRoomForDataKeepsTheDefault) {
    THandsetProcess handset({"--max-mail", "10"});
    EXPECT_EQ(ConnectTo(handset), 1);
    EXPECT_EQ(core.Engine().BlockSize, 8);
}

TEST_F(Connection, ResultTexts) {
    EXPECT_EQ(ConnectionResultText(-1), "Serial Device Closed!");
    EXPECT_EQ(ConnectionResultText(0), "Could not connect to the handset!");
    EXPECT_EQ(ConnectionResultText(6), "Connected to handset!");
    EXPECT_EQ(ConnectionResultText(7), "Unknown Answer!");

    core.SelectedPort = 201;
    EXPECT_EQ(core.ConnectHandset(), -1);
    EXPECT_EQ(user.LastStatus(), "Serial Device Closed!");
}

} // namespace
