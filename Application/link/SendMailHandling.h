#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

// Raised for a malformed mail text and for an answer too long to hand over.
class EMailControlError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The bytes that mark a frame and an answer on the line.
namespace FrameByte {
constexpr uint8_t SyncByte = 0xFF;
constexpr uint8_t MailMarker = 0x4D;    // "M"
constexpr uint8_t AnswerMarker = 0x3D;  // "=", first byte of the short answer's summed part
constexpr uint8_t FramedCommand = 0x0D; // command byte of a framed answer
// Every frame, a mail's and a framed answer's, begins so.
inline constexpr std::array<uint8_t, 3> FrameStart{SyncByte, SyncByte, MailMarker};
} // namespace FrameByte

// The probe of the connection step, of doctor and of the benches: one byte of memory from address 0. A
// docking station echoes every byte; the handset in it answers. The connection step sends it this many
// times before it says nothing answered.
inline constexpr const char* ProbeMail = "02 3C 08 00 01 00 00";
inline constexpr int ProbeTries = 6;

// The longest mail that fits the 256-byte request frame.
constexpr int MaxMailBytes = 251;
constexpr int RxBufSize = 256;

// One transaction: the mail, its frame, every byte received since the send and the verdict.
// RxBuf is indexed from 1 like the received positions; RxBuf[0] is never used.
struct TMail {
    std::string MailText;
    std::array<uint8_t, 256> TxFrame{};
    // Frame lengths are kept wider than a byte so that the longest mails cannot wrap to 0.
    uint16_t TxLength = 0;
    uint16_t ExpectedLength = 0;
    std::string AnswerText;
    std::array<uint8_t, RxBufSize> RxBuf{};
    uint8_t RxCount = 0;
    int64_t Elapsed = 0;
    bool AnswerOK = false;
    bool FramedAnswer = false;
};

// The received byte at position pos (1-based), 0 outside the buffer.
uint8_t RxByte(const TMail& mail, int pos);

// Normalises a mail text: upper case, single spaces, two digits per byte.
std::string CorrectMail(const std::string& s);

// The bytes of a mail text of any length, as BuildFrame cuts them; raises as BuildFrame does.
std::vector<uint8_t> MailBytes(const std::string& text);

// Fills MailText, TxFrame, TxLength and ExpectedLength and clears RxBuf and AnswerOK.
bool BuildFrame(TMail& mail, const std::string& text);

// n when RxBuf holds exactly one complete answer of the expected layout with n data bytes, else 0.
uint8_t AnswerLength(const TMail& mail);
bool ChecksumOK(const TMail& mail);

// Sets AnswerText from the answer's data bytes and gives their number.
uint8_t BuildAnswerText(TMail& mail);

// Copies the answer's data bytes into buf and gives their number.
uint8_t RcvArray(const TMail& mail, std::span<uint8_t> buf);

// True for a memory write mail: bytes 1, 2 and 4 are 02, 3B and 00 and byte 3 is 08 or 02.
bool IsWriteMail(const TMail& mail);

// Byte number index (1-based; 1 is the command byte) of the mail framed in TxFrame, 0 past its end.
uint8_t MailByte(const TMail& mail, int index);

// Hex text of bytes, each as two upper-case digits followed by one space (the monitor's form).
std::string HexWithTrailingSpaces(std::span<const uint8_t> bytes);
