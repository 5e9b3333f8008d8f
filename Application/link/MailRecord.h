#pragma once

// The byte fields are written as SpacedHex gives them.
#include "link/NumberConverting.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// One transaction with the handset as a recording keeps it: one JSON object a line, so that a
// recording can be sent, read, and replayed against the virtual handset.
//
//   {"time":"2026-01-05T09:12:44.201Z","port":"COM3","handset":"00291 0284280","mail":"02 3C 08 00 01 00
//   00","framed":false,
//    "sent":"FF FF 4D 02 06 3C 08 00 01 00 00 45","received":"FF FF ... 4D 02 01 3D AA E7",
//    "answer":"AA","checksum":"OK","elapsed_ms":3,"try":1,"line":"open"}
struct TMailRecord {
    // When the frame was sent, ISO 8601 in UTC.
    std::string Time;
    std::string Port;
    // The serial number text of the handset's SIM ("no SIM" when it has left), once the connection step
    // has read it; empty before.
    std::string Handset;
    // The mail text as corrected for framing.
    std::string Mail;
    // The answer layout that was expected: framed (true) or short.
    bool Framed = false;
    // The frame as sent, and every byte received until the answer was taken, the echo included.
    std::vector<uint8_t> Sent;
    std::vector<uint8_t> Received;
    // The answer's data bytes as the engine handed them on; empty for no valid answer.
    std::string Answer;
    bool ChecksumOK = false;
    int64_t ElapsedMs = 0;
    // Which send of the same request this was, from 1 (retries of reads, writes and the probe).
    int Try = 1;
    // The line was still open when the transaction ended; a handset that hung up closes it.
    bool LineOpen = true;

    bool operator==(const TMailRecord&) const = default;
};

// A line that is not a record; the message says what is wrong with it.
class EMailRecordError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Lines longer than this are no record (a real one stays under 2 KiB).
constexpr std::size_t MaxMailRecordLine = 64 * 1024;

// The record as one line of JSON, without the line end.
std::string MailRecordLine(const TMailRecord& record);

// The record of one line (without its line end). Keys it does not know are passed over; "sent" must be
// a request frame. Raises EMailRecordError.
TMailRecord ParseMailRecordLine(std::string_view line);
