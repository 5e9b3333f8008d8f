// The marks a SIM move leaves in the handset's text area, as values.
#include "vsim/SimMark.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace SimMark;

namespace {

const std::string Serial = "00291 0284280";

} // namespace

TEST(SimMark, AMarkNamesItsSerialNumberWholeOrNotAtAll) {
    const std::string out = NewMark(OutPrefix, Serial);
    EXPECT_EQ(out.size(), 33u);
    EXPECT_TRUE(out.starts_with("MOVING OUT 00291 0284280 "));
    EXPECT_NE(out, NewMark(OutPrefix, Serial)) << "each move draws its own";
    EXPECT_EQ(MarkedSerial(out), Serial);
    EXPECT_EQ(MarkedSerial(NewMark(InPrefix, Serial)), Serial);
    EXPECT_EQ(MarkedSerial("MOVING 00291 0284280"), Serial) << "an earlier version's mark";
    EXPECT_EQ(MarkedSerial("MOVING OUT 00291"), std::nullopt) << "a head is no whole mark";
    EXPECT_EQ(MarkedSerial("   NO SIM   "), std::nullopt);
    EXPECT_TRUE(IsMark("MOVING O"));
    EXPECT_FALSE(IsMark("Desk 12"));
}

TEST(SimMark, OnlyTheJournalsOwnMarkIsCarried) {
    const TSimJournal journal{SimMoveState::MovingIn, "/x.sim", "MOVING IN 00291 0284280 0000002A"};
    EXPECT_TRUE(CarriesMark("MOVING IN 00291 0284280 0000002A", Serial, journal));
    EXPECT_FALSE(CarriesMark("MOVING IN 00291 0284280 0000002B", Serial, journal)) << "another move's";
    EXPECT_FALSE(CarriesMark("MOVING 00291 0284280", Serial, journal));
    // A record of an earlier version: its move out without a mark of its own.
    const TSimJournal earlier{SimMoveState::MovingOut, "/x.sim"};
    EXPECT_TRUE(CarriesMark("MOVING 00291 0284280", Serial, earlier));
    EXPECT_FALSE(CarriesMark("MOVING 00291 0284280", Serial, TSimJournal{"", "/x.sim"}));
}

TEST(SimMark, TheAreaIsWrittenWholeAndKeptAsHex) {
    const TTextArea area = AreaOf("   NO SIM   ");
    EXPECT_EQ(DisplayText(area), "   NO SIM   ");
    EXPECT_TRUE(std::all_of(area.begin() + 12, area.end(), [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(DisplayText(AreaOf(std::string(40, 'x'))).size(), 36u) << "cut at the area's end";
    EXPECT_EQ(AreaFromHex(AreaHex(area)), area);
    EXPECT_EQ(AreaFromHex("00"), std::nullopt);
    EXPECT_EQ(AreaFromHex(std::string(72, 'G')), std::nullopt);
}

TEST(SimMark, AWriteOverAMarkCutOffPartWayIsRecognised) {
    const std::string mark = "MOVING OUT 00291 0284280 0000002A";
    const std::string text = "   NO SIM   ";
    TTextArea cut = AreaOf(mark);
    const TTextArea written = AreaOf(text);
    std::copy(written.begin() + 8, written.end(), cut.begin() + 8); // all but the head
    EXPECT_TRUE(PartlyReplaced(cut, mark, text));
    EXPECT_FALSE(PartlyReplaced(written, mark, text)) << "the text whole: nothing is left of the mark";
    EXPECT_TRUE(PartlyReplaced(AreaOf(mark), mark, text));
    // Where the head alone is left, any move's mark fits; where more is left, only its own.
    EXPECT_TRUE(PartlyReplaced(cut, "MOVING OUT 00291 0284280 0000002B", text));
    TTextArea early = AreaOf(mark);
    std::copy(written.begin() + 8, written.begin() + 24, early.begin() + 8);
    EXPECT_TRUE(PartlyReplaced(early, mark, text));
    EXPECT_FALSE(PartlyReplaced(early, "MOVING OUT 00291 0284280 0000002B", text));
}
