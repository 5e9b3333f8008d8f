// The change log: one JSON line per change of a handset, appended by every program that makes one.
#include "platform/ChangeLog.h"
#include "platform/AnsiText.h"
#include "platform/ChangeChain.h"
#include "platform/TextFile.h"
#include "support/RecordingUser.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct ChangeLog : testing::Test {
    ChangeLog() { qputenv("QUORVEL_STATE_DIR", Dir.path().toLocal8Bit()); }
    ~ChangeLog() override { qputenv("QUORVEL_STATE_DIR", Saved); }

    void Append(const TChangeRecord& record) { ASSERT_EQ(AppendChange(record, Path), ""); }
    void AppendBytes(const QByteArray& bytes) {
        QFile file(QString::fromStdString(Path));
        ASSERT_TRUE(file.open(QIODevice::Append));
        file.write(bytes);
    }

    const QByteArray Saved = qgetenv("QUORVEL_STATE_DIR");
    QTemporaryDir Dir;
    const std::string Path = Dir.filePath("changes.jsonl").toStdString();
};

TChangeRecord Change(const std::string& time, const std::string& serial, const std::string& operation) {
    TChangeRecord r;
    r.Time = time;
    r.User = "alice";
    r.Pc = "desk-pc";
    r.Port = "COM12";
    r.Serial = serial;
    r.Software = "62018400";
    r.Pcs = "06Q";
    r.Operation = operation;
    r.Outcome = "done";
    return r;
}

TWritePlan PlanOf(std::initializer_list<TPlanStep> steps) {
    TWritePlan plan;
    for (const TPlanStep step : steps) {
        TPlanLine line;
        line.Step = step;
        plan.Lines.push_back(line);
    }
    return plan;
}

std::vector<std::string> Operations(const TChangeLogContents& contents) {
    std::vector<std::string> operations;
    for (const TChangeRecord& change : contents.Changes)
        operations.push_back(change.Operation);
    return operations;
}

} // namespace

TEST_F(ChangeLog, EveryFieldComesBackAsWrittenInOneLineOfUtf8) {
    TChangeRecord r = Change("2026-12-10T09:30:00+01:00", "00291 0284280", "phonebook replace");
    // Handset texts are Windows-1252 bytes, quotes, backslashes and control characters among them.
    r.Software = "62\x80\xE9\"\\\x01";
    r.Pcs = std::string("\xFF\t\n\x00", 4);
    r.User = "j\xC3\xBCrgen";
    r.Via = "cli";
    r.Changed = TChangeCounts{3, 1, 2, 180, 4};
    r.Backup = "/tmp/b\xC3\xA4"
               "ckups/phone \"book\".phb";
    r.Message = "Could not write the phone book\xE2\x80\xA6";
    r.Outcome = "failed";
    Append(r);
    TChangeRecord deleted = Change("2026-12-10T09:31:00+01:00", "no SIM", "speed-dial delete");
    deleted.Deleted = 7;
    Append(deleted);

    const std::string bytes = ReadFileBytes(Path, 100000);
    EXPECT_TRUE(IsUtf8(QByteArrayView(bytes.data(), qsizetype(bytes.size()))));
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 2);
    EXPECT_EQ(bytes.rfind("{\"time\":\"2026-12-10T09:30:00+01:00\",\"user\":", 0), 0u) << bytes;
    EXPECT_NE(bytes.find("\"changed\":null,\"deleted\":7,"), std::string::npos) << bytes;

    const TChangeLogContents read = ReadChangeLog({}, Path);
    ASSERT_EQ(read.Changes.size(), 2u);
    EXPECT_EQ(read.Damaged, 0);
    const TChangeRecord& back = read.Changes[0];
    EXPECT_EQ(back.Time, r.Time);
    EXPECT_EQ(back.User, r.User);
    EXPECT_EQ(back.Serial, r.Serial);
    EXPECT_EQ(back.Software, r.Software);
    EXPECT_EQ(back.Pcs, r.Pcs);
    EXPECT_EQ(back.Via, "cli");
    EXPECT_EQ(back.Changed, r.Changed);
    EXPECT_FALSE(back.Deleted);
    EXPECT_EQ(back.Backup, r.Backup);
    EXPECT_EQ(back.Message, r.Message);
    EXPECT_EQ(back.Outcome, "failed");
    EXPECT_EQ(back.Line + "\n", bytes.substr(0, bytes.find('\n') + 1));
    EXPECT_FALSE(read.Changes[1].Changed);
    EXPECT_EQ(read.Changes[1].Deleted, 7);
    EXPECT_EQ(read.Changes[1].Via, "");
}

TEST_F(ChangeLog, FiltersTakeOneHandsetTheDaysBetweenAndOperationsByTheirStart) {
    Append(Change("2026-12-09T23:59:59+01:00", "00291 0284280", "phonebook add"));
    Append(Change("2026-12-10T00:00:00+01:00", "00291 0284280", "phonebook replace"));
    Append(Change("2026-12-10T12:00:00+01:00", "00291 0284281", "phonebook delete"));
    Append(Change("2026-12-11T08:00:00-05:00", "00291 0284280", "speed-dial write"));
    Append(Change("2026-12-12T08:00:00Z", "no SIM", "sim restore"));

    EXPECT_EQ(Operations(ReadChangeLog({"00291 0284280", "", "", ""}, Path)),
              (std::vector<std::string>{"phonebook add", "phonebook replace", "speed-dial write"}));
    // The days are those of the lines' own times, both ends included.
    EXPECT_EQ(Operations(ReadChangeLog({"", "2026-12-10", "2026-12-11", ""}, Path)),
              (std::vector<std::string>{"phonebook replace", "phonebook delete", "speed-dial write"}));
    EXPECT_EQ(Operations(ReadChangeLog({"", "", "", "phonebook"}, Path)).size(), 3u);
    EXPECT_EQ(Operations(ReadChangeLog({"", "", "", "PhoneBook"}, Path)).size(), 3u);
    EXPECT_EQ(Operations(ReadChangeLog({"00291 0284280", "2026-12-10", "", "phonebook r"}, Path)),
              (std::vector<std::string>{"phonebook replace"}));
    EXPECT_EQ(Operations(ReadChangeLog({"no SIM", "", "", ""}, Path)),
              (std::vector<std::string>{"sim restore"}));
    // No log yet is no change yet.
    EXPECT_TRUE(ReadChangeLog({}, Dir.filePath("none.jsonl").toStdString()).Changes.empty());
}

TEST_F(ChangeLog, TwoProgramsAppendingAtOnceLeaveEveryLineWhole) {
    constexpr int Lines = 200;
    // Long lines, so that a line written in pieces would show.
    TChangeRecord r = Change("2026-12-10T09:30:00+01:00", "00291 0284280", "phonebook replace");
    r.Backup = "/var/backups/" + std::string(2000, 'b') + ".phb";
    r.Message = std::string(300, 'm');
    int go[2];
    ASSERT_EQ(pipe(go), 0);
    std::vector<pid_t> children;
    for (const char* user : {"first", "second"}) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(go[1]);
            char c = 0;
            const bool started = read(go[0], &c, 1) == 0;
            r.User = user;
            int failed = !started;
            for (int i = 0; i < Lines; ++i)
                failed += !AppendChange(r, Path).empty();
            _exit(failed == 0 ? 0 : 1);
        }
        children.push_back(child);
    }
    close(go[0]);
    close(go[1]); // both start now
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const TChangeLogContents read = ReadChangeLog({}, Path);
    EXPECT_EQ(read.Damaged, 0);
    ASSERT_EQ(read.Changes.size(), size_t(2 * Lines));
    EXPECT_EQ(std::count_if(read.Changes.begin(), read.Changes.end(),
                            [](const TChangeRecord& change) { return change.User == "first"; }),
              Lines);
    for (const TChangeRecord& change : read.Changes)
        ASSERT_EQ(change.Backup, r.Backup);
    // Each line linked to the one before it, though two programs wrote them.
    const TChainCheck check = CheckChangeChain(Path);
    EXPECT_TRUE(check.Holds()) << check.How << " at line " << check.BrokenLine.value_or(0);
    EXPECT_EQ(check.Sealed, 2 * Lines);
}

// The seals: a line changed, removed or put in afterwards is named where the chain breaks; lines of an
// earlier version before the first seal are counted, and the chain of each PC stands on its own.
TEST_F(ChangeLog, TheSealsNameTheFirstLineChangedRemovedOrPutIn) {
    AppendBytes("{\"time\":\"2026-12-09T08:00:00+01:00\",\"pc\":\"desk-pc\",\"operation\":\"phonebook add\","
                "\"outcome\":\"done\"}\n");
    for (int i = 0; i < 4; ++i) {
        TChangeRecord r =
            Change("2026-12-10T09:3" + std::to_string(i) + ":00+01:00", "00291 0284280", "phonebook replace");
        r.Pc = i == 2 ? "hall-pc" : "desk-pc";
        Append(r);
    }
    TChainCheck check = CheckChangeChain(Path);
    EXPECT_TRUE(check.Holds()) << check.How;
    EXPECT_EQ(check.Sealed, 4);
    EXPECT_EQ(check.Unsealed, 1);
    const QByteArray whole = [&] {
        QFile file(QString::fromStdString(Path));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    const QList<QByteArray> lines = whole.split('\n');
    const auto rewrite = [&](const QList<QByteArray>& kept) {
        QFile file(QString::fromStdString(Path));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(kept.join('\n'));
    };
    // A message changed in the third line.
    QList<QByteArray> changed = lines;
    changed[2].replace("\"outcome\":\"done\"", "\"outcome\":\"fine\"");
    rewrite(changed);
    check = CheckChangeChain(Path);
    EXPECT_EQ(check.BrokenLine, 3);
    EXPECT_EQ(check.How, "changed since it was written");
    EXPECT_EQ(check.What, "2026-12-10T09:31:00+01:00 phonebook replace");
    // The second line removed: the next one of its PC no longer links.
    QList<QByteArray> removed = lines;
    removed.removeAt(1);
    rewrite(removed);
    EXPECT_EQ(CheckChangeChain(Path).How, "a line before it was removed or put in");
    EXPECT_EQ(CheckChangeChain(Path).BrokenLine, 2);
    // A line of the other PC removed: its own chain had one line, the desk's still holds.
    removed = lines;
    removed.removeAt(3);
    rewrite(removed);
    EXPECT_TRUE(CheckChangeChain(Path).Holds());
    // A line without a seal put in after sealed ones, and a sealed one copied to another place.
    QList<QByteArray> put = lines;
    put.insert(3, lines[0]);
    rewrite(put);
    EXPECT_EQ(CheckChangeChain(Path).BrokenLine, 4);
    EXPECT_EQ(CheckChangeChain(Path).How, "put in: it has no seal, yet lines before it have");
    put = lines;
    put.insert(4, lines[1]);
    rewrite(put);
    EXPECT_EQ(CheckChangeChain(Path).BrokenLine, 5);
    // Appended after the log was put back, a line links to the last one again.
    rewrite(lines);
    Append(Change("2026-12-10T09:40:00+01:00", "00291 0284280", "groups write"));
    EXPECT_TRUE(CheckChangeChain(Path).Holds());
}

TEST_F(ChangeLog, DamagedLinesAreSkippedAndCounted) {
    Append(Change("2026-12-10T09:30:00+01:00", "00291 0284280", "phonebook add"));
    AppendBytes("{\"time\":\"2026-12-10T09:31:00+01:00\",\"user\":\"al\n"); // cut short
    AppendBytes("\n   \n");                                                 // blank: no line at all
    AppendBytes("[1,2,3]\n");
    AppendBytes("{\"time\":\"2026-12-10T09:32:00+01:00\",\"outcome\":\"done\"}\n"); // no operation
    AppendBytes("{\"time\":\"2026-12-10\xFF\",\"operation\":\"x\",\"outcome\":\"done\"}\n");
    // A time that is none, counts that are none: no record of a change either.
    AppendBytes("{\"time\":\"not a time, truly\",\"operation\":\"x\",\"outcome\":\"done\"}\n");
    AppendBytes("{\"time\":\"2026-13-45T09:32:00+01:00\",\"operation\":\"x\",\"outcome\":\"done\"}\n");
    AppendBytes("{\"time\":\"2026-12-10T09:32:00+01:00\",\"operation\":\"x\",\"outcome\":\"done\","
                "\"changed\":{\"added\":\"lots\"}}\n");
    AppendBytes("{\"time\":\"2026-12-10T09:32:00+01:00\",\"operation\":\"x\",\"outcome\":\"done\","
                "\"deleted\":-3}\n");
    Append(Change("2026-12-10T09:33:00+01:00", "00291 0284280", "phonebook replace"));
    AppendBytes("{\"time\":\"2026-12-10T09:34:00+01:00\",\"oper"); // a line still being written
    const TChangeLogContents read = ReadChangeLog({}, Path);
    EXPECT_EQ(Operations(read), (std::vector<std::string>{"phonebook add", "phonebook replace"}));
    EXPECT_EQ(read.Damaged, 9);
    // A later line is taken whole after the damaged end.
    Append(Change("2026-12-10T09:35:00+01:00", "00291 0284280", "groups write"));
    EXPECT_EQ(ReadChangeLog({}, Path).Damaged, 9);
}

TEST_F(ChangeLog, ALogThatCannotBeWrittenSaysWhyAndTheOperationWarns) {
    // A file where the state folder should be stops root as well.
    const QString notAFolder = Dir.filePath("state");
    QFile file(notAFolder);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const std::string reason = AppendChange(Change("2026-12-10T09:30:00+01:00", "", "x"),
                                            notAFolder.toStdString() + "/changes.jsonl");
    EXPECT_EQ(reason, "it could not be opened (Not a directory)");

    qputenv("QUORVEL_STATE_DIR", notAFolder.toLocal8Bit());
    TRecordingUser ui;
    const TWritePlan plan = PlanOf({TPlanStep::Add});
    NoteHandsetChange(ui, {12, "00291 0284280", "62018400", "06Q"}, "phonebook add", &plan, "",
                      TChangeOutcome::Done);
    ASSERT_EQ(ui.Messages.size(), 1u);
    EXPECT_EQ(ui.Messages[0].kind, TMessageKind::Warning);
    EXPECT_EQ(ui.Messages[0].text, "The change was made, but it could not be noted in the change log \"" +
                                       notAFolder.toStdString() +
                                       "/changes.jsonl\": it could not be opened (Not a directory).");
    // Nothing sent, nothing noted.
    NoteHandsetChange(ui, {}, nullptr, nullptr, "", TChangeOutcome::Failed);
    EXPECT_EQ(ui.Messages.size(), 1u);
}

TEST_F(ChangeLog, TheOperationsLineNamesTheHandsetPlanAndOutcome) {
    TRecordingUser ui;
    const TWritePlan plan = PlanOf({TPlanStep::Add, TPlanStep::Keep, TPlanStep::Keep});
    NoteHandsetChange(ui, {12, "00291 0284280", "62018400", "06Q"}, "phonebook replace", &plan, "/b/x.phb",
                      ChangeOutcome(false, true), "Could not write\r\rthe phone book.");
    NoteHandsetChange(ui, {3, std::nullopt, "", ""}, "speed-dial delete", nullptr, "",
                      ChangeOutcome(true, false), "", 4);
    EXPECT_TRUE(ui.Messages.empty());
    const TChangeLogContents read = ReadChangeLog();
    ASSERT_EQ(read.Changes.size(), 2u);
    const TChangeRecord& replace = read.Changes[0];
    EXPECT_EQ(replace.Port, "COM12");
    EXPECT_EQ(replace.Serial, "00291 0284280");
    EXPECT_EQ(replace.Changed, (TChangeCounts{1, 0, 0, 2, 0}));
    EXPECT_EQ(replace.Outcome, "stopped");
    EXPECT_EQ(replace.Message, "Could not write the phone book.");
    EXPECT_EQ(replace.Time.size(), 25u) << replace.Time; // with its offset from UTC
    EXPECT_EQ(read.Changes[1].Serial, "not read");
    EXPECT_EQ(read.Changes[1].Deleted, 4);
    EXPECT_EQ(read.Changes[1].Outcome, "done");
}

TEST_F(ChangeLog, AFileInASharedFolderIsTheGroupsToo) {
    const QString shared = Dir.filePath("shared");
    ASSERT_TRUE(QDir().mkdir(shared));
    ASSERT_EQ(chmod(shared.toLocal8Bit().constData(), 02770), 0);
    const std::string inShared = shared.toStdString() + "/changes.jsonl";
    const std::string own = Dir.filePath("own.jsonl").toStdString();
    const TChangeRecord r = Change("2026-12-10T09:30:00+01:00", "00291 0284280", "profile write");
    const mode_t mask = umask(022);
    EXPECT_EQ(AppendChange(r, inShared), "");
    EXPECT_EQ(AppendChange(r, own), "");
    umask(mask);
    struct stat info {};
    ASSERT_EQ(stat(inShared.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0660u);
    ASSERT_EQ(stat(own.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(ChangeLog, AnOperationIsBegunBeforeItsFirstWriteAndAnEndWithoutABeginningIsShownInterrupted) {
    TRecordingUser ui;
    const TWritePlan plan = PlanOf({TPlanStep::Add, TPlanStep::Add, TPlanStep::Keep});
    const THandsetIdentity handset{12, "00291 0284280", "62018400", "06Q"};
    TChangeNote ended;
    ended.Begin(ui, handset, "phonebook add", &plan, "");
    TChangeNote killed;
    killed.Begin(ui, handset, "speed-dial write", &plan, "/b/k.sdl");
    // The read after the write found one of the two entries.
    ended.End(ui, handset, TChangeCounts{1, 0, 0, 1, 1}, "", TChangeOutcome::Failed, "cut");
    EXPECT_TRUE(ui.Messages.empty());

    const TChangeLogContents read = ReadChangeLog();
    ASSERT_EQ(read.Changes.size(), 3u);
    EXPECT_EQ(read.Changes[0].Outcome, "begun");
    EXPECT_EQ(read.Changes[0].Planned, (TChangeCounts{2, 0, 0, 1, 0}));
    EXPECT_FALSE(read.Changes[0].Changed);
    EXPECT_EQ(read.Changes[0].Id, read.Changes[2].Id);
    EXPECT_NE(read.Changes[0].Id, read.Changes[1].Id);
    EXPECT_EQ(read.Changes[2].Changed, (TChangeCounts{1, 0, 0, 1, 1}));

    const std::vector<TChangeRecord> paired = PairedChanges(read.Changes);
    ASSERT_EQ(paired.size(), 2u);
    EXPECT_EQ(paired[0].Operation, "speed-dial write");
    EXPECT_EQ(paired[0].Outcome, "interrupted");
    EXPECT_EQ(paired[0].Message, "the handset may hold part of it");
    EXPECT_EQ(paired[0].Backup, "/b/k.sdl");
    EXPECT_EQ(paired[1].Operation, "phonebook add");
    EXPECT_EQ(paired[1].Outcome, "failed");
}
