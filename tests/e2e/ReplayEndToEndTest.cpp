// A conversation recorded through the pseudo-terminal and replayed by the virtual handset: the same
// answers and the same failures, the first difference reported by its line, bad recordings refused.
#include "support/HandsetProcess.h"

#include "link/MailRecord.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace {

struct Replay : testing::Test {
    QString Path(const char* name) const { return folder.filePath(name); }

    std::vector<TMailRecord> Records(const QString& path) {
        std::ifstream in(path.toStdString());
        std::vector<TMailRecord> records;
        for (std::string line; std::getline(in, line);)
            records.push_back(ParseMailRecordLine(line));
        return records;
    }

    void WriteFile(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    QTemporaryDir folder;
};

// What the handset sent back to each mail, as the engine saw it.
std::vector<std::pair<std::string, std::string>> Conversation(const std::vector<TMailRecord>& records) {
    std::vector<std::pair<std::string, std::string>> talk;
    for (const TMailRecord& r : records)
        talk.emplace_back(SpacedHex(r.Sent), SpacedHex(r.Received) + (r.LineOpen ? "" : " (hung up)"));
    return talk;
}

TEST_F(Replay, APhonebookReadReplaysWithTheSameOutputAndTheSameFailure) {
    const std::vector<QStringList> faults = {
        {"--drop-answer", "7"}, {"--corrupt-answer", "8"}, {"--hangup-after", "7"}};
    for (const QStringList& fault : faults) {
        SCOPED_TRACE(fault.join(' ').toStdString());
        const QString recording = Path("talk.jsonl");
        THandsetProcess::TRun recorded;
        {
            THandsetProcess handset(QStringList{"--phonebook-entries", "4"} + fault);
            ASSERT_TRUE(handset.Started());
            recorded = handset.Cli({"--port", QString("COM%1").arg(handset.ComNumber()), "--record",
                                    recording, "phonebook", "read"});
        }
        const std::vector<TMailRecord> original = Records(recording);
        ASSERT_GT(original.size(), 6u);
        // The fault is in the recording: an answer missing, one that fails its checksum, a line gone.
        const auto faulty = std::count_if(original.begin(), original.end(), [](const TMailRecord& r) {
            return r.Received.size() <= r.Sent.size() || !r.ChecksumOK || !r.LineOpen;
        });
        EXPECT_GE(faulty, 1);

        THandsetProcess replay({"--replay", recording});
        ASSERT_TRUE(replay.Started()) << replay.Errors();
        const QString again = Path("again.jsonl");
        const THandsetProcess::TRun replayed = replay.Cli(
            {"--port", QString("COM%1").arg(replay.ComNumber()), "--record", again, "phonebook", "read"});
        EXPECT_EQ(replayed.exitCode, recorded.exitCode);
        EXPECT_EQ(replayed.out, recorded.out);
        EXPECT_EQ(replayed.err, recorded.err);
        EXPECT_EQ(Conversation(Records(again)), Conversation(original));

        const bool hungUp = fault[0] == "--hangup-after";
        EXPECT_EQ(hungUp ? replay.WaitForExit(3000) : replay.Stop(), 0) << replay.Errors();
        EXPECT_NE(replay.Errors().find("replayed "), std::string::npos) << replay.Errors();
        if (hungUp) {
            EXPECT_NE(recorded.exitCode, 0) << "the hang-up ends the read";
        }
    }
}

TEST_F(Replay, TheFirstMailThatDiffersIsReportedWithItsLine) {
    const QString recording = Path("talk.jsonl");
    {
        THandsetProcess handset({"--phonebook-entries", "2"});
        ASSERT_TRUE(handset.Started());
        ASSERT_EQ(handset
                      .Cli({"--port", QString("COM%1").arg(handset.ComNumber()), "--record", recording,
                            "read-memory", "0x20", "4"})
                      .exitCode,
                  0);
    }
    ASSERT_GE(Records(recording).size(), 1u);

    THandsetProcess replay({"--replay", recording});
    ASSERT_TRUE(replay.Started());
    replay.Cli({"--port", QString("COM%1").arg(replay.ComNumber()), "read-memory", "0x20", "5"}, 20000);
    EXPECT_EQ(replay.Stop(), 1);
    const std::string errors = replay.Errors();
    EXPECT_NE(errors.find(recording.toStdString() + " line "), std::string::npos) << errors;
    EXPECT_NE(errors.find(
                  ": the recording has the mail 02 3C 08 00 04 20 00 (FF FF 4D 02 06 3C 08 00 04 20 00 68), "
                  "but the mail 02 3C 08 00 05 20 00 (FF FF 4D 02 06 3C 08 00 05 20 00 69) came"),
              std::string::npos)
        << errors;
}

TEST_F(Replay, ABadRecordingIsRefusedWithItsLine) {
    const std::string good = MailRecordLine(ParseMailRecordLine(
        R"({"mail":"0D 09","sent":"FF FF 4D 0D 01 09 09","received":"FF FF 4D 0D 01 09 09 FF FF 4D 0D 02 09 C8 D1"})"));
    struct TCase {
        const char* name;
        QByteArray bytes;
        std::string says;
    };
    const std::vector<TCase> cases = {
        {"empty", "", ": the recording holds no mail (it is empty)"},
        {"blank", "\n  \n", ": the recording holds no mail (it is empty)"},
        {"binary",
         QByteArray("\x7F"
                    "ELF\x02\x01\x01\0\0\0",
                    10) +
             QByteArray(4000, '\0'),
         " line 1: not a JSON object (it does not begin with '{')"},
        {"megabyte", QByteArray::fromStdString(good + "\n") + QByteArray(3 << 20, 'x'),
         " line 2: longer than 65536 bytes, no recorded mail"},
        {"truncated", QByteArray::fromStdString(good + "\n" + good + "\n" + good.substr(0, good.size() / 2)),
         " line 3: cut short: expected "},
        {"damaged",
         QByteArray::fromStdString(good + "\n\n" +
                                   R"({"mail":"0D 09","sent":"FF FF 4D 0D 01 09 0A","received":""})"),
         " line 3: \"sent\" is not a request frame"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = Path(c.name);
        WriteFile(path, c.bytes);
        THandsetProcess replay({"--replay", path});
        EXPECT_FALSE(replay.Started());
        EXPECT_EQ(replay.WaitForExit(5000), 2);
        EXPECT_NE(replay.Errors().find("quorvel-handset: " + path.toStdString() + c.says), std::string::npos)
            << replay.Errors();
    }
    THandsetProcess missing({"--replay", Path("none.jsonl")});
    EXPECT_EQ(missing.WaitForExit(5000), 2);
    EXPECT_NE(missing.Errors().find("cannot read the recording " + Path("none.jsonl").toStdString() +
                                    ": No such file or directory"),
              std::string::npos)
        << missing.Errors();
}

TEST_F(Replay, ARecordingThatCannotBeWrittenStopsTheToolBeforeItTalks) {
    THandsetProcess handset({"--log"});
    ASSERT_TRUE(handset.Started());
    const QString target = Path("missing/talk.jsonl");
    const auto run =
        handset.Cli({"--port", QString("COM%1").arg(handset.ComNumber()), "--record", target, "probe"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err,
              "quorvel-cli: cannot record to " + target.toStdString() + ": No such file or directory\n");
    EXPECT_EQ(handset.Stop(), 0);
    EXPECT_EQ(handset.Errors().find("received"), std::string::npos) << handset.Errors();
    EXPECT_FALSE(QFile::exists(target));
}

} // namespace
