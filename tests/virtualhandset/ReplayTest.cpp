// The handset of a recording, without a line: what it sends back for each frame that arrives.
#include "Replay.h"

#include <gtest/gtest.h>

namespace {

const TBytes Probe{0xFF, 0xFF, 0x4D, 0x02, 0x06, 0x3C, 0x08, 0x00, 0x01, 0x00, 0x00, 0x45};
const TBytes Answer{0x4D, 0x02, 0x01, 0x3D, 0xAA, 0xE7};

TRecordedMail Recorded(TBytes received, std::size_t line, bool open = true) {
    TMailRecord record;
    record.Mail = "02 3C 08 00 01 00 00";
    record.Sent = Probe;
    record.Received = std::move(received);
    record.LineOpen = open;
    return {record, line};
}

TBytes Joined(const TBytes& a, const TBytes& b) {
    TBytes joined = a;
    joined.insert(joined.end(), b.begin(), b.end());
    return joined;
}

struct ReplayHandset : testing::Test {
    TReplayHandset Handset(std::vector<TRecordedMail> records) {
        return TReplayHandset(std::move(records), "talk.jsonl",
                              [this](const std::string& line) { reports.push_back(line); });
    }
    std::vector<std::string> reports;
};

TEST_F(ReplayHandset, AnswersAFrameInPiecesOnceWithTheRecordedBytes) {
    TReplayHandset handset = Handset({Recorded(Joined(Probe, Answer), 1), Recorded(Probe, 3)});
    EXPECT_TRUE(handset.Receive(TBytes(Probe.begin(), Probe.begin() + 5)).empty());
    EXPECT_TRUE(handset.HasIncompleteFrame());
    const std::vector<TOutput> out = handset.Receive(TBytes(Probe.begin() + 5, Probe.end()));
    EXPECT_EQ(out, (std::vector<TOutput>{{TOutput::TKind::Echo, Probe}, {TOutput::TKind::Answer, Answer}}));

    // Silence after the echo, as recorded on line 3.
    EXPECT_EQ(handset.Receive(Probe), (std::vector<TOutput>{{TOutput::TKind::Echo, Probe}}));
    EXPECT_EQ(handset.Replayed(), 2u);
    EXPECT_TRUE(reports.empty());
}

TEST_F(ReplayHandset, AMissingEchoStaysMissingAndAHangUpComesWhereItCame) {
    TReplayHandset handset = Handset({Recorded({}, 1), Recorded({}, 2, false)});
    EXPECT_TRUE(handset.Receive(Probe).empty());
    EXPECT_FALSE(handset.HungUp());
    EXPECT_TRUE(handset.Receive(Probe).empty());
    EXPECT_TRUE(handset.HungUp());
}

TEST_F(ReplayHandset, TheFirstDifferenceIsReportedOnceAndThenTheHandsetOnlyEchoes) {
    TReplayHandset handset =
        Handset({Recorded(Joined(Probe, Answer), 4), Recorded(Joined(Probe, Answer), 5)});
    TBytes other = Probe;
    other[8] = 0x02;
    other.back() = 0x46;
    EXPECT_EQ(handset.Receive(other), (std::vector<TOutput>{{TOutput::TKind::Echo, other}}));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0],
              "talk.jsonl line 4: the recording has the mail 02 3C 08 00 01 00 00 (FF FF 4D 02 06 3C 08 00 "
              "01 00 00 45), but the mail 02 3C 08 00 02 00 00 (FF FF 4D 02 06 3C 08 00 02 00 00 46) came");
    EXPECT_EQ(handset.Receive(Probe), (std::vector<TOutput>{{TOutput::TKind::Echo, Probe}}));
    EXPECT_EQ(reports.size(), 1u);
    EXPECT_EQ(handset.Difference(), reports[0]);
}

TEST_F(ReplayHandset, MailsBeyondTheRecordingAndGarbageAreDifferences) {
    {
        TReplayHandset handset = Handset({Recorded(Joined(Probe, Answer), 2)});
        handset.Receive(Probe);
        handset.Receive(Probe);
        ASSERT_EQ(reports.size(), 1u);
        EXPECT_EQ(reports[0],
                  "talk.jsonl: the recording ends with line 2, but the mail 02 3C 08 00 01 00 00 (FF FF "
                  "4D 02 06 3C 08 00 01 00 00 45) came");
    }
    reports.clear();
    TReplayHandset handset = Handset({Recorded(Joined(Probe, Answer), 1)});
    EXPECT_EQ(handset.Receive(TBytes{0xFF, 0x00}),
              (std::vector<TOutput>{{TOutput::TKind::Echo, {0xFF, 0x00}}}));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("but the bytes FF 00, which begin no frame, came"), std::string::npos)
        << reports[0];
}

} // namespace
