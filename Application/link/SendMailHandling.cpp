#include "link/SendMailHandling.h"

#include "link/Error_Std.h"
#include "link/NumberConverting.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace {

using FrameByte::AnswerMarker;
using FrameByte::FramedCommand;
using FrameByte::MailMarker;
using FrameByte::SyncByte;
constexpr int FrameOverhead = 5;        // FF FF 4D, command, length ... checksum
constexpr int ShortAnswerOverhead = 5;  // 4D, any, n, 3D ... checksum
constexpr int FramedAnswerOverhead = 6; // any, any, 4D, 0D, n ... checksum
constexpr size_t MaxAnswerBytes = 200;

constexpr char MailUnit[] = "SndMail";
constexpr char CorrectMailFunction[] = "TMailControl.CorrectMail(s: string): string";
constexpr char BuildFrameFunction[] = "TMailControl.BuildFrame(s: string): boolean";
constexpr char RcvArrayFunction[] = "TMailControl.RcvArray(var buf: array of byte): byte";

std::string TrimSpaces(const std::string& s) {
    const size_t first = s.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    const size_t last = s.find_last_not_of(' ');
    return s.substr(first, last - first + 1);
}

// RxBuf position of the answer's first data byte in the expected layout.
int AnswerDataStart(const TMail& mail) {
    return mail.FramedAnswer ? mail.TxLength + 6 : mail.TxLength + 5;
}

// Cuts a corrected mail text into bytes, two characters at a time.
std::vector<uint8_t> CutBytes(std::string rest) {
    std::vector<uint8_t> bytes;
    while (!rest.empty()) {
        bytes.push_back(Hex2Dec(rest.substr(0, 2)));
        rest.erase(0, std::min<size_t>(2, rest.size()));
        rest = TrimSpaces(rest);
    }
    return bytes;
}

} // namespace

std::vector<uint8_t> MailBytes(const std::string& text) {
    return CutBytes(CorrectMail(text));
}

uint8_t RxByte(const TMail& mail, int pos) {
    if (pos < 1 || pos >= RxBufSize)
        return 0;
    return mail.RxBuf[static_cast<size_t>(pos)];
}

std::string CorrectMail(const std::string& s) {
    std::string t = s;
    std::transform(t.begin(), t.end(), t.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    t = TrimSpaces(t);
    if (t.empty())
        throw EMailControlError(ErrorText("Length of s = 0", MailUnit, CorrectMailFunction));
    if (!IsHexText(s, true))
        throw EMailControlError(ErrorText("Invalid Hex Value (" + s + ")", MailUnit, CorrectMailFunction));

    // at(p) is the character at 1-based position p, as the walks below count.
    auto at = [&t](size_t p) { return t[p - 1]; };

    if (t.size() == 1 || at(2) == ' ')
        t.insert(t.begin(), '0');
    if (at(t.size() - 1) == ' ')
        t.insert(t.end() - 1, '0');
    if (t.size() > 5) {
        for (size_t i = t.size(); i >= 3; --i) {
            if (at(i) == ' ' && at(i - 1) == ' ')
                t.erase(i - 1, 1);
        }
    }
    if (t.size() >= 3) {
        for (size_t i = t.size(); i >= 3; --i) {
            if (at(i) == ' ' && (at(i - 1) == ' ' || at(i - 2) == ' '))
                t.insert(t.begin() + std::ptrdiff_t(i - 2), '0');
        }
    }
    return t;
}

bool BuildFrame(TMail& mail, const std::string& text) {
    mail.RxBuf.fill(0);
    mail.TxFrame.fill(0);
    mail.AnswerOK = false;
    mail.TxLength = 0;
    mail.ExpectedLength = 0;

    mail.MailText = CorrectMail(text);
    const std::vector<uint8_t> bytes = CutBytes(mail.MailText);
    if (bytes.size() > static_cast<size_t>(MaxMailBytes))
        throw EMailControlError(ErrorText("Mail longer than 251 bytes", MailUnit, BuildFrameFunction));
    if (bytes.empty())
        return false;

    const size_t k = bytes.size();
    mail.TxFrame[0] = SyncByte;
    mail.TxFrame[1] = SyncByte;
    mail.TxFrame[2] = MailMarker;
    mail.TxFrame[3] = bytes[0];
    mail.TxFrame[4] = static_cast<uint8_t>(k - 1);
    uint8_t checksum = 0;
    for (size_t j = 1; j < k; ++j) {
        mail.TxFrame[4 + j] = bytes[j];
        checksum = static_cast<uint8_t>(checksum + bytes[j]);
    }
    mail.TxFrame[k + 4] = checksum;

    const auto e = static_cast<uint16_t>(k + FrameOverhead);
    mail.TxLength = e;
    // The handset does not answer a memory write when the short answer is expected.
    const bool unansweredWrite = k >= 2 && bytes[0] == 0x02 && bytes[1] == 0x3B;
    if (mail.FramedAnswer)
        mail.ExpectedLength = static_cast<uint16_t>(e + 5);
    else if (unansweredWrite)
        mail.ExpectedLength = e;
    else
        mail.ExpectedLength = static_cast<uint16_t>(e + 4);
    return true;
}

uint8_t AnswerLength(const TMail& mail) {
    const int e = mail.TxLength;
    if (mail.FramedAnswer) {
        const int n = RxByte(mail, e + 5);
        if (RxByte(mail, e + 3) == MailMarker && RxByte(mail, e + 4) == FramedCommand &&
            mail.RxCount == e + n + FramedAnswerOverhead)
            return static_cast<uint8_t>(n);
    } else {
        const int n = RxByte(mail, e + 3);
        if (RxByte(mail, e + 1) == MailMarker && RxByte(mail, e + 4) == AnswerMarker &&
            mail.RxCount == e + n + ShortAnswerOverhead)
            return static_cast<uint8_t>(n);
    }
    return 0;
}

bool ChecksumOK(const TMail& mail) {
    if (AnswerLength(mail) == 0)
        return false;
    const int e = mail.TxLength;
    const int first = mail.FramedAnswer ? e + 6 : e + 4;
    uint8_t sum = 0;
    for (int pos = first; pos < mail.RxCount; ++pos)
        sum = static_cast<uint8_t>(sum + RxByte(mail, pos));
    return sum == RxByte(mail, mail.RxCount);
}

uint8_t BuildAnswerText(TMail& mail) {
    mail.AnswerText.clear();
    const uint8_t n = AnswerLength(mail);
    if (n > 0) {
        const int start = AnswerDataStart(mail);
        std::vector<uint8_t> data(n);
        for (int i = 0; i < n; ++i)
            data[static_cast<size_t>(i)] = RxByte(mail, start + i);
        mail.AnswerText = SpacedHex(data);
    }
    return n;
}

uint8_t RcvArray(const TMail& mail, std::span<uint8_t> buf) {
    const size_t n = std::min<size_t>(AnswerLength(mail), buf.size());
    if (n > MaxAnswerBytes)
        throw EMailControlError(ErrorText("AnswerLength > 200", MailUnit, RcvArrayFunction));
    const int start = AnswerDataStart(mail);
    for (size_t i = 0; i < n; ++i)
        buf[i] = RxByte(mail, start + static_cast<int>(i));
    return static_cast<uint8_t>(n);
}

uint8_t MailByte(const TMail& mail, int index) {
    const int k = mail.TxLength - FrameOverhead;
    if (index < 1 || index > k)
        return 0;
    return index == 1 ? mail.TxFrame[3] : mail.TxFrame[static_cast<size_t>(3 + index)];
}

bool IsWriteMail(const TMail& mail) {
    const uint8_t third = MailByte(mail, 3);
    return MailByte(mail, 1) == 0x02 && MailByte(mail, 2) == 0x3B && (third == 0x08 || third == 0x02) &&
           MailByte(mail, 4) == 0x00;
}

std::string HexWithTrailingSpaces(std::span<const uint8_t> bytes) {
    return bytes.empty() ? std::string() : SpacedHex(bytes) + ' ';
}
