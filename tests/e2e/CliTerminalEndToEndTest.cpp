// quorvel-cli with its stderr on a terminal of its own (a pseudo-terminal the test reads): the status and
// the progress line show there, counted in what the command goes through, every message begins a line of
// its own, and stdout carries the data alone.
#include "support/HandsetProcess.h"
#include "support/PseudoTerminal.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

struct TTerminalRun {
    int exitCode = -1;
    std::string out;
    // Everything the tool wrote on its terminal, byte for byte.
    std::string terminal;
};

// Runs quorvel-cli against the handset with stderr on a terminal (stdin and stdout are pipes, so --yes
// answers the confirmations); with stdoutToo, stdout on the same terminal, in a UTF-8 locale. The
// terminal takes no colour (NO_COLOR) unless colour is asked for.
TTerminalRun RunOnTerminal(const THandsetProcess& handset, const QStringList& args, bool stdoutToo = false,
                           bool colour = false) {
    TTerminalRun run;
    TPseudoTerminal terminal;
    if (!terminal.Opened())
        return run;
    QProcess cli;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QUORVEL_CONFIG_DIR", handset.ConfigDir());
    if (stdoutToo)
        env.insert("LC_ALL", "C.UTF-8");
    env.insert("TERM", "xterm");
    if (colour)
        env.remove("NO_COLOR");
    else
        env.insert("NO_COLOR", "1");
    cli.setProcessEnvironment(env);
    const int terminalEnd = terminal.TerminalEnd();
    cli.setChildProcessModifier([terminalEnd, stdoutToo] {
        dup2(terminalEnd, STDERR_FILENO);
        if (stdoutToo)
            dup2(terminalEnd, STDOUT_FILENO);
    });
    cli.start(ProgramFolder() + "/quorvel-cli",
              QStringList{"--port", QString("COM%1").arg(handset.ComNumber())} + args);
    if (!cli.waitForStarted(5000))
        return run;
    cli.closeWriteChannel();
    // Read the terminal while the tool runs, so that it never waits for room to write.
    const QDeadlineTimer deadline(60000);
    while (!cli.waitForFinished(20)) {
        run.terminal += terminal.Drain(0);
        if (deadline.hasExpired()) {
            cli.kill();
            cli.waitForFinished(3000);
            return run;
        }
    }
    run.terminal += terminal.Drain(100);
    run.exitCode = cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1;
    run.out = cli.readAllStandardOutput().toStdString();
    return run;
}

// The terminal's lines as they were written, each up to its "\n".
std::vector<std::string> RawLines(const std::string& terminal) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end = terminal.find('\n'); end != std::string::npos; end = terminal.find('\n', start)) {
        lines.push_back(terminal.substr(start, end - start));
        start = end + 1;
    }
    if (start < terminal.size())
        lines.push_back(terminal.substr(start));
    return lines;
}

// What a person sees of each line: the last of the texts a "\r" wrote over each other.
std::vector<std::string> ShownLines(const std::string& terminal) {
    std::vector<std::string> shown;
    for (const std::string& line : RawLines(terminal))
        shown.push_back(line.substr(line.rfind('\r') == std::string::npos ? 0 : line.rfind('\r') + 1));
    return shown;
}

bool Shows(const std::string& terminal, const std::string& line) {
    const std::vector<std::string> shown = ShownLines(terminal);
    return std::find(shown.begin(), shown.end(), line) != shown.end();
}

// A line that holds a count holds counts only, each after a "\r", and no message or status follows one
// on its line; a count never passes its total.
void ExpectProgressLinesApart(const std::string& terminal) {
    const QRegularExpression count(R"(\r(\d+) of (?:at most )?(\d+) (?:entries|entry|rows|row))");
    const QRegularExpression countsOnly(
        R"(^(?:\r\d+ of (?:at most )?\d+ (?:entries|entry|rows|row))+$|^\rworking \.\.\.$)");
    for (const std::string& line : RawLines(terminal)) {
        const QString text = QString::fromStdString(line);
        if (!text.contains('\r'))
            continue;
        EXPECT_TRUE(countsOnly.match(text).hasMatch()) << "a line mixes the count with other text: " << line;
        for (auto it = count.globalMatch(text); it.hasNext();) {
            const QRegularExpressionMatch match = it.next();
            EXPECT_LE(match.captured(1).toInt(), match.captured(2).toInt()) << line;
        }
    }
}

struct CliTerminal : testing::Test {
    // The records of SIMs in files go to a folder of the test's own.
    CliTerminal() { qputenv("QUORVEL_STATE_DIR", machine.path().toLocal8Bit()); }
    ~CliTerminal() override { qputenv("QUORVEL_STATE_DIR", saved); }

    std::string Write(const char* name, const std::string& text) const {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text.data(), qint64(text.size()));
        return dir.filePath(name).toStdString();
    }

    const QByteArray saved = qgetenv("QUORVEL_STATE_DIR");
    QTemporaryDir machine;
    QTemporaryDir dir;
};

} // namespace

TEST_F(CliTerminal, AReadCountsTheEntriesThatCameUpToTheCapacity) {
    THandsetProcess handset({"--phonebook-entries", "3"});
    ASSERT_TRUE(handset.Started());
    const TTerminalRun run = RunOnTerminal(handset, {"phonebook", "read"});
    ASSERT_EQ(run.exitCode, 0) << run.terminal;
    EXPECT_EQ(run.out, "Name 001,5550001\r\nName 002,5550002\r\nName 003,5550003\r\n");
    EXPECT_NE(
        run.terminal.find("\r1 of at most 200 entries\r2 of at most 200 entries\r3 of at most 200 entries\n"),
        std::string::npos)
        << run.terminal;
    EXPECT_TRUE(Shows(run.terminal, "Reading from handset ...")) << run.terminal;
    ExpectProgressLinesApart(run.terminal);

    // A full handset: the count ends at its capacity, not one past it.
    THandsetProcess full({"--capacity", "4", "--phonebook-entries", "4"});
    ASSERT_TRUE(full.Started());
    const TTerminalRun whole = RunOnTerminal(full, {"phonebook", "read"});
    ASSERT_EQ(whole.exitCode, 0) << whole.terminal;
    EXPECT_TRUE(Shows(whole.terminal, "4 of at most 4 entries")) << whole.terminal;
    ExpectProgressLinesApart(whole.terminal);

    // Without a terminal on stderr there is neither status nor count.
    const auto piped =
        handset.Cli({"--port", QString("COM%1").arg(handset.ComNumber()), "phonebook", "read"});
    EXPECT_EQ(piped.exitCode, 0);
    EXPECT_EQ(piped.err.find(" of at most "), std::string::npos) << piped.err;
    EXPECT_EQ(piped.err.find("Reading from handset"), std::string::npos) << piped.err;
}

TEST_F(CliTerminal, AWriteCountsTheEntriesOfTheFileNotTheRowsOfTheTable) {
    THandsetProcess handset({"--phonebook-entries", "5"});
    ASSERT_TRUE(handset.Started());
    // A blank line is a row of the table but no entry.
    const std::string list = Write("list.phb", "A,1\r\n\r\nB,2\r\nC,3\r\n");
    const TTerminalRun run =
        RunOnTerminal(handset, {"--yes", "phonebook", "write", QString::fromStdString(list), "--replace"});
    EXPECT_EQ(run.exitCode, 0) << run.terminal;
    // The handset's list is read and kept first, then the file's three entries are written.
    EXPECT_TRUE(Shows(run.terminal, "5 of at most 200 entries")) << run.terminal;
    EXPECT_NE(run.terminal.find("\r1 of 3 entries\r2 of 3 entries\r3 of 3 entries\n"), std::string::npos)
        << run.terminal;
    EXPECT_EQ(run.terminal.find(" rows"), std::string::npos) << run.terminal;
    ExpectProgressLinesApart(run.terminal);
    EXPECT_EQ(run.out.find(" of "), std::string::npos) << run.out;
}

TEST_F(CliTerminal, StatusAndMessagesDuringAWriteBeginLinesOfTheirOwn) {
    // Room for two, and one held: of the file's two entries the second does not fit. The status line
    // the full handset gives comes in the middle of the write, its messages after it.
    THandsetProcess handset({"--capacity", "2", "--phonebook-entries", "1"});
    ASSERT_TRUE(handset.Started());
    const std::string list = Write("more.phb", "X,9\r\nY,8\r\n");
    const TTerminalRun run =
        RunOnTerminal(handset, {"--yes", "phonebook", "write", QString::fromStdString(list), "--add"});
    EXPECT_EQ(run.exitCode, 1) << run.terminal;
    EXPECT_TRUE(Shows(run.terminal, "quorvel-cli: Phone book memory full!")) << run.terminal;
    EXPECT_TRUE(Shows(run.terminal, "quorvel-cli: line 2: not written, the handset's phone book is full"))
        << run.terminal;
    EXPECT_TRUE(Shows(run.terminal, "2 of 2 entries")) << run.terminal;
    ExpectProgressLinesApart(run.terminal);
    // The summary is data: on stdout, and no message or count is.
    EXPECT_EQ(run.out.rfind("Written: 1 entry; skipped as already held: 0; not written: 1", 0), 0u)
        << run.out;
    EXPECT_EQ(run.out.find('\n'), run.out.size() - 1) << run.out;
}

TEST_F(CliTerminal, InformationIsAMessageOnStderrAndNotData) {
    THandsetProcess handset;
    ASSERT_TRUE(handset.Started());
    const std::string sim = dir.filePath("desk.sim").toStdString();
    const auto moved = handset.Cli({"--port", QString("COM%1").arg(handset.ComNumber()), "--yes", "sim",
                                    "save", QString::fromStdString(sim)},
                                   60000);
    ASSERT_EQ(moved.exitCode, 0) << moved.err;
    ASSERT_EQ(moved.out.rfind("Written: ", 0), 0u) << moved.out;
    const std::string written = moved.out.substr(9, moved.out.find('\n') - 9);

    const TTerminalRun run =
        RunOnTerminal(handset, {"--yes", "sim", "restore", QString::fromStdString(written)});
    ASSERT_EQ(run.exitCode, 0) << run.terminal;
    EXPECT_TRUE(Shows(run.terminal, "quorvel-cli: SIM transferred to handset!")) << run.terminal;
    EXPECT_NE(run.terminal.find("\nquorvel-cli: Please change the serial number on the label"),
              std::string::npos)
        << run.terminal;
    EXPECT_EQ(run.out.find("SIM transferred to handset!"), std::string::npos) << run.out;
    ExpectProgressLinesApart(run.terminal);
}

// The handset's names are in its code page; a terminal that reads UTF-8 shows them in UTF-8, while a
// pipe gets the bytes a .phb file holds.
TEST_F(CliTerminal, AListReadToAUtf8TerminalIsShownInUtf8) {
    THandsetProcess handset({"--phonebook", QString::fromStdString(Write("book.phb", "Zo\xEB,123\r\n"))});
    ASSERT_TRUE(handset.Started());
    const TTerminalRun run = RunOnTerminal(handset, {"phonebook", "read"}, true);
    EXPECT_EQ(run.exitCode, 0) << run.terminal;
    EXPECT_NE(run.terminal.find("Zo\xC3\xAB,123"), std::string::npos) << run.terminal;
    EXPECT_EQ(handset.Cli({"--port", QString("COM%1").arg(handset.ComNumber()), "phonebook", "read"}).out,
              "Zo\xEB,123\r\n");
}

// On a terminal the plan's lines are green, red and yellow by their mark, and errors red; a pipe, or a
// terminal with NO_COLOR, gets the same text without a colour.
TEST_F(CliTerminal, ColourGoesToATerminalOnlyAndNotWithNoColor) {
    THandsetProcess handset(
        {"--phonebook", QString::fromStdString(Write("held.phb", "Anna,1\r\nCarl,3\r\n"))});
    ASSERT_TRUE(handset.Started());
    const QString list = QString::fromStdString(Write("list.phb", "Anna,1\r\nDora,4\r\n"));
    const QStringList dryRun{"--dry-run", "phonebook", "write", list, "--replace"};
    const TTerminalRun coloured = RunOnTerminal(handset, dryRun, true, true);
    EXPECT_EQ(coloured.exitCode, 0) << coloured.terminal;
    EXPECT_NE(coloured.terminal.find("\033[32m+ Dora 4\033[0m"), std::string::npos) << coloured.terminal;
    EXPECT_NE(coloured.terminal.find("\033[31m- Carl 3\033[0m"), std::string::npos) << coloured.terminal;

    const TTerminalRun plain = RunOnTerminal(handset, dryRun, true);
    EXPECT_NE(plain.terminal.find("+ Dora 4"), std::string::npos) << plain.terminal;
    EXPECT_EQ(plain.terminal.find('\033'), std::string::npos) << plain.terminal;
    const auto piped = handset.Cli(QStringList{"--port", QString("COM%1").arg(handset.ComNumber())} + dryRun);
    EXPECT_NE(piped.out.find("+ Dora 4"), std::string::npos) << piped.out;
    EXPECT_EQ(piped.out.find('\033'), std::string::npos) << piped.out;

    const QStringList missing{"phonebook", "write", dir.filePath("missing.phb"), "--add"};
    const TTerminalRun error = RunOnTerminal(handset, missing, false, true);
    EXPECT_EQ(error.exitCode, 2) << error.terminal;
    EXPECT_EQ(error.terminal.rfind("\033[31mquorvel-cli: ", 0), 0u) << error.terminal;
    EXPECT_EQ(RunOnTerminal(handset, missing).terminal.find('\033'), std::string::npos);
}

// --quiet: stderr carries errors only, stdout the data as ever; a command that fails shows all it had to
// say before its end.
TEST_F(CliTerminal, QuietLeavesErrorsAndDataAndAFailureTellsItAll) {
    THandsetProcess handset({"--capacity", "2", "--phonebook-entries", "1"});
    ASSERT_TRUE(handset.Started());
    const TTerminalRun read = RunOnTerminal(handset, {"--quiet", "phonebook", "read"});
    EXPECT_EQ(read.exitCode, 0) << read.terminal;
    EXPECT_EQ(read.out, "Name 001,5550001\r\n");
    EXPECT_EQ(read.terminal, "");

    const std::string one = Write("one.phb", "X,9\r\n");
    const TTerminalRun wrote =
        RunOnTerminal(handset, {"--yes", "-q", "phonebook", "write", QString::fromStdString(one), "--add"});
    EXPECT_EQ(wrote.exitCode, 0) << wrote.terminal;
    EXPECT_EQ(wrote.terminal, "");
    EXPECT_EQ(wrote.out.rfind("Written: 1 entry", 0), 0u) << wrote.out;

    // The handset is full now: the write fails, and its messages come with it.
    const std::string more = Write("more.phb", "Y,8\r\n");
    const TTerminalRun failed = RunOnTerminal(
        handset, {"--yes", "--quiet", "phonebook", "write", QString::fromStdString(more), "--add"});
    EXPECT_EQ(failed.exitCode, 1) << failed.terminal;
    EXPECT_TRUE(Shows(failed.terminal, "quorvel-cli: line 1: not written, the handset's phone book is full"))
        << failed.terminal;
    EXPECT_EQ(failed.terminal.find(" of "), std::string::npos) << failed.terminal;
}
