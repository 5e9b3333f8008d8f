// The plan of a broadcast groups write in add and replace mode: groups kept, added, removed, and those
// that do not fit in the handset's sixteen slots.
#include "lists/BroadcastGroupsPlan.h"

#include <gtest/gtest.h>

namespace {

TBroadcastGroups Groups(std::initializer_list<const char*> names) {
    TBroadcastGroups groups;
    int i = 0;
    for (const char* slot : names)
        groups.SetGroup(i++, slot);
    return groups;
}

TBroadcastGroups Numbered(int first, int count) {
    TBroadcastGroups groups;
    for (int i = 0; i < count; ++i)
        groups.SetGroup(i, std::to_string(first + i));
    return groups;
}

// "+ group 5 (1)" for each line: its step, item and slot.
std::vector<std::string> Lines(const TWritePlan& plan) {
    std::vector<std::string> lines;
    for (const TPlanLine& line : plan.Lines)
        lines.push_back(PlanLineText(line).substr(0, 1) + " " + line.Item + " (" + std::to_string(line.Row) +
                        ")");
    return lines;
}

// A ready poll and an add for each group added; the delete of a replace.
constexpr int MailsEachAdd = 2;
// The read after a write that sends anything, which tells what the handset holds.
constexpr int ReadAfter = 1;

} // namespace

TEST(BroadcastGroupsPlan, AnEmptyHandsetGetsTheListsGroupsOnce) {
    const TBroadcastGroups list = Groups({"5", "", "007", "5"});
    const TWritePlan add = PlanBroadcastGroupsWrite(TBroadcastGroups{}, list, false);
    EXPECT_EQ(add.List, "broadcast groups");
    EXPECT_FALSE(add.Replace);
    EXPECT_EQ(Lines(add), (std::vector<std::string>{"+ group 5 (1)", "+ group 7 (3)"}));
    EXPECT_EQ(add.Cost.Mails, 2 * MailsEachAdd + ReadAfter);
    EXPECT_EQ(add.Cost.Bytes, 2 * (14 + 16) + (5 + 2 + 6 + 3 + 16));

    const TWritePlan replace = PlanBroadcastGroupsWrite(TBroadcastGroups{}, list, true);
    EXPECT_EQ(Lines(replace), Lines(add));
    EXPECT_EQ(replace.Cost.Mails, 1 + 2 * MailsEachAdd + ReadAfter);
}

TEST(BroadcastGroupsPlan, TheSameGroupsChangeNothingUnlessAReplaceWouldReorderThem) {
    const TBroadcastGroups held = Groups({"5", "7"});
    for (const bool replace : {false, true}) {
        const TWritePlan plan = PlanBroadcastGroupsWrite(held, Groups({"", "5", "07"}), replace);
        EXPECT_EQ(Lines(plan), (std::vector<std::string>{"= group 5 (2)", "= group 7 (3)"}));
        EXPECT_FALSE(plan.ChangesHandset());
        EXPECT_EQ(plan.Cost.Mails, 0);
    }
    // A replace writes the list's order; an add leaves the handset's.
    const TWritePlan reordered = PlanBroadcastGroupsWrite(held, Groups({"7", "5"}), true);
    EXPECT_TRUE(reordered.OrderDiffers);
    EXPECT_TRUE(reordered.ChangesHandset());
    EXPECT_TRUE(reordered.Matches(false));
    EXPECT_EQ(reordered.Cost.Mails, 1 + 2 * MailsEachAdd + ReadAfter);
    EXPECT_FALSE(PlanBroadcastGroupsWrite(held, Groups({"7", "5"}), false).ChangesHandset());
}

TEST(BroadcastGroupsPlan, OneOtherGroupIsAddedAndAReplaceRemovesTheOneTheListLacks) {
    const TBroadcastGroups held = Groups({"5", "7"});
    const TBroadcastGroups list = Groups({"5", "9"});
    const TWritePlan add = PlanBroadcastGroupsWrite(held, list, false);
    EXPECT_EQ(Lines(add), (std::vector<std::string>{"= group 5 (1)", "+ group 9 (2)"}));
    EXPECT_EQ(add.Cost.Mails, MailsEachAdd + ReadAfter);

    // The delete takes every group: the one kept is added again.
    const TWritePlan replace = PlanBroadcastGroupsWrite(held, list, true);
    EXPECT_EQ(Lines(replace), (std::vector<std::string>{"= group 5 (1)", "+ group 9 (2)", "- group 7 (0)"}));
    EXPECT_EQ(replace.Cost.Mails, 1 + 2 * MailsEachAdd + ReadAfter);
    EXPECT_NE(PlanRemovalWarning(replace).find("deletes 1 entry"), std::string::npos);

    // A replace with an empty list only deletes.
    EXPECT_EQ(PlanBroadcastGroupsWrite(held, TBroadcastGroups{}, true).Cost.Mails, 1 + ReadAfter);
}

TEST(BroadcastGroupsPlan, GroupsBeyondTheSixteenSlotsAreNotWritten) {
    const TBroadcastGroups fifteen = Numbered(0, 15);
    const TWritePlan plan = PlanBroadcastGroupsWrite(fifteen, Groups({"20", "21", "3", "22"}), false);
    EXPECT_EQ(Lines(plan), (std::vector<std::string>{"+ group 20 (1)", "! group 21 (2)", "= group 3 (3)",
                                                     "! group 22 (4)"}));
    EXPECT_EQ(plan.Lines[1].Reason, "the handset's 16 group slots are full");
    EXPECT_EQ(PlanLineText(plan.Lines[1]), "! line 2: group 21 (the handset's 16 group slots are full)");
    // The add, and the read that tells what the handset holds when the write stops at group 21.
    EXPECT_EQ(plan.Cost.Mails, MailsEachAdd + 1 + ReadAfter);

    // A full handset takes none; nothing changes, but the list is not what it holds.
    const TWritePlan none = PlanBroadcastGroupsWrite(Numbered(0, 16), Groups({"20"}), false);
    EXPECT_FALSE(none.ChangesHandset());
    EXPECT_FALSE(none.Matches(false));
    EXPECT_EQ(none.Cost.Mails, 1 + ReadAfter);

    // A replace frees the slots first: sixteen other groups all fit.
    const TWritePlan replace = PlanBroadcastGroupsWrite(Numbered(0, 16), Numbered(100, 16), true);
    EXPECT_EQ(replace.Count(TPlanStep::Add), 16);
    EXPECT_EQ(replace.Removed(), 16);
    EXPECT_EQ(replace.Count(TPlanStep::NotWritten), 0);
    EXPECT_EQ(replace.Cost.Mails, 1 + 16 * MailsEachAdd + ReadAfter);
}
