// The plan of a speed dial write: one line a key, numbers compared as the handset keeps them, and the
// mails of the block's pieces.
#include "lists/SpeedDialPlan.h"

#include <gtest/gtest.h>

namespace {

TPP5SpeedDial List(std::initializer_list<std::pair<int, const char*>> numbers) {
    TPP5SpeedDial list;
    for (const auto& [key, number] : numbers)
        list.SetNumber(key, number);
    return list;
}

const TPlanLine& Line(const TWritePlan& plan, int key) {
    return plan.Lines.at(size_t(key));
}

} // namespace

TEST(SpeedDialPlan, AnEmptyHandsetGetsTheListAndTheWholeBlockIsCounted) {
    const TWritePlan plan = PlanSpeedDialWrite(TPP5SpeedDial{}, List({{3, "555"}, {10, "#9"}}));
    EXPECT_EQ(plan.List, "speed dial list");
    EXPECT_TRUE(plan.Replace);
    ASSERT_EQ(plan.Lines.size(), size_t(TPP5SpeedDial::Keys));
    EXPECT_EQ(Line(plan, 3).Step, TPlanStep::Add);
    EXPECT_EQ(Line(plan, 3).Item, "Key_3");
    EXPECT_EQ(Line(plan, 3).After, "555");
    EXPECT_EQ(Line(plan, 10).Item, "Key_Alarm");
    EXPECT_EQ(Line(plan, 10).After, "#9");
    EXPECT_EQ(plan.Count(TPlanStep::Keep), 9);
    // 132 bytes in pieces of 8: 17 pieces, each written and read back.
    // Each piece written and checked, then the block read once more to tell what the handset holds.
    EXPECT_EQ(plan.Cost.Mails, 34 + 17);
    EXPECT_EQ(plan.Cost.Bytes, 16 * (20 + 25 + 25) + (16 + 21 + 21));
    // Larger pieces, fewer mails.
    EXPECT_EQ(PlanSpeedDialWrite(TPP5SpeedDial{}, List({{0, "1"}}), 32).Cost.Mails, 15);
}

TEST(SpeedDialPlan, NumbersAreComparedAsTheHandsetKeepsThem) {
    // The handset gives a pause back as "-": a list with "P" or "p" is what it holds already.
    const TPP5SpeedDial held = List({{0, "12-3"}, {4, "*#"}});
    const TWritePlan plan = PlanSpeedDialWrite(held, List({{0, "12P3"}, {4, "*#"}}));
    EXPECT_FALSE(plan.ChangesHandset());
    EXPECT_TRUE(plan.Matches(true));
    EXPECT_EQ(plan.Count(TPlanStep::Keep), TPP5SpeedDial::Keys);
    EXPECT_EQ(Line(plan, 0).Before, "12-3");
    EXPECT_EQ(plan.Cost.Mails, 0) << "a write that changes nothing sends nothing";
    EXPECT_EQ(PlanSpeedDialWrite(held, List({{0, "12p3"}, {4, "*#"}})).Cost.Mails, 0);
}

TEST(SpeedDialPlan, EachKeyIsAddedRemovedOrChanged) {
    const TWritePlan plan =
        PlanSpeedDialWrite(List({{1, "100"}, {2, "200"}}), List({{1, "101"}, {5, "500"}}));
    EXPECT_EQ(Line(plan, 1).Step, TPlanStep::Change);
    EXPECT_EQ(Line(plan, 1).Before, "100");
    EXPECT_EQ(Line(plan, 1).After, "101");
    EXPECT_EQ(Line(plan, 2).Step, TPlanStep::Remove);
    EXPECT_EQ(Line(plan, 2).Before, "200");
    EXPECT_EQ(Line(plan, 5).Step, TPlanStep::Add);
    EXPECT_EQ(PlanCountsText(plan), "1 to add, 1 to remove, 1 to change, 8 kept; 51 mails");
}

TEST(SpeedDialPlan, AFullHandsetOfLongestNumbersSeesOnlyTheDigitThatDiffers) {
    TPP5SpeedDial held;
    for (int k = 0; k < TPP5SpeedDial::Keys; ++k)
        held.SetNumber(k, std::string(TPP5SpeedDial::MaxNumberLength, char('0' + k % 10)));
    TPP5SpeedDial wanted = held;
    wanted.Numbers[7].back() = '#';
    const TWritePlan plan = PlanSpeedDialWrite(held, wanted);
    EXPECT_EQ(plan.Count(TPlanStep::Keep), TPP5SpeedDial::Keys - 1);
    EXPECT_EQ(Line(plan, 7).Step, TPlanStep::Change);
    EXPECT_EQ(Line(plan, 7).After, std::string(22, '7') + "#");

    const TWritePlan cleared = PlanSpeedDialWrite(held, TPP5SpeedDial{});
    EXPECT_EQ(cleared.Removed(), TPP5SpeedDial::Keys);
    EXPECT_EQ(cleared.Cost.Mails, 34 + 17);
}
