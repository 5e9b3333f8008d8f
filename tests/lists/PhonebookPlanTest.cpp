// The plan of a phone book write, worked out from the handset's list and the table, and its texts.

#include "lists/PhonebookPlan.h"

#include <gtest/gtest.h>

namespace {

TPP5Phonebook Book(std::initializer_list<std::pair<const char*, const char*>> rows, uint8_t capacity = 200) {
    TPP5Phonebook book;
    book.SetCount(capacity);
    int i = 0;
    for (const auto& [name, number] : rows) {
        book.SetName(uint16_t(i), name);
        book.SetNumber(uint16_t(i), number);
        ++i;
    }
    return book;
}

std::vector<std::string> Changes(const TWritePlan& plan) {
    std::vector<std::string> lines;
    for (const TPlanLine& line : plan.Lines)
        if (line.Step != TPlanStep::Keep)
            lines.push_back(PlanLineText(line));
    return lines;
}

TEST(PhonebookPlan, AnEmptyHandsetGetsEveryNumberedRow) {
    const TPP5Phonebook held = Book({});
    const TPP5Phonebook wanted = Book({{"Anna", "030-1234"}, {"", ""}, {"Bob", "0407"}});
    for (const bool replace : {false, true}) {
        const TWritePlan plan = PlanPhonebookWrite(held, wanted, replace);
        EXPECT_EQ(Changes(plan), (std::vector<std::string>{"+ Anna 030P1234", "+ Bob 0407"}));
        EXPECT_TRUE(plan.ChangesHandset());
        // Two mails an entry, the delete of a replace, and the read after the write: two mails an entry
        // and the one that finds the end.
        EXPECT_EQ(plan.Cost.Mails, (replace ? 5 : 4) + 5);
    }
}

TEST(PhonebookPlan, TheSameListChangesNothingAndAVerifyMatches) {
    const TPP5Phonebook held = Book({{"Anna", "0301234"}, {"Bob", "0407"}});
    // Typed as a person types: blanks in the number.
    const TPP5Phonebook wanted = Book({{"Anna", "030 1234"}, {"Bob", "04 07"}});
    TWritePlan plan = PlanPhonebookWrite(held, Book({{"Anna", "0301234"}, {"Bob", "0407"}}), true);
    EXPECT_FALSE(plan.ChangesHandset());
    EXPECT_TRUE(plan.Matches(true));
    EXPECT_EQ(plan.Count(TPlanStep::Keep), 2);
    // An add of what the handset holds skips all and sends nothing.
    plan = PlanPhonebookWrite(held, wanted, false);
    EXPECT_EQ(plan.Count(TPlanStep::Keep), 2);
    EXPECT_EQ(plan.Cost.Mails, 0);
    EXPECT_EQ(PlanCountsText(plan), "2 kept; no mail to send");
}

TEST(PhonebookPlan, AReplaceNamesEachChangeOnce) {
    const TPP5Phonebook held = Book({{"Anna", "0301234"}, {"Bob", "0407"}, {"Carl", "0501"}});
    const TPP5Phonebook wanted = Book({{"Anne", "0301234"}, {"Bob", "0408"}, {"Dora", "0601"}});
    const TWritePlan plan = PlanPhonebookWrite(held, wanted, true);
    EXPECT_EQ(Changes(plan), (std::vector<std::string>{"~ 0301234 Anna -> Anne", "~ Bob 0407 -> 0408",
                                                       "+ Dora 0601", "- Carl 0501"}));
    EXPECT_EQ(plan.Removed(), 1);
    EXPECT_NE(PlanRemovalWarning(plan).find("deletes 1 entry of the handset"), std::string::npos);
    EXPECT_FALSE(plan.Matches(false));
}

TEST(PhonebookPlan, AChangedEntryIsOneLineAsTheHandsetWillHoldIt) {
    // One digit changed in each number: paired by name, not by the number another entry had.
    const TPP5Phonebook held = Book({{"Anna", "111"}, {"Bob", "112"}});
    TWritePlan plan = PlanPhonebookWrite(held, Book({{"Anna", "112"}, {"Bob", "113"}}), true);
    EXPECT_EQ(Changes(plan), (std::vector<std::string>{"~ Anna 111 -> 112", "~ Bob 112 -> 113"}));
    // A lower-case pause is the handset's "P": nothing to write, verify matches, an add skips it.
    const TPP5Phonebook paused = Book({{"Eve", "12P3"}});
    for (const bool replace : {false, true}) {
        plan = PlanPhonebookWrite(paused, Book({{"Eve", "12p3"}}), replace);
        EXPECT_TRUE(plan.Matches(true));
        EXPECT_FALSE(plan.ChangesHandset());
    }
    // Blanks only at the end of a name: a change the text shows.
    plan = PlanPhonebookWrite(Book({{"Alice", "1"}}), Book({{"Alice  ", "1"}}), true);
    EXPECT_EQ(Changes(plan), (std::vector<std::string>{"~ 1 Alice -> \"Alice  \""}));
}

TEST(PhonebookPlan, TheSameEntriesInAnotherOrderMatchOnlyWhenOrderDoesNotCount) {
    const TPP5Phonebook held = Book({{"Anna", "1"}, {"Bob", "2"}});
    const TWritePlan plan = PlanPhonebookWrite(held, Book({{"Bob", "2"}, {"Anna", "1"}}), true);
    EXPECT_TRUE(plan.OrderDiffers);
    EXPECT_TRUE(plan.ChangesHandset());
    EXPECT_TRUE(plan.Matches(false));
    EXPECT_FALSE(plan.Matches(true));
    EXPECT_NE(PlanCountsText(plan).find("in another order"), std::string::npos);
}

TEST(PhonebookPlan, WhatDoesNotFitOrHasNoNumberIsNotWritten) {
    // A handset of three entries holding two: an add has room for one more.
    const TPP5Phonebook held = Book({{"Anna", "1"}, {"Bob", "2"}}, 3);
    const TPP5Phonebook wanted = Book({{"Carl", "3"}, {"Dora", "4"}, {"Eve", ""}}, 3);
    const TWritePlan plan = PlanPhonebookWrite(held, wanted, false);
    EXPECT_EQ(Changes(plan),
              (std::vector<std::string>{"+ Carl 3", "! line 2: Dora 4 (the phone book is full)",
                                        "! line 3: Eve (no number)"}));
    EXPECT_FALSE(plan.Matches(false));
    // A replace empties the handset first: both fit.
    EXPECT_EQ(PlanPhonebookWrite(held, wanted, true).Count(TPlanStep::NotWritten), 1);
}

TEST(PhonebookPlan, NamesAreComparedAsTheHandsetKeepsThem) {
    const std::string longName = "A name longer than the handset keeps";
    const TPP5Phonebook held = Book({{"A name longer than the h", "1"}});
    TPP5Phonebook wanted = Book({});
    wanted.SetName(0, longName);
    wanted.SetNumber(0, "1");
    EXPECT_TRUE(PlanPhonebookWrite(held, wanted, true).Matches(true));
    EXPECT_EQ(NameAsStored(longName), "A name longer than the h");
}

TEST(WritePlanText, CountsMailsAndTheirTimeOnTheLine) {
    TWritePlan plan;
    plan.List = "phone book";
    plan.Replace = true;
    plan.Baud = 115200;
    plan.Lines = {{TPlanStep::Add, "Anna", {}, "1", {}, 1}, {TPlanStep::Keep, "Bob", "2", {}, {}, 2}};
    plan.Cost.Add(400, 288); // 115200 bytes: 10 s at 115200 baud
    EXPECT_EQ(LineTimeMs(plan.Cost, 115200), 10000);
    EXPECT_EQ(PlanCountsText(plan), "1 to add, 1 kept; 400 mails, about 10 s at 115200 baud");
    EXPECT_EQ(PlanText(plan), "The phone book replace: 1 to add, 1 kept; 400 mails, about 10 s at 115200 "
                              "baud.\r+ Anna 1\rkept: 1\r");
    // A link whose mails have taken two and a half times their wire time: so will these.
    plan.Pace = 2.5;
    EXPECT_EQ(EstimatedMs(plan), 25000);
    EXPECT_EQ(PlanCountsText(plan), "1 to add, 1 kept; 400 mails, about 25 s at 115200 baud");
}

} // namespace
