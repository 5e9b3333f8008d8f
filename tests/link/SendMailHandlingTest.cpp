#include "link/SendMailHandling.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Frame(const TMail& mail) {
    return Bytes(mail.TxFrame.begin(), mail.TxFrame.begin() + mail.TxLength);
}

void Receive(TMail& mail, const Bytes& bytes) {
    for (uint8_t b : bytes)
        mail.RxBuf[++mail.RxCount] = b;
}

// The line echoes the frame before the handset's answer.
TMail Sent(const std::string& text, bool framedAnswer = false) {
    TMail mail;
    mail.FramedAnswer = framedAnswer;
    EXPECT_TRUE(BuildFrame(mail, text));
    Receive(mail, Frame(mail));
    return mail;
}

Bytes ShortAnswerWith(const Bytes& data) {
    Bytes answer{0x4D, 0x00, static_cast<uint8_t>(data.size()), 0x3D};
    uint8_t sum = 0x3D;
    for (uint8_t b : data) {
        answer.push_back(b);
        sum = static_cast<uint8_t>(sum + b);
    }
    answer.push_back(sum);
    return answer;
}

std::string ErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "no error";
}

const Bytes ReadAnswer{0x4D, 0x00, 0x02, 0x3D, 0x06, 0xCC, 0x0F};

} // namespace

TEST(CorrectMail, WidensSingleDigits) {
    EXPECT_EQ(CorrectMail("2 3c 8 0 1 0 0"), "02 3C 08 00 01 00 00");
    EXPECT_EQ(CorrectMail("02 3"), "02 03");
    EXPECT_EQ(CorrectMail("02 3 08"), "02 03 08");
}

TEST(CorrectMail, ShrinksSpaceRunsButKeepsDigitRuns) {
    EXPECT_EQ(CorrectMail("  02   5D  16 "), "02 5D 16");
    EXPECT_EQ(CorrectMail("023C0800"), "023C0800");
}

TEST(CorrectMail, RejectsEmptyAndNonHexText) {
    const std::string function = "\r\rUnit: SndMail\rFunction: TMailControl.CorrectMail(s: string): string";
    EXPECT_EQ(ErrorOf([] { CorrectMail(""); }), "Length of s = 0" + function);
    EXPECT_EQ(ErrorOf([] { CorrectMail("   "); }), "Length of s = 0" + function);
    EXPECT_EQ(ErrorOf([] { CorrectMail("02,3C"); }), "Invalid Hex Value (02,3C)" + function);
    EXPECT_THROW(CorrectMail("02\t3C"), EMailControlError);
}

TEST(BuildFrame, SumsDataBytesOnly) {
    TMail mail;
    ASSERT_TRUE(BuildFrame(mail, "2 3c 8 0 1 0 0"));
    EXPECT_EQ(mail.MailText, "02 3C 08 00 01 00 00");
    EXPECT_EQ(Frame(mail), (Bytes{0xFF, 0xFF, 0x4D, 0x02, 0x06, 0x3C, 0x08, 0x00, 0x01, 0x00, 0x00, 0x45}));
    ASSERT_TRUE(BuildFrame(mail, "  02   5D  16 "));
    EXPECT_EQ(Frame(mail), (Bytes{0xFF, 0xFF, 0x4D, 0x02, 0x02, 0x5D, 0x16, 0x73}));
    ASSERT_TRUE(BuildFrame(mail, "0D"));
    EXPECT_EQ(Frame(mail), (Bytes{0xFF, 0xFF, 0x4D, 0x0D, 0x00, 0x00}));
}

TEST(BuildFrame, CutsUnspacedTextIntoPairs) {
    TMail mail;
    ASSERT_TRUE(BuildFrame(mail, "023C0800"));
    EXPECT_EQ(Frame(mail), (Bytes{0xFF, 0xFF, 0x4D, 0x02, 0x03, 0x3C, 0x08, 0x00, 0x44}));
    EXPECT_EQ(ErrorOf([&] { BuildFrame(mail, "123 45"); }),
              "\"3 \" is not a valid Hex value\r\rUnit: NumberConverting\rFunction: Hex2Dec(s: string):byte");
}

TEST(BuildFrame, ExpectedLengthFollowsAnswerLayout) {
    TMail mail;
    BuildFrame(mail, "02 3C 08 00 01 00 00");
    EXPECT_EQ(mail.ExpectedLength, 12 + 4);
    BuildFrame(mail, "02 3B 08 00 01 00 00 AA");
    EXPECT_EQ(mail.ExpectedLength, 13);
    mail.FramedAnswer = true;
    BuildFrame(mail, "02 3B 08 00 01 00 00 AA");
    EXPECT_EQ(mail.ExpectedLength, 13 + 5);
}

TEST(BuildFrame, LongestMailFillsWholeFrame) {
    TMail mail;
    std::string text = "0D";
    for (int i = 1; i < MaxMailBytes; ++i)
        text += " 01";
    ASSERT_TRUE(BuildFrame(mail, text));
    EXPECT_EQ(mail.TxLength, 256);
    EXPECT_EQ(mail.ExpectedLength, 260);
    EXPECT_EQ(mail.TxFrame[4], 250);
    EXPECT_EQ(mail.TxFrame[255], 250);
}

TEST(BuildFrame, RefusesMailTooLongForFrame) {
    TMail mail;
    BuildFrame(mail, "0D 09");
    EXPECT_EQ(
        ErrorOf([&] { BuildFrame(mail, std::string(2 * (MaxMailBytes + 1), 'A')); }),
        "Mail longer than 251 bytes\r\rUnit: SndMail\rFunction: TMailControl.BuildFrame(s: string): boolean");
    EXPECT_EQ(mail.TxLength, 0);
    EXPECT_EQ(mail.TxFrame[0], 0);
}

TEST(ShortAnswer, RoundTripAfterEcho) {
    TMail mail = Sent("02 3C 08 00 01 00 00");
    Receive(mail, ReadAnswer);
    ASSERT_EQ(mail.RxCount, 19);
    EXPECT_EQ(AnswerLength(mail), 2);
    EXPECT_TRUE(ChecksumOK(mail));
    EXPECT_EQ(BuildAnswerText(mail), 2);
    EXPECT_EQ(mail.AnswerText, "06 CC");
    std::array<uint8_t, 4> buf{7, 7, 7, 7};
    EXPECT_EQ(RcvArray(mail, buf), 2);
    EXPECT_EQ(buf, (std::array<uint8_t, 4>{0x06, 0xCC, 7, 7}));
}

TEST(ShortAnswer, OneByteMoreOrLessOrNoDataIsNoAnswer) {
    const Bytes tooLong = [] {
        Bytes b = ReadAnswer;
        b.push_back(0x00);
        return b;
    }();
    for (const Bytes& answer :
         {tooLong, Bytes(ReadAnswer.begin(), ReadAnswer.end() - 1), Bytes{0x4D, 0x00, 0x00, 0x3D, 0x3D}}) {
        TMail mail = Sent("02 3C 08 00 01 00 00");
        Receive(mail, answer);
        mail.AnswerText = "stale";
        EXPECT_EQ(AnswerLength(mail), 0);
        EXPECT_FALSE(ChecksumOK(mail));
        EXPECT_EQ(BuildAnswerText(mail), 0);
        EXPECT_EQ(mail.AnswerText, "");
    }
}

TEST(ShortAnswer, BadChecksumStillGivesText) {
    TMail mail = Sent("02 3C 08 00 01 00 00");
    Receive(mail, {0x4D, 0x00, 0x02, 0x3D, 0x06, 0xCC, 0x10});
    EXPECT_FALSE(ChecksumOK(mail));
    EXPECT_EQ(BuildAnswerText(mail), 2);
    EXPECT_EQ(mail.AnswerText, "06 CC");
}

TEST(FramedAnswer, RoundTripSumsDataOnly) {
    TMail mail = Sent("0D 09", true);
    Receive(mail, {0x00, 0x00, 0x4D, 0x0D, 0x02, 0x09, 0xCC, 0xD5});
    EXPECT_EQ(AnswerLength(mail), 2);
    EXPECT_TRUE(ChecksumOK(mail));
    EXPECT_EQ(BuildAnswerText(mail), 2);
    EXPECT_EQ(mail.AnswerText, "09 CC");
    mail.FramedAnswer = false;
    EXPECT_EQ(AnswerLength(mail), 0);
}

TEST(RcvArray, CapsAtBufferBeforeLimit) {
    TMail mail = Sent("0D");
    Receive(mail, ShortAnswerWith(Bytes(30, 0x5A)));
    std::array<uint8_t, 20> small{};
    EXPECT_EQ(RcvArray(mail, small), 20);
    EXPECT_EQ(small.back(), 0x5A);

    TMail big = Sent("0D");
    Receive(big, ShortAnswerWith(Bytes(201, 0x01)));
    std::array<uint8_t, 200> fits{};
    EXPECT_EQ(RcvArray(big, fits), 200);
    std::array<uint8_t, 256> roomy{};
    EXPECT_EQ(
        ErrorOf([&] { RcvArray(big, roomy); }),
        "AnswerLength > 200\r\rUnit: SndMail\rFunction: TMailControl.RcvArray(var buf: array of byte): byte");
}

TEST(IsWriteMail, RecognisesMemoryWrites) {
    auto isWrite = [](const std::string& text) {
        TMail mail;
        BuildFrame(mail, text);
        return IsWriteMail(mail);
    };
    EXPECT_TRUE(isWrite("02 3B 08 00 01 00 00 AA"));
    EXPECT_TRUE(isWrite("02 3B 02 00 01 00 00 AA"));
    EXPECT_FALSE(isWrite("02 3B 04 00 01 00 00 AA"));
    EXPECT_FALSE(isWrite("02 3B 08 01 01 00 00 AA"));
    EXPECT_FALSE(isWrite("02 3C 08 00 01 00 00"));
}

TEST(Helpers, ReadOnlyInsideBuffers) {
    TMail mail = Sent("02 5D 16");
    mail.RxBuf[0] = 0x77;
    EXPECT_EQ(RxByte(mail, 0), 0);
    EXPECT_EQ(RxByte(mail, 3), 0x4D);
    EXPECT_EQ(RxByte(mail, 256), 0);
    EXPECT_EQ(HexWithTrailingSpaces(Bytes{0xFF, 0xFF, 0x4D}), "FF FF 4D ");
}
