// The phone book table and the name and number codec.
#include "link/NumberConverting.h"
#include "lists/DockingStationPhoneBookConverter.h"
#include "lists/PP5Phonebook.h"

#include <gtest/gtest.h>

namespace {

TEST(Phonebook, NumbersAreNormalisedAndCut) {
    TPP5Phonebook book;
    book.SetCount(200);
    book.SetNumber(0, "12-34 56");
    EXPECT_EQ(book.GetNumber(0), "12P3456");
    book.SetNumber(1, std::string(30, '7'));
    EXPECT_EQ(book.GetNumber(1), std::string(23, '7'));
    book.SetName(2, std::string(24, 'a') + "b");
    EXPECT_EQ(book.GetName(2), std::string(24, 'a'));
    EXPECT_EQ(book.GetName(300), "");
}

TEST(Phonebook, HasNumberComparesNormalisedFormsOfEntriesInUse) {
    TPP5Phonebook book;
    book.SetCount(3);
    book.SetNumber(0, "12 34");
    book.SetNumber(1, "55p");
    EXPECT_TRUE(book.HasNumber("1234"));
    EXPECT_FALSE(book.HasNumber("12-34")) << "the pause is no dash";
    EXPECT_FALSE(book.HasNumber("55P")) << "p and P are different characters";
    EXPECT_FALSE(book.HasNumber(""));
    EXPECT_EQ(book.CountNumbers(), 2);

    book.SetNumber(5, "999");
    EXPECT_FALSE(book.HasNumber("999")) << "entry 5 is beyond the count";
}

TEST(Phonebook, ShrinkingEmptiesWhatIsNoLongerShown) {
    TPP5Phonebook book;
    book.SetCount(200);
    for (uint16_t i = 0; i < 200; ++i)
        book.SetNumber(i, std::to_string(i + 1));
    book.SetCount(80);
    book.SetCount(200);
    EXPECT_EQ(book.GetNumber(79), "80");
    EXPECT_EQ(book.GetNumber(80), "");
    EXPECT_EQ(book.CountNumbers(), 80);
    book.Clear();
    EXPECT_EQ(book.CountNumbers(), 0);
}

TEST(Codec, NumbersPackTwoDialCharactersAByte) {
    const TDSPBC codec;
    EXPECT_EQ(codec.EncodeNumber("1234"), "03 12 34 FF");
    EXPECT_EQ(codec.EncodeNumber("12*#P"), "03 12 BC DF");
    EXPECT_EQ(codec.EncodeNumber("5"), "01 5F");
    EXPECT_EQ(codec.EncodeNumber(""), "01 FF");
    EXPECT_EQ(codec.EncodeNumber("1p-"), "02 1D DF");

    EXPECT_EQ(codec.DecodeNumber("04 12 BC DF"), "12*#P");
    EXPECT_EQ(codec.DecodeNumber("04 1D 2F"), "1P2");
    EXPECT_EQ(codec.DecodeNumber("04 FF"), "");
    EXPECT_EQ(codec.DecodeNumber("04 1F 2F"), "12");
    EXPECT_EQ(codec.DecodeNumber("04 AE"), "AE");
    EXPECT_EQ(codec.DecodeNumber("04"), "");
}

TEST(Codec, NamesAreTheirByteCodes) {
    const TDSPBC codec;
    EXPECT_EQ(codec.EncodeName("Bob"), "03 42 6F 62");
    EXPECT_EQ(codec.EncodeName(""), "00");
    EXPECT_EQ(codec.EncodeName("\xE9"), "01 E9");
    EXPECT_EQ(codec.DecodeName("03 42 6F 62"), "Bob");
    EXPECT_EQ(codec.DecodeName("03 E9 "), "\xE9");
    EXPECT_EQ(codec.DecodeName("03"), "");
    EXPECT_THROW(codec.DecodeName("03 4G"), ENumberConvertingError);
}

TEST(StringHelpers, PadLeftAndRemoveSpaces) {
    EXPECT_EQ(PadLeft("7", '0', 3), "007");
    EXPECT_EQ(PadLeft("1234", '0', 3), "1234");
    EXPECT_EQ(RemoveSpaces(" 1 2  3 "), "123");
}

} // namespace
