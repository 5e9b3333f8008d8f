// The line form of a recorded transaction: what is written reads back the same, and a damaged line is
// refused with a reason.
#include "link/MailRecord.h"

#include <gtest/gtest.h>

namespace {

TMailRecord Probe() {
    TMailRecord record;
    record.Time = "2026-01-05T09:12:44.201Z";
    record.Port = "COM3";
    record.Mail = "02 3C 08 00 01 00 00";
    record.Sent = {0xFF, 0xFF, 0x4D, 0x02, 0x06, 0x3C, 0x08, 0x00, 0x01, 0x00, 0x00, 0x45};
    record.Received = record.Sent;
    for (const uint8_t b : {0x4D, 0x02, 0x01, 0x3D, 0xAA, 0xE7})
        record.Received.push_back(b);
    record.Answer = "AA";
    record.ChecksumOK = true;
    record.ElapsedMs = 3;
    return record;
}

std::string Refusal(const std::string& line) {
    try {
        ParseMailRecordLine(line);
    } catch (const EMailRecordError& e) {
        return e.what();
    }
    return "accepted";
}

TEST(MailRecord, ReadsBackWhatItWrites) {
    TMailRecord record = Probe();
    EXPECT_EQ(
        MailRecordLine(record),
        R"({"time":"2026-01-05T09:12:44.201Z","port":"COM3","mail":"02 3C 08 00 01 00 00","framed":false,)"
        R"("sent":"FF FF 4D 02 06 3C 08 00 01 00 00 45",)"
        R"("received":"FF FF 4D 02 06 3C 08 00 01 00 00 45 4D 02 01 3D AA E7","answer":"AA",)"
        R"("checksum":"OK","elapsed_ms":3,"try":1,"line":"open"})");
    EXPECT_EQ(ParseMailRecordLine(MailRecordLine(record)), record);

    // Silence after a hang-up, a retry, and texts that need escaping.
    record.Received.clear();
    record.Answer.clear();
    record.ChecksumOK = false;
    record.Try = 3;
    record.LineOpen = false;
    record.Framed = true;
    record.Port = "COM\"3\\\x01";
    EXPECT_EQ(ParseMailRecordLine(MailRecordLine(record)), record);
}

TEST(MailRecord, TakesBlanksUnknownKeysAndMissingDetails) {
    const TMailRecord record = ParseMailRecordLine(
        R"( { "mail" : "0D 09", "sent": "FF FF 4D 0D 01 09 09", "received": "", "note": "by hand", "x": 5 } )");
    EXPECT_EQ(record.Mail, "0D 09");
    EXPECT_EQ(record.Sent.size(), 7u);
    EXPECT_TRUE(record.Received.empty());
    EXPECT_EQ(record.Try, 1);
    EXPECT_TRUE(record.LineOpen);
}

TEST(MailRecord, RefusesDamagedLinesWithTheReason) {
    const std::string good = MailRecordLine(Probe());
    EXPECT_EQ(Refusal(""), "not a JSON object (it does not begin with '{')");
    EXPECT_EQ(Refusal("\x7F"
                      "ELF\x02\x01"),
              "not a JSON object (it does not begin with '{')");
    EXPECT_EQ(Refusal(good.substr(0, 60)), "cut short: expected the closing '\"' of a text at its end");
    EXPECT_EQ(Refusal(good.substr(0, good.size() - 1)), "cut short: expected ',' or '}' at its end");
    EXPECT_EQ(Refusal(good + "x"),
              "expected the end of the line after the object at column " + std::to_string(good.size() + 1));
    EXPECT_EQ(Refusal(R"({"mail":"02","received":""})"), "\"sent\" is missing");
    EXPECT_EQ(Refusal(R"({"mail":"02","sent":"FF FF 4D 02 00 01","received":""})"),
              "\"sent\" is not a request frame (FF FF 4D, command, length, data, checksum)");
    EXPECT_EQ(Refusal(R"({"mail":"02","sent":"FF FF 4D 02 00 00","received":"4D 0"})"),
              "\"received\" must be bytes as two hex digits each, one blank between, not \"4D 0\"");
    EXPECT_EQ(Refusal(R"({"mail":2,"sent":"FF FF 4D 02 00 00","received":""})"), "\"mail\" must be a text");
    EXPECT_EQ(Refusal(R"({"mail":"02","sent":"FF FF 4D 02 00 00","received":"","try":0})"),
              "\"try\" must be 1 or more, not 0");
    EXPECT_EQ(Refusal(R"({"mail":"02","sent":"FF FF 4D 02 00 00","received":"","line":"gone"})"),
              "\"line\" must be \"open\" or \"closed\", not \"gone\"");
    EXPECT_EQ(Refusal("{\"mail\":\"0\n2\"}"), "a control character inside a text at column 11");
    EXPECT_EQ(Refusal("{\"mail\":\"" + std::string(MaxMailRecordLine, 'A') + "\"}"),
              "longer than 65536 bytes");
}

} // namespace
