#pragma once

#include <cstdint>
#include <vector>

// The mails of the handset's protocol and the answers that say how they went, as mail text (two
// upper-case hex digits a byte, a blank between them): one name for each, where the program's
// operations send them and look at their answers. The frame bytes, the probe and its count are in
// SendMailHandling.h.
namespace MailCode {

// Memory, with short answers; followed by the count and the address (low, high), and a write's bytes.
inline constexpr const char* ReadMemory = "02 3C 08 00 ";
inline constexpr const char* WriteMemory = "02 3B 08 00 ";

// Questions with short answers.
inline constexpr const char* Software = "02 5D 16";      // software part number and PCS
inline constexpr const char* LongestMail = "02 5D 47";   // the longest mail the handset takes
inline constexpr const char* Ready = "02 5D 46";         // readiness: 01 ready, 00 not yet
inline constexpr const char* SimOpening = "00 54 01 01"; // opens a SIM transfer
inline constexpr const char* SimClosing = "02 5D 31";    // closes it

// The phone book's framed mails.
inline constexpr const char* PhonebookCapacity = "0D 09";
// The broadcast groups': read them, remove them all, add one (followed by its number).
inline constexpr const char* ReadGroups = "0D 20";
inline constexpr const char* DeleteGroups = "0D 21";
inline constexpr const char* AddGroup = "0D 22 ";
// The ringer test: followed by the tone and 01.
inline constexpr const char* RingerTest = "05 4C ";
inline constexpr const char* PhonebookDelete = "0D 07 00";
// Followed by an entry's index (from 0): its number, its name.
inline constexpr const char* ReadNumber = "0D 04 ";
inline constexpr const char* ReadName = "0D 03 ";
// Followed by the count and the bytes of a new entry's number, then of its name.
inline constexpr const char* AppendNumber = "0D 06 00 ";
inline constexpr const char* AppendName = "0D 05 00 ";

} // namespace MailCode

// The answers that say how a phone book mail went.
namespace MailAnswer {

inline constexpr const char* NumberTaken = "06 CC";
inline constexpr const char* NameTaken = "05 CC";
inline constexpr const char* PhonebookDeleted = "07 CC";
// To "0D 04 i" and "0D 03 i": the answer's own code, and no entry i, and a request it could not take.
inline constexpr const char* Number = "04 ";
inline constexpr const char* NoNumber = "04 FF";
inline constexpr const char* NumberRefused = "04 EE";
inline constexpr const char* Name = "03";
inline constexpr const char* NoName = "03 FF";
inline constexpr const char* NameRefused = "03 EE";

} // namespace MailAnswer

// A mail text's bytes ("0D 06 00 " gives 0D 06 00): how the virtual handset knows the mails it answers.
std::vector<uint8_t> MailBytes(const char* text);
