// Recording the conversation: the engine tells every transaction with its try, and the recorder's file
// holds one complete line each and refuses a target it must not or cannot write.
#include "support/FakeLink.h"

#include "link/MailRecorder.h"
#include "link/Sndmail.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <sstream>

namespace {

struct TKeptRecords : TMailRecordListener {
    void MailRecorded(const TMailRecord& record) override { Records.push_back(record); }
    std::vector<int> Tries() const {
        std::vector<int> tries;
        for (const TMailRecord& r : Records)
            tries.push_back(r.Try);
        return tries;
    }
    std::vector<TMailRecord> Records;
};

// A monitor that keeps only what reaches LogRecord.
struct TRecordMonitor : TMailMonitor {
    explicit TRecordMonitor(std::vector<TMailRecord>& kept)
        : Kept(kept) {}
    void Show() override { Visible = true; }
    bool IsVisible() override { return Visible; }
    void SetCaptionSuffix(const std::string&) override {}
    void LogTx(const std::string&, const std::string&, int, int) override {}
    void LogRx(const std::string&, const std::string&, const std::string&, int, int64_t) override {}
    void ShowRxChunks(uint16_t) override {}
    void LogRecord(const TMailRecord& record) override { Kept.push_back(record); }
    bool Visible = false;
    std::vector<TMailRecord>& Kept;
};

THandset HandsetWithFaults(THandsetFaults faults) {
    return THandset{DefaultHandsetState(), TReadiness::Ready, std::move(faults)};
}

struct Recording : testing::Test {
    Recording()
        : engine(link) {
        engine.AnswerTimeout = std::chrono::milliseconds(300);
        engine.GapTimeout = std::chrono::milliseconds(60);
        engine.WritePause = std::chrono::milliseconds(5);
        engine.ReadPause = std::chrono::milliseconds(5);
        engine.ReadbackDelay = std::chrono::milliseconds(0);
        engine.ShowDialogs = false;
        engine.SetRecorder(&kept);
    }
    std::string FileText(const QString& path) {
        std::ifstream in(path.toStdString(), std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    TFakeLink link;
    TMailControl engine;
    TKeptRecords kept;
    QTemporaryDir folder;
};

TEST_F(Recording, EveryTransactionWithWhatWasSentAndReceived) {
    ASSERT_EQ(engine.ProbeHandset(std::chrono::milliseconds(0)), 1);
    ASSERT_EQ(kept.Records.size(), 1u);
    const TMailRecord& probe = kept.Records[0];
    EXPECT_EQ(probe.Port, "COM1");
    EXPECT_EQ(probe.Mail, "02 3C 08 00 01 00 00");
    EXPECT_EQ(SpacedHex(probe.Sent), "FF FF 4D 02 06 3C 08 00 01 00 00 45");
    EXPECT_EQ(SpacedHex(probe.Received), "FF FF 4D 02 06 3C 08 00 01 00 00 45 4D 02 01 3D FF 3C");
    EXPECT_EQ(probe.Answer, "FF");
    EXPECT_TRUE(probe.ChecksumOK);
    EXPECT_TRUE(probe.LineOpen);
    EXPECT_EQ(probe.Try, 1);
    EXPECT_EQ(probe.Time.size(), std::string("2026-01-05T09:12:44.201Z").size()) << probe.Time;

    link.Handset = HandsetWithFaults({.corruptAnswers = {1}});
    EXPECT_EQ(engine.SendMail("02 5D 16"), "");
    EXPECT_FALSE(kept.Records.back().ChecksumOK) << "a corrupted answer is kept as it came";
    EXPECT_GT(kept.Records.back().Received.size(), kept.Records.back().Sent.size());

    link.Opened = false;
    engine.SendMail("02 5D 16");
    EXPECT_FALSE(kept.Records.back().LineOpen);
    EXPECT_TRUE(kept.Records.back().Received.empty());
}

TEST_F(Recording, RetriesAreNumbered) {
    link.Handset = HandsetWithFaults({.dropAnswers = {1, 2}});
    EXPECT_EQ(engine.ProbeHandset(std::chrono::milliseconds(0)), 3);
    EXPECT_EQ(kept.Tries(), (std::vector<int>{1, 2, 3}));

    // A write and its read-back share their try.
    kept.Records.clear();
    link.Handset = HandsetWithFaults({.unconfirmedWrites = kEveryWrite});
    engine.WriteRetries = 3;
    const std::array<uint8_t, 1> data{0x42};
    EXPECT_FALSE(engine.WriteMemory(0x10, 0x00, 1, data));
    EXPECT_EQ(kept.Tries(), (std::vector<int>{1, 1, 2, 2, 3, 3}));

    kept.Records.clear();
    link.Handset = HandsetWithFaults({.dropAnswers = {1}});
    engine.ReadTries = 3;
    std::string text;
    engine.ReadMemoryText(0, 0, text, 1);
    EXPECT_EQ(kept.Tries(), (std::vector<int>{1, 2}));
    engine.SendMail("02 5D 16");
    EXPECT_EQ(kept.Records.back().Try, 1) << "a single send after the loops is the first again";
}

TEST_F(Recording, TheMonitorKeepsRecordsOnlyWhileShown) {
    std::vector<TMailRecord> shown;
    auto monitor = std::make_unique<TRecordMonitor>(shown);
    TRecordMonitor* window = monitor.get();
    engine.SetMonitor(std::move(monitor));
    engine.SendMail("02 5D 16");
    EXPECT_TRUE(shown.empty());
    window->Visible = true;
    engine.SendMail("02 5D 16");
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], kept.Records.back());
    EXPECT_EQ(kept.Records.size(), 2u) << "the recording does not depend on the monitor";
}

TEST_F(Recording, TheFileHoldsOneCompleteLineATransaction) {
    const QString path = folder.filePath("talk.jsonl");
    {
        TMailRecorder recorder(path.toStdString());
        engine.SetRecorder(&recorder);
        engine.ProbeHandset(std::chrono::milliseconds(0));
        engine.SendMail("02 5D 16");
        // Written as it happens, not when the recorder closes.
        std::istringstream lines(FileText(path));
        std::string line;
        std::vector<TMailRecord> read;
        while (std::getline(lines, line))
            read.push_back(ParseMailRecordLine(line));
        ASSERT_EQ(read.size(), 2u);
        EXPECT_EQ(read[1].Mail, "02 5D 16");
        EXPECT_TRUE(recorder.Failure().empty());
        engine.SetRecorder(nullptr);
    }
    // A new recording replaces an old one.
    TMailRecorder again(path.toStdString());
    EXPECT_EQ(FileText(path), "");
}

TEST_F(Recording, RefusesATargetItMustNotOrCannotWrite) {
    const auto refusal = [](const QString& path) -> std::string {
        try {
            TMailRecorder recorder(path.toStdString());
        } catch (const ERecordingError& e) {
            return e.what();
        }
        return "accepted";
    };
    const QString notes = folder.filePath("notes.txt");
    {
        QFile file(notes);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("my notes\n");
    }
    EXPECT_EQ(refusal(notes),
              "cannot record to " + notes.toStdString() +
                  ": it holds something other than a recording (not a JSON object (it does not "
                  "begin with '{')), and is left as it is");
    EXPECT_EQ(FileText(notes), "my notes\n");
    EXPECT_EQ(refusal(folder.path()), "cannot record to " + folder.path().toStdString() + ": Is a directory");
    EXPECT_EQ(refusal(folder.filePath("missing/talk.jsonl")),
              "cannot record to " + folder.filePath("missing/talk.jsonl").toStdString() +
                  ": No such file or directory");
    EXPECT_EQ(refusal(""), "cannot record: no file name given");
}

TEST_F(Recording, AFullDiskStopsTheRecordingOnceAndTellsIt) {
    if (!QFile::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    TMailRecorder recorder("/dev/full");
    std::vector<std::string> told;
    recorder.OnFailure = [&told](const std::string& failure) { told.push_back(failure); };
    engine.SetRecorder(&recorder);
    engine.SendMail("02 5D 16");
    engine.SendMail("02 5D 16");
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0], "the recording /dev/full stopped: No space left on device");
    EXPECT_EQ(recorder.Failure(), told[0]);
}

} // namespace
