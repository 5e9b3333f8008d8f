// Operations whose docking station goes away part-way, against virtual handsets that hang up as a chosen
// frame begins. The loss is reported at once, its cause first and once, and every statement of the report
// holds against what the handset holds afterwards, as a second handset on the same state file shows it.
// Frames count every mail the tool sends, from 1; the connection step takes the first six.
#include "support/HandsetProcess.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>

namespace {

using namespace std::chrono_literals;

// The report comes within a fraction of a second; the bound covers the tool's start and a slow build.
constexpr auto kReportBound = 5s;
const std::string Serial = "00291 0284280";

std::string ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

// The path a message names after "kept in ", up to the "; ".
QString KeptPath(const std::string& text) {
    const size_t start = text.find("kept in ");
    if (start == std::string::npos)
        return {};
    return QString::fromStdString(text.substr(start + 8, text.find("; ", start) - start - 8));
}

// The keys of a speed dial list that hold a number.
long HeldKeys(const std::string& list) {
    long held = 0;
    for (size_t end = list.find("\r\n"); end != std::string::npos; end = list.find("\r\n", end + 2))
        held += end > 0 && list[end - 1] != ',';
    return held;
}

struct HangUp : testing::Test {
    HangUp() { qputenv("QUORVEL_STATE_DIR", machine.path().toLocal8Bit()); }
    ~HangUp() override { qputenv("QUORVEL_STATE_DIR", saved); }

    QString Path(const QString& name) const { return dir.filePath(name); }
    QString Chosen() const { return Path("backup.sim"); }
    QString SimFile() const { return Path(QString::fromStdString("backup_" + Serial + ".sim")); }
    QString Write(const char* name, const QByteArray& text) const {
        QFile file(Path(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
        return file.fileName();
    }
    static QStringList Cutting(const QString& state, int frames, const QStringList& more = {}) {
        return QStringList{"--state", state, "--hangup-after", QString::number(frames)} + more;
    }

    static THandsetProcess::TRun Cli(const THandsetProcess& handset, const QStringList& args) {
        return handset.Cli(QStringList{"--port", QString("COM%1").arg(handset.ComNumber()), "--yes"} + args);
    }

    // Runs the command against a handset that hangs up part-way: the report comes at once, names the
    // cause once and before `message`, and the handset ends as a hang-up ends it, its state saved.
    static THandsetProcess::TRun CutShort(THandsetProcess& handset, const QStringList& args,
                                          const std::string& message) {
        const auto start = std::chrono::steady_clock::now();
        auto run = Cli(handset, args);
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_LT(took, kReportBound)
            << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms";
        const std::string cause = "\nquorvel-cli: The docking station on COM" +
                                  std::to_string(handset.ComNumber()) +
                                  " went away (the device was removed or switched off).\n";
        const size_t first = run.err.find(cause);
        EXPECT_NE(first, std::string::npos) << run.err;
        EXPECT_EQ(run.err.find(cause, first + 1), std::string::npos) << "named once: " << run.err;
        EXPECT_LT(first, run.err.find(message)) << "the cause comes first: " << run.err;
        EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
        EXPECT_EQ(handset.WaitForExit(5000), 0) << "the handset hung up";
        return run;
    }

    // A SIM save whose line goes after the file and its record are written, while the handset is erased.
    // After the 128 reads of the SIM (frames 10 to 137), 138 to 143 mark the display "MOVING OUT ...",
    // 144 and 145 erase the serial number, then each further block is polled for, erased and read back
    // (146 to 164), and 165 to 170 clear the mark to "NO SIM".
    void SaveCutDuringTheErase(int frames, bool marked) {
        const QString state = Path("handset.txt");
        THandsetProcess cut(Cutting(state, frames));
        ASSERT_TRUE(cut.Started());
        const auto run = CutShort(cut, {"sim", "save", Chosen()}, "is in the file");
        // The SIM is in its file and the tool says so; the erase is left to finish, a step the person must
        // still take: ended part-way.
        EXPECT_EQ(run.exitCode, 1) << run.err;
        // Whether the erase reached its end is not known, and the message says no more than that.
        EXPECT_NE(run.err.find("The SIM " + Serial + " is in the file " + SimFile().toStdString() +
                               ", but the erase of the handset it came from was not confirmed to its end"),
                  std::string::npos)
            << run.err;
        EXPECT_EQ(QFile(SimFile()).size(), 0x800);

        THandsetProcess after({"--state", state}, cut);
        ASSERT_TRUE(after.Started());
        EXPECT_NE(Cli(after, {"info"}).out.find("Serial:     no SIM\n"), std::string::npos);
        const std::string records = Cli(after, {"sim", "records"}).out;
        EXPECT_NE(records.find(Serial + "  software 62018400  pcs 06B  "), std::string::npos) << records;
        EXPECT_NE(records.find("  in its file  " + SimFile().toStdString()), std::string::npos) << records;
        // The display shows the mark the erase clears last, or "NO SIM" when only the last read-back was
        // lost; the record says no more than that it may show the mark.
        const std::string display = Cli(after, {"read-memory", "0x196", "10"}).out;
        EXPECT_EQ(display.find("|MOVING OUT|") != std::string::npos, marked) << display;
        EXPECT_NE(records.find("may show \"MOVING OUT " + Serial), std::string::npos) << records;
    }

    // A SIM restore into a handset without one, whose line goes while the SIM goes in. After the opening
    // (frames 7 to 9), 10 to 13 read the serial number and the display, 14 to 19 mark it "MOVING IN ...",
    // the SIM's blocks are each polled for, written and read back (20 to 401), 402 and 403 write the
    // serial number, and the mark is cleared last.
    void RestoreCutPartWay(int frames, const std::string& serialAfter) {
        THandsetProcess first({"--state", Path("first.txt")});
        ASSERT_TRUE(first.Started());
        ASSERT_EQ(Cli(first, {"sim", "save", Chosen()}).exitCode, 0);
        const QString state = Path("second.txt");
        THandsetProcess cut(Cutting(state, frames, {"--serial", "none"}), first);
        ASSERT_TRUE(cut.Started());
        const auto run = CutShort(cut, {"sim", "restore", SimFile()}, "Could not transfer SIM to handset");
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_NE(run.err.find("Whether the handset holds the SIM " + Serial +
                               " now could not be found out; its file and record are kept."),
                  std::string::npos)
            << run.err;
        EXPECT_TRUE(QFile::exists(SimFile()));

        THandsetProcess after({"--state", state}, first);
        ASSERT_TRUE(after.Started());
        // Either may be so, which is why the message cannot say.
        EXPECT_NE(Cli(after, {"info"}).out.find("Serial:     " + serialAfter + "\n"), std::string::npos);
        const std::string records = Cli(after, {"sim", "records"}).out;
        EXPECT_NE(records.find(Serial + "  software 62018400  pcs 06B  "), std::string::npos) << records;
        EXPECT_NE(records.find("moving in (not finished)  " + SimFile().toStdString()), std::string::npos)
            << records;
        EXPECT_NE(Cli(after, {"read-memory", "0x196", "10"}).out.find("|MOVING IN |"), std::string::npos)
            << "the record says the handset shows the mark";
    }

    const QByteArray saved = qgetenv("QUORVEL_STATE_DIR");
    QTemporaryDir machine;
    QTemporaryDir dir;
};

} // namespace

TEST_F(HangUp, ASpeedDialDeleteCutPartWayLeavesSomeKeysAndTheirBackup) {
    // After the connection step the eleven keys are read (frames 7 to 15); then each key's first byte
    // is erased (16, 18, ...) and read back (17, 19, ...).
    struct TCase {
        int frames;
        long held;
    };
    const QString keys = Write("keys.sdl", "Key_0,100\r\nKey_1,111\r\nKey_2,222\r\nKey_3,333\r\nKey_4,444\r\n"
                                           "Key_5,555\r\nKey_6,666\r\nKey_7,777\r\nKey_8,888\r\nKey_9,999\r\n"
                                           "Key_Alarm,123\r\n");
    for (const TCase c : {TCase{21, 8},    // Key_0 to Key_2 erased; the line goes as Key_3's erase begins
                          TCase{22, 7}}) { // Key_3 erased, its read-back never answered
        SCOPED_TRACE(c.frames);
        const QString state = Path(QString("speeddial-%1.txt").arg(c.frames));
        THandsetProcess first({"--state", state});
        ASSERT_TRUE(first.Started());
        ASSERT_EQ(Cli(first, {"speed-dial", "write", keys}).exitCode, 0);
        const std::string before = Cli(first, {"speed-dial", "read"}).out;
        ASSERT_EQ(HeldKeys(before), 11) << before;
        ASSERT_EQ(first.Stop(), 0);

        THandsetProcess cut(Cutting(state, c.frames), first);
        ASSERT_TRUE(cut.Started());
        const auto run =
            CutShort(cut, {"speed-dial", "delete"}, "The Speed Dial List was not wholly deleted!");
        EXPECT_EQ(run.exitCode, 1);
        const QString kept = KeptPath(run.err);
        ASSERT_FALSE(kept.isEmpty()) << run.err;
        EXPECT_EQ(ReadAll(kept), before);

        THandsetProcess after({"--state", state}, first);
        ASSERT_TRUE(after.Started());
        const std::string held = Cli(after, {"speed-dial", "read"}).out;
        EXPECT_EQ(HeldKeys(held), c.held) << held;
        EXPECT_NE(held.find("Key_Alarm,123\r\n"), std::string::npos) << "the last key is erased last";
    }
}

TEST_F(HangUp, ASpeedDialWriteCutPartWayCountsOnlyTheKeysReadBack) {
    // After the connection step the block is read (frames 7 to 15); then it is written in 16-byte pieces,
    // each read back (16 and 17, 18 and 19, ...). Key_1 to Key_4 change; a key is 12 bytes.
    struct TCase {
        int frames;
        int known;
    };
    const QString keys = Write("four.sdl", "Key_1,0301234\r\nKey_2,0305678\r\nKey_3,12345\r\nKey_4,555\r\n");
    for (const TCase c : {TCase{19, 1},    // pieces 0 and 1 read back: Key_1 is known
                          TCase{24, 4}}) { // pieces 0 to 3 read back: every changed key is known
        SCOPED_TRACE(c.frames);
        const QString state = Path(QString("sdwrite-%1.txt").arg(c.frames));
        THandsetProcess cut(Cutting(state, c.frames));
        ASSERT_TRUE(cut.Started());
        const auto run = CutShort(cut, {"speed-dial", "write", keys}, "Could not write Speed Dial List!");
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_NE(run.err.find("What the handset holds now could not be read back."), std::string::npos)
            << run.err;
        EXPECT_NE(run.out.find("Written: " + std::to_string(c.known) + " speed dial key" +
                               (c.known == 1 ? "" : "s") +
                               "; skipped as already held: 0; not written: " + std::to_string(4 - c.known)),
                  std::string::npos)
            << run.out;

        THandsetProcess after({"--state", state}, cut);
        ASSERT_TRUE(after.Started());
        const std::string held = Cli(after, {"speed-dial", "read"}).out;
        EXPECT_NE(held.find("Key_1,0301234\r\n"), std::string::npos) << held;
        EXPECT_EQ(held.find("Key_4,555\r\n") != std::string::npos, c.known == 4) << held;
    }
}

TEST_F(HangUp, APhonebookReplaceCutPartWayHoldsTheEntriesBeforeTheLineItNames) {
    // After the connection step the 3 entries are read (frames 7 to 13) and the list deleted (14); each
    // entry k then goes as its number (13 + 2k) and its name (14 + 2k).
    QStringList lines;
    for (int line = 1; line <= 10; ++line)
        lines << QString("New %1,10%1\r\n").arg(line, 2, 10, QChar('0'));
    const QString list = Write("list.phb", lines.join("").toLatin1());
    struct TCase {
        int frames;
        int written;
    };
    for (const TCase c : {TCase{14, 0},    // the list deleted; the line goes as the first number begins
                          TCase{20, 3},    // three entries written; the line goes as the fourth number begins
                          TCase{21, 3}}) { // the fourth number sent, its name never: no entry without it
        SCOPED_TRACE(c.frames);
        const QString state = Path(QString("phonebook-%1.txt").arg(c.frames));
        THandsetProcess cut(Cutting(state, c.frames, {"--phonebook-entries", "3"}));
        ASSERT_TRUE(cut.Started());
        const auto run =
            CutShort(cut, {"phonebook", "write", list, "--replace"}, "Could not write Phone Book!");
        EXPECT_EQ(run.exitCode, 1);
        const QString kept = KeptPath(run.err);
        ASSERT_FALSE(kept.isEmpty()) << run.err;
        EXPECT_EQ(ReadAll(kept), "Name 001,5550001\r\nName 002,5550002\r\nName 003,5550003\r\n");

        THandsetProcess after({"--state", state}, cut);
        ASSERT_TRUE(after.Started());
        EXPECT_EQ(Cli(after, {"phonebook", "read"}).out, lines.mid(0, c.written).join("").toStdString());
        // The summary and the line the write stopped at agree with what the handset holds.
        EXPECT_NE(run.out.find("Written: " + std::to_string(c.written) + " entries;"), std::string::npos)
            << run.out;
        EXPECT_NE(run.err.find("line " + std::to_string(c.written + 1) + ": the write stopped here"),
                  std::string::npos)
            << run.err;
    }
}

TEST_F(HangUp, APhonebookDeleteCutAtItsMailSaysItCannotTell) {
    // The three entries read (frames 7 to 13); the line goes as the delete (14) begins, so no reply came
    // and no read can tell: the handset keeps its entries, and the message claims neither.
    const QString state = Path("phonebook-delete.txt");
    THandsetProcess cut(Cutting(state, 13, {"--phonebook-entries", "3"}));
    ASSERT_TRUE(cut.Started());
    const auto run = CutShort(cut, {"phonebook", "delete"},
                              "No reply came from the handset: whether the phone book was deleted could not "
                              "be found out.");
    EXPECT_EQ(run.exitCode, 1);
    const std::string entries = "Name 001,5550001\r\nName 002,5550002\r\nName 003,5550003\r\n";
    EXPECT_EQ(ReadAll(KeptPath(run.err)), entries) << run.err;

    THandsetProcess after({"--state", state}, cut);
    ASSERT_TRUE(after.Started());
    EXPECT_EQ(Cli(after, {"phonebook", "read"}).out, entries);
}

TEST_F(HangUp, ASimSaveCutWhileTheSimIsReadLeavesItInTheHandset) {
    // The transfer is opened (frames 7 to 9) and the SIM's 128 blocks read (10 to 137); only then is the
    // file written.
    for (const int frames : {60,     // mid-way through the read
                             136}) { // the line goes as the last block's read begins
        SCOPED_TRACE(frames);
        const QString state = Path(QString("sim-%1.txt").arg(frames));
        THandsetProcess cut(Cutting(state, frames));
        ASSERT_TRUE(cut.Started());
        const auto run = CutShort(cut, {"sim", "save", Chosen()}, "Could not transfer SIM from handset");
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(QDir(dir.path()).entryList({"*.sim"}), QStringList()) << "no file written";

        THandsetProcess after({"--state", state}, cut);
        ASSERT_TRUE(after.Started());
        EXPECT_NE(Cli(after, {"info"}).out.find("Serial:     " + Serial + "\n"), std::string::npos);
        EXPECT_EQ(Cli(after, {"sim", "records"}).out, "");
    }
}

TEST_F(HangUp, ASimSaveCutDuringTheEraseSaysTheSimIsInItsFile) {
    // The serial number and the first block erased, the second block's erase sent, its read-back never
    // answered.
    SaveCutDuringTheErase(150, true);
}

TEST_F(HangUp, ASimSaveCutAsTheMarkIsClearedSaysOnlyWhatIsSo) {
    // The handset got the mark's last write (frame 169) and holds what a finished save leaves, "NO SIM" on
    // its display; only the read-back was lost, so the erase cannot be said to be unfinished either.
    SaveCutDuringTheErase(169, false);
}

TEST_F(HangUp, ASimRestoreCutMidWayKeepsTheFileAndItsRecord) {
    RestoreCutPartWay(200, "no SIM"); // blocks going in; the serial number is not written yet
}

TEST_F(HangUp, ASimRestoreCutAfterTheSerialNumberKeepsTheFileAndItsRecord) {
    RestoreCutPartWay(402, Serial); // the serial number written, its read-back never answered
}

TEST_F(HangUp, ARingerTestOrAConnectionCutShortIsNoSuccess) {
    // The connection takes frames 1 to 6; the line goes as the ringer's mail begins.
    THandsetProcess ringer(Cutting(Path("ringer.txt"), 6));
    ASSERT_TRUE(ringer.Started());
    auto run = CutShort(ringer, {"ringer", "3"}, "Whether ringer tone 3 played is not known.");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out.find("played"), std::string::npos) << run.out;

    // Cut while the handset is asked what it is: nothing half read is shown as the handset's, and a
    // script is told the line went.
    THandsetProcess asked(Cutting(Path("info.txt"), 3));
    ASSERT_TRUE(asked.Started());
    const auto json = Cli(asked, {"--json", "info"});
    EXPECT_EQ(json.exitCode, 1);
    EXPECT_NE(json.out.find("\"lineLost\": true"), std::string::npos) << json.out;
    EXPECT_EQ(json.out.find("\"level\""), std::string::npos) << json.out;
    THandsetProcess again(Cutting(Path("info.txt"), 3));
    ASSERT_TRUE(again.Started());
    run = Cli(again, {"info"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.starts_with("quorvel-cli: The docking station on COM" +
                                    std::to_string(again.ComNumber()) + " went away"))
        << run.err;
    EXPECT_EQ(run.out.find("Level:"), std::string::npos) << run.out;
}

TEST_F(HangUp, ASimSaveCutBeforeTheMarkKeepsTheFileUntilThatHandsetUndoesTheMove) {
    // The SIM read (frames 10 to 137) and its file and record written; the line goes as the mark begins,
    // so neither the mark nor the handset's old text can be written.
    const QString state = Path("before-mark.txt");
    THandsetProcess cut(Cutting(state, 137));
    ASSERT_TRUE(cut.Started());
    const auto run = CutShort(cut, {"sim", "save", Chosen()}, "so nothing was moved");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("Its file " + SimFile().toStdString() + " is kept"), std::string::npos) << run.err;
    EXPECT_TRUE(QFile::exists(SimFile()));

    THandsetProcess after({"--state", state}, cut);
    ASSERT_TRUE(after.Started());
    EXPECT_NE(Cli(after, {"info"}).out.find("Serial:     " + Serial + "\n"), std::string::npos);
    EXPECT_NE(Cli(after, {"sim", "records"}).out.find("moving out"), std::string::npos);
    // The same handset's next save undoes the move and makes it anew.
    const auto again = Cli(after, {"sim", "save", Chosen()});
    EXPECT_EQ(again.exitCode, 0) << again.err;
    const std::string records = Cli(after, {"sim", "records"}).out;
    EXPECT_NE(records.find("  in its file  " + SimFile().toStdString()), std::string::npos) << records;
}
