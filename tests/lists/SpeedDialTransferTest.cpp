// The speed dial operations' level rule and their handset block, over an in-process link.
#include "lists/SpeedDialTransfer.h"
#include "support/FakeLink.h"
#include "support/RecordingUser.h"
#include "support/TestConnection.h"

#include <gtest/gtest.h>

TEST(SpeedDialTransfer, OnlyHandsetsOfLevel6And7HaveASpeedDialList) {
    TFakeLink link;
    TTestConnection connection(link);
    TRecordingUser user;
    TPP5SpeedDial list;
    TSpeedDialTransfer transfer(connection, user, list);
    for (const std::optional<uint8_t> level :
         {std::optional<uint8_t>(0), std::optional<uint8_t>(4), std::optional<uint8_t>(6),
          std::optional<uint8_t>(7), std::optional<uint8_t>()}) {
        connection.Level = level;
        user.Messages.clear();
        link.Frames.clear();
        const bool supported = level == 6 || level == 7;
        EXPECT_EQ(transfer.LoadFromHandset(), supported) << int(level.value_or(99));
        if (supported) {
            EXPECT_TRUE(user.Messages.empty());
            EXPECT_EQ(user.LastStatus(), "Finished reading from handset!");
        } else {
            ASSERT_EQ(user.Messages.size(), 1u);
            EXPECT_EQ(user.Messages[0].text, "The connected device does not support Speed Dial!");
            EXPECT_TRUE(link.Frames.empty());
        }
    }

    // After a delete, a read gives eleven empty numbers.
    connection.Level = 7;
    list.SetNumber(3, "555");
    user.Answers = {TAnswer::Ok, TAnswer::Ok};
    ASSERT_TRUE(transfer.SaveToHandset());
    ASSERT_TRUE(transfer.LoadFromHandset());
    EXPECT_EQ(list.Numbers[3], "555");
    ASSERT_TRUE(transfer.DeleteInHandset());
    EXPECT_EQ(user.LastStatus(), "Speed Dial List Deleted!");
    ASSERT_TRUE(transfer.LoadFromHandset());
    for (const std::string& number : list.Numbers)
        EXPECT_EQ(number, "");

    // A read that fails leaves the list (and the grid showing it) as it was.
    list.SetNumber(2, "777");
    connection.Result = TConnectResult::NoAnswer;
    EXPECT_FALSE(transfer.LoadFromHandset());
    EXPECT_EQ(list.Numbers[2], "777");
}
