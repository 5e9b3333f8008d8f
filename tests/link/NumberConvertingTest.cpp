#include "link/NumberConverting.h"
#include "link/Error_Std.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

TEST(ErrorText, JoinsMessageUnitAndFunctionWithCarriageReturns) {
    EXPECT_EQ(ErrorText("Oops", "Unit1", "F(x)"), "Oops\r\rUnit: Unit1\rFunction: F(x)");
}

TEST(Hex2Dec, ReadsEitherCaseAndKeepsLowByte) {
    EXPECT_EQ(Hex2Dec("0a"), 10);
    EXPECT_EQ(Hex2Dec("1FF"), 0xFF);
    EXPECT_EQ(Hex2Dec("12345678"), 0x78);
    EXPECT_EQ(Hex2Dec("0000000000AB"), 0xAB);
    EXPECT_EQ(ByteToHex(0x0A) + ByteToHex(0xCF), "0ACF");
}

TEST(Hex2Dec, RejectsAnythingButHexDigits) {
    for (const char* bad : {"", "G1", "3 ", " 3", "0x1", "-1", "+1", "123456789"})
        EXPECT_THROW(Hex2Dec(bad), ENumberConvertingError) << '"' << bad << '"';
}

TEST(Hex2Int64, WidensThirtyTwoBitsWithSign) {
    EXPECT_EQ(Hex2Int64("80000000"), -2147483648LL);
    EXPECT_EQ(Hex2Int64("00FFFFFFFF"), -1);
    EXPECT_EQ(Hex2Int64("7fffffff"), 2147483647LL);
    try {
        Hex2Int64("100000000");
        FAIL();
    } catch (const ENumberConvertingError& e) {
        EXPECT_EQ(std::string(e.what()), "\"100000000\" is not a valid Hex value\r\rUnit: NumberConverting\r"
                                         "Function: Hex2Int64(s:string): Int64");
    }
}

TEST(TextChecks, EmptyTextIsNeitherHexNorDigits) {
    EXPECT_FALSE(IsHexText("", true));
    EXPECT_FALSE(IsDigitText(""));
    EXPECT_TRUE(IsHexText("0a F", true));
    EXPECT_FALSE(IsHexText("0a F", false));
    EXPECT_TRUE(IsDigitText(std::string(300, '7')));
    EXPECT_FALSE(IsDigitText("12a"));
}

TEST(Bits, GetAndSetSingleBits) {
    EXPECT_EQ(GetBit(31, 0x80000000U), 1);
    EXPECT_EQ(GetBit(0, 0xFFFFFFFEU), 0);
    uint8_t value = 0x10;
    SetBit(value, 7, true);
    SetBit(value, 4, false);
    EXPECT_EQ(value, 0x80);
}

TEST(CopyBytes, CopiesSliceOnlyInsideBothBuffers) {
    const std::vector<uint8_t> source{1, 2, 3, 4, 5};
    std::array<uint8_t, 4> destination{9, 9, 9, 9};
    EXPECT_TRUE(CopyBytes(destination, source, 3, 2));
    EXPECT_EQ(destination, (std::array<uint8_t, 4>{3, 4, 5, 9}));
    EXPECT_FALSE(CopyBytes(destination, source, 2, 4));
    EXPECT_FALSE(CopyBytes(destination, std::vector<uint8_t>(10), 5, 0));
    EXPECT_FALSE(CopyBytes(destination, source, 2, 65534));
    EXPECT_EQ(destination, (std::array<uint8_t, 4>{3, 4, 5, 9}));
}
