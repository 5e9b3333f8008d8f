// The broadcast groups' handset operations over an in-process link, against the virtual handset's
// logic, with its faults or with answers a test puts in its place.
#include "lists/BroadcastGroupsTransfer.h"
#include "support/FakeLink.h"
#include "support/PlanUser.h"
#include "support/RecordingUser.h"
#include "support/TestConnection.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

struct GroupsTransfer : testing::Test {
    void UseHandset(std::vector<uint8_t> groups, THandsetFaults faults = {}) {
        THandsetState state = DefaultHandsetState();
        state.groups = std::move(groups);
        link.Handset = THandset(std::move(state), TReadiness::Ready, std::move(faults));
    }
    void SetList(std::initializer_list<const char*> texts) {
        int i = 0;
        for (const char* slot : texts)
            list.SetGroup(i++, slot);
    }
    // The mails the engine sent, as hex text.
    std::vector<std::string> Mails() const {
        std::vector<std::string> mails;
        for (const TBytes& frame : link.Frames) {
            TBytes mail{frame[3]};
            mail.insert(mail.end(), frame.begin() + 5, frame.end() - 1);
            mails.push_back(HexText(mail));
        }
        return mails;
    }
    const std::vector<uint8_t>& Held() const { return link.Handset.State().groups; }
    std::string LastMessage() const { return user.Messages.empty() ? "" : user.Messages.back().text; }

    TFakeLink link;
    TTestConnection connection{link};
    TPlanUser user{link};
    TBroadcastGroups list;
    TBroadcastGroupsTransfer transfer{connection, user, list};
};

} // namespace

TEST_F(GroupsTransfer, EachAddFollowsAReadyPollAndEmptySlotsAreSkipped) {
    UseHandset({}, {.busyPolls = 2});
    SetList({"5", "", "007"});
    user.WriteMode = TWriteMode::Add;
    ASSERT_TRUE(transfer.SaveToHandset());
    // The handset's groups read for the plan, the adds, and the read after them.
    EXPECT_EQ(Mails(), (std::vector<std::string>{"0D 20", "02 5D 46", "02 5D 46", "02 5D 46", "0D 22 05",
                                                 "02 5D 46", "0D 22 07", "0D 20"}));
    EXPECT_EQ(Held(), (std::vector<uint8_t>{5, 7}));
    EXPECT_EQ(user.WriteModeCaptions,
              std::vector<std::string>{
                  "Add list to existing groups in handset | Replace existing groups in handset"});
    EXPECT_EQ(user.LastStatus(), "Finished writing to handset!");
    EXPECT_EQ(user.BusyChanges, (std::vector<bool>{true, false}));
    EXPECT_TRUE(transfer.BackupPath().empty()); // an add destroys nothing

    list.Clear();
    ASSERT_TRUE(transfer.LoadFromHandset());
    EXPECT_EQ(list.GetGroup(0), "5");
    EXPECT_EQ(list.GetGroup(1), "7");
    EXPECT_EQ(user.LastStatus(), "Finished reading from handset!");
}

TEST_F(GroupsTransfer, AGroupAlreadyPresentIsIgnoredOrEndsTheWrite) {
    UseHandset({12});
    SetList({"12", "9"});
    user.WriteMode = TWriteMode::Add;
    user.Answers = {TAnswer::Ignore};
    ASSERT_TRUE(transfer.SaveToHandset());
    ASSERT_EQ(user.Messages.size(), 1u);
    EXPECT_EQ(user.Messages[0].text, "The group \"12\" already exists!");
    EXPECT_EQ(user.Messages[0].buttons, TButtons::AbortIgnore);
    EXPECT_EQ(user.LastStatus(), "Finished writing to handset!");
    EXPECT_EQ(transfer.Ignored(), 1);
    EXPECT_EQ(Held(), (std::vector<uint8_t>{12, 9}));

    // Abort: nothing after it is sent, and the status says what the handset holds.
    SetList({"9", "4"});
    user.Answers = {TAnswer::Abort};
    EXPECT_FALSE(transfer.SaveToHandset());
    EXPECT_EQ(Held(), (std::vector<uint8_t>{12, 9}));
    EXPECT_EQ(user.LastStatus(), "The handset now holds the groups 12, 9.");
}

TEST_F(GroupsTransfer, GroupsFullStopsWithWhatTheHandsetHolds) {
    UseHandset({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14});
    SetList({"20", "21", "22"});
    user.WriteMode = TWriteMode::Add;
    EXPECT_FALSE(transfer.SaveToHandset());
    EXPECT_EQ(LastMessage(),
              "Groups full!\r\rThe handset now holds the groups 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, "
              "12, 13, 14, 20.");
    EXPECT_EQ(Held().size(), 16u);
}

TEST_F(GroupsTransfer, AReplaceThatFailsAfterTheDeleteSaysWhatTheHandsetHolds) {
    UseHandset({1, 2}, {.mailFaults = {{TMailFault::TKind::Ignore, {0x0D, 0x22}, 2}}});
    SetList({"5", "7"});
    user.WriteMode = TWriteMode::Replace;
    EXPECT_FALSE(transfer.SaveToHandset());
    EXPECT_EQ(Held(), (std::vector<uint8_t>{5}));
    const std::string message = LastMessage();
    EXPECT_TRUE(
        message.starts_with("Could not write Broadcast Groups!\r\rThe handset did not answer the mail 0D 22 "
                            "07 (add group 7).\r\rThe handset now holds the groups 5. The groups it held "
                            "before are kept in "))
        << message;
    ASSERT_FALSE(transfer.BackupPath().empty());
    EXPECT_NE(message.find(transfer.BackupPath()), std::string::npos);
    QFile backup(QString::fromStdString(transfer.BackupPath()));
    ASSERT_TRUE(backup.open(QIODevice::ReadOnly));
    EXPECT_EQ(backup.readAll(), "1\r\n2\r\n" + QByteArray("\r\n").repeated(14));
    EXPECT_EQ(user.BusyChanges.back(), false);
}

TEST_F(GroupsTransfer, ADeleteWhoseAnswerIsLostIsCheckedByARead) {
    UseHandset({1, 2}, {.mailFaults = {{TMailFault::TKind::LoseAnswer, {0x0D, 0x21}, 1}}});
    user.Answers = {TAnswer::Ok};
    ASSERT_TRUE(transfer.DeleteInHandset());
    EXPECT_EQ(user.LastStatus(),
              "The handset's answer was lost, but it holds no groups: they have been deleted.");
    EXPECT_TRUE(Held().empty());

    // Lost on the way in: the groups are still there, and the message says so.
    UseHandset({1, 2}, {.mailFaults = {{TMailFault::TKind::Ignore, {0x0D, 0x21}, 1}}});
    user.Answers = {TAnswer::Ok};
    EXPECT_FALSE(transfer.DeleteInHandset());
    EXPECT_TRUE(LastMessage().starts_with(
        "The Broadcast Groups was not deleted!\r\rThe handset did not answer the "
        "mail 0D 21 (delete all groups).\r\rThe handset now holds the groups 1, 2."))
        << LastMessage();
    EXPECT_EQ(user.LastStatus(), "The Broadcast Groups was not deleted!");
}

// A replace whose delete answer is lost finds out by one read, and goes on when the groups went: the
// report never says "not deleted" of groups that are gone.
TEST_F(GroupsTransfer, AReplaceWhoseDeleteAnswerIsLostFindsOutAndGoesOn) {
    UseHandset({1, 2}, {.mailFaults = {{TMailFault::TKind::LoseAnswer, {0x0D, 0x21}, 1}}});
    SetList({"7"});
    user.WriteMode = TWriteMode::Replace;
    user.Answers = {TAnswer::Ok};
    ASSERT_TRUE(transfer.SaveToHandset()) << LastMessage();
    EXPECT_EQ(Held(), (std::vector<uint8_t>{7}));
    EXPECT_EQ(user.LastStatus(), "Finished writing to handset!");
}

// An add whose answer is lost is found out by one read: the last group's lost answer is no failure.
TEST_F(GroupsTransfer, AnAddWhoseAnswerIsLostIsReadBack) {
    UseHandset({1}, {.mailFaults = {{TMailFault::TKind::LoseAnswer, {0x0D, 0x22}, 2}}});
    SetList({"7", "9"});
    user.WriteMode = TWriteMode::Add;
    ASSERT_TRUE(transfer.SaveToHandset()) << LastMessage();
    EXPECT_EQ(Held(), (std::vector<uint8_t>{1, 7, 9}));
    EXPECT_EQ(transfer.Written(), 2);
}

TEST_F(GroupsTransfer, AnswersThatAreNoAnswersNameTheirMail) {
    UseHandset({3});
    link.Handset.AddMail({0x0D, 0x22}, [](THandset&, auto) { return TBytes{0x22, 0x09}; });
    SetList({"8"});
    user.WriteMode = TWriteMode::Add;
    EXPECT_FALSE(transfer.SaveToHandset());
    EXPECT_EQ(LastMessage(),
              "Could not write Broadcast Groups!\r\rThe handset answered the mail 0D 22 08 (add group 8) "
              "with the status 9, which this program does not know.\r\rThe handset now holds the "
              "groups 3.");

    link.Handset.AddMail({0x0D, 0x20}, [](THandset&, auto) { return TBytes{0x20, 0x00, 0x05}; });
    EXPECT_FALSE(transfer.LoadFromHandset());
    EXPECT_EQ(LastMessage(),
              "No answer from handset!\r\rThe handset's answer 20 00 05 to the mail 0D 20 (read the "
              "groups) is not an answer to it.");
    link.Handset.AddMail({0x0D, 0x20}, [](THandset&, auto) { return TBytes{0x20, 0x01}; });
    SetList({"8", "9"});
    EXPECT_FALSE(transfer.LoadFromHandset());
    EXPECT_EQ(LastMessage(), "No answer from handset!");
    EXPECT_EQ(list.GetGroup(1), "9") << "a failed read leaves the list as it was";
    EXPECT_EQ(user.LastStatus(), "No answer from handset!");
    EXPECT_EQ(user.BusyChanges.back(), false);

    // A replace whose copy cannot be read changes nothing.
    user.WriteMode = TWriteMode::Replace;
    const size_t sent = link.Frames.size();
    EXPECT_FALSE(transfer.SaveToHandset());
    EXPECT_TRUE(LastMessage().starts_with("The handset's broadcast groups could not be read"))
        << LastMessage();
    EXPECT_EQ(link.Frames.size(), sent + 1);
    EXPECT_EQ(Held(), (std::vector<uint8_t>{3}));
}

TEST_F(GroupsTransfer, ASlotTheHandsetCannotTakeStopsTheWriteBeforeAnythingIsSent) {
    UseHandset({});
    SetList({"5", "", "300"});
    user.WriteMode = TWriteMode::Add;
    EXPECT_FALSE(transfer.SaveToHandset());
    EXPECT_EQ(LastMessage(), "Slot 3 holds \"300\", which is not a group number from 0 to 255. Nothing was "
                             "written to the handset.");
    EXPECT_TRUE(link.Frames.empty());
    EXPECT_TRUE(user.WriteModeCaptions.empty());
    // A long line is quoted cut, its bytes shown.
    const std::string binary(4096, '\x01');
    SetList({binary.c_str()});
    EXPECT_FALSE(transfer.SaveToHandset());
    std::string shown;
    for (int i = 0; i < 40; ++i)
        shown += "\\x01";
    EXPECT_EQ(LastMessage(),
              "Slot 1 holds \"" + shown +
                  "...\", which is not a group number from 0 to 255. Nothing was written to the "
                  "handset.");

    // No connection: the connection text, then what was not done.
    list.Clear();
    connection.Result = TConnectResult::NoAnswer;
    EXPECT_FALSE(transfer.LoadFromHandset());
    EXPECT_TRUE(LastMessage().ends_with("\r Could not read Broadcast Groups!")) << LastMessage();
}

// The write reads the handset's groups once and shows its plan; then it sends the mails the plan counts.
TEST_F(GroupsTransfer, TheWriteSendsTheMailsItsPlanCounts) {
    UseHandset({1, 3});
    SetList({"3", "5", "", "7"});
    user.WriteMode = TWriteMode::Replace;
    ASSERT_TRUE(transfer.SaveToHandset()) << LastMessage();
    ASSERT_EQ(user.Plans.size(), 1u);
    EXPECT_EQ(user.FramesAtPlan, 1u) << "one read makes the plan and the backup";
    EXPECT_EQ(user.SentAfterPlan(), size_t(user.Plans[0].Cost.Mails));
    EXPECT_EQ(user.Plans[0].Cost.Mails, 8) << "the delete, two polls and adds, the read after";
    EXPECT_EQ(user.Plans[0].Removed(), 1);
    ASSERT_TRUE(transfer.LastPlan());
    EXPECT_EQ(transfer.LastPlan()->Baud, 115200);
    EXPECT_EQ(Held(), (std::vector<uint8_t>{3, 5, 7}));
    EXPECT_FALSE(transfer.BackupPath().empty());

    // An add of a list partly held: a question for the held group, mails only for the others.
    user.Answers = {TAnswer::Ignore};
    list.Clear();
    SetList({"5", "9"});
    user.WriteMode = TWriteMode::Add;
    ASSERT_TRUE(transfer.SaveToHandset()) << LastMessage();
    EXPECT_EQ(user.SentAfterPlan(), size_t(user.Plans.back().Cost.Mails));
    EXPECT_EQ(user.Plans.back().Cost.Mails, 3);
    EXPECT_EQ(transfer.Written(), 1);
    EXPECT_EQ(transfer.Ignored(), 1);

    // More groups than free slots: the write stops where the plan says, with what the handset holds.
    UseHandset({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14});
    list.Clear();
    SetList({"20", "21"});
    EXPECT_FALSE(transfer.SaveToHandset());
    EXPECT_EQ(user.SentAfterPlan(), size_t(user.Plans.back().Cost.Mails));
    EXPECT_EQ(user.Plans.back().Count(TPlanStep::NotWritten), 1);
    EXPECT_TRUE(LastMessage().starts_with("Groups full!")) << LastMessage();
}

TEST_F(GroupsTransfer, ADeclinedPlanOrAListTheHandsetHoldsSendsNoWriteMail) {
    UseHandset({1, 3});
    SetList({"5"});
    for (const TWriteMode mode : {TWriteMode::Add, TWriteMode::Replace}) {
        user.WriteMode = mode;
        user.PlanAnswer = false;
        link.Frames.clear();
        EXPECT_FALSE(transfer.SaveToHandset());
        EXPECT_EQ(Mails(), std::vector<std::string>{"0D 20"});
        EXPECT_EQ(user.LastStatus(), "Nothing was written to the handset.");
        EXPECT_TRUE(transfer.BackupPath().empty());
        EXPECT_EQ(Held(), (std::vector<uint8_t>{1, 3}));
    }

    // The same groups, in the handset's order: nothing is asked, sent or kept.
    user.PlanAnswer = true;
    SetList({"1", "3"});
    for (const TWriteMode mode : {TWriteMode::Add, TWriteMode::Replace}) {
        user.WriteMode = mode;
        user.Messages.clear();
        link.Frames.clear();
        ASSERT_TRUE(transfer.SaveToHandset());
        EXPECT_EQ(Mails(), std::vector<std::string>{"0D 20"});
        EXPECT_EQ(user.LastStatus(),
                  "The handset already holds these broadcast groups; nothing was written.");
        EXPECT_TRUE(user.Messages.empty()) << "the plan is the question";
        EXPECT_TRUE(transfer.BackupPath().empty());
        EXPECT_EQ(transfer.Ignored(), 2);
    }

    // An add whose read fails sends nothing and says why.
    UseHandset({1}, {.mailFaults = {{TMailFault::TKind::Ignore, {0x0D, 0x20}, 1}}});
    user.WriteMode = TWriteMode::Add;
    link.Frames.clear();
    EXPECT_FALSE(transfer.SaveToHandset());
    EXPECT_EQ(link.Frames.size(), 1u);
    EXPECT_TRUE(
        LastMessage().starts_with("The handset's broadcast groups could not be read, so it is not known "
                                  "which groups it belongs to already."))
        << LastMessage();
}
