// The speed dial operations' level rule and their handset block, over an in-process link.
#include "lists/SpeedDialTransfer.h"
#include "support/FakeLink.h"
#include "support/PlanUser.h"
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

// The write reads the handset's list once (the copy the backup keeps), shows the plan, and then sends
// the mails the plan counts; a declined plan, or a list the handset holds already, sends no write mail.
TEST(SpeedDialTransfer, TheWriteSendsWhatItsPlanCountsAndNothingWhenThereIsNothingToDo) {
    TFakeLink link;
    TTestConnection connection(link);
    TPlanUser user(link);
    TPP5SpeedDial list;
    list.SetNumber(0, "12P3");
    list.SetNumber(3, "555");
    TSpeedDialTransfer transfer(connection, user, list);
    const size_t readMails = (TPP5SpeedDial::BlockBytes + 7) / 8;

    user.PlanAnswer = false;
    user.Answers = {TAnswer::Ok};
    EXPECT_FALSE(transfer.SaveToHandset());
    EXPECT_EQ(link.Frames.size(), readMails);
    EXPECT_EQ(user.LastStatus(), "Nothing was written to the handset.");
    EXPECT_TRUE(transfer.BackupPath().empty());
    ASSERT_TRUE(transfer.LastPlan());
    EXPECT_EQ(transfer.LastPlan()->Count(TPlanStep::Add), 2);

    user.PlanAnswer = true;
    user.Answers = {TAnswer::Ok};
    link.Frames.clear();
    ASSERT_TRUE(transfer.SaveToHandset());
    EXPECT_EQ(user.FramesAtPlan, readMails) << "one read makes the plan and the backup";
    EXPECT_EQ(user.SentAfterPlan(), size_t(user.Plans.back().Cost.Mails));
    EXPECT_EQ(user.Plans.back().Baud, 115200);
    EXPECT_FALSE(transfer.BackupPath().empty());
    EXPECT_EQ(user.LastStatus(), "Finished writing to handset!");

    // The handset holds "12-3" now: the same list again is nothing to write.
    user.Answers = {TAnswer::Ok};
    link.Frames.clear();
    ASSERT_TRUE(transfer.SaveToHandset());
    EXPECT_EQ(link.Frames.size(), readMails);
    EXPECT_EQ(user.Plans.back().Cost.Mails, 0);
    EXPECT_EQ(user.LastStatus(), "The handset already holds this speed dial list; nothing was written.");
    EXPECT_TRUE(transfer.BackupPath().empty());

    // One key changed: the whole block again, as counted.
    list.SetNumber(3, "556");
    user.Answers = {TAnswer::Ok};
    ASSERT_TRUE(transfer.SaveToHandset());
    EXPECT_EQ(user.Plans.back().Count(TPlanStep::Change), 1);
    EXPECT_EQ(user.SentAfterPlan(), size_t(user.Plans.back().Cost.Mails));
}
