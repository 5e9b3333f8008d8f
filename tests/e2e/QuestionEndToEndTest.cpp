// A person at a terminal: a write shows its plan before it asks, a Ctrl-C while the handset's list is
// read for a replace leaves the handset as it was, and a program killed in the middle of a write leaves
// the change log's "begun" line, which log shows as interrupted. stdin and stderr are a pseudo-terminal of
// the test's own; the handset's log tells which mails it received.
#include "support/HandsetProcess.h"
#include "support/PseudoTerminal.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <regex>
#include <string>
#include <unistd.h>

namespace {

// A pseudo-terminal whose terminal end is the tool's stdin and stderr.
class TTerminal : public TPseudoTerminal {
public:
    // Starts the tool with the terminal as its stdin and stderr.
    bool Start(QProcess& cli, const THandsetProcess& handset, const QStringList& args) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QUORVEL_CONFIG_DIR", handset.ConfigDir());
        cli.setProcessEnvironment(env);
        const int end = TerminalEnd();
        cli.setChildProcessModifier([end] {
            dup2(end, STDIN_FILENO);
            dup2(end, STDERR_FILENO);
        });
        cli.start(ProgramFolder() + "/quorvel-cli",
                  QStringList{"--port", QString("COM%1").arg(handset.ComNumber())} + args);
        return cli.waitForStarted(5000);
    }

    // Reads what the tool writes until `text` has come (true) or the tool ended or ms passed (false).
    bool WaitFor(QProcess& cli, const std::string& text, int ms) {
        const QDeadlineTimer deadline(ms);
        while (Shown.find(text) == std::string::npos) {
            Collect();
            if (Shown.find(text) != std::string::npos)
                break;
            if (deadline.hasExpired() || cli.state() == QProcess::NotRunning)
                return false;
            cli.waitForFinished(10);
        }
        return true;
    }

    int Finish(QProcess& cli) {
        while (!cli.waitForFinished(20))
            Collect();
        Collect();
        return cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1;
    }

    // Everything the tool wrote on the terminal so far.
    std::string Shown;

private:
    void Collect() { Shown += Drain(0); }
};

// The mails that change what the handset's phone book holds: appends and the delete.
int PhonebookWrites(const std::string& log) {
    static const std::regex changing("received FF FF 4D 0D [0-9A-F]{2} (05|06|07)( |\\n)");
    return int(std::distance(std::sregex_iterator(log.begin(), log.end(), changing), std::sregex_iterator()));
}

std::string Entries(int n) {
    std::string text;
    for (int i = 1; i <= n; ++i)
        text += "New " + std::to_string(i) + "," + std::to_string(500 + i) + "\r\n";
    return text;
}

struct AtTheTerminal : ::testing::Test {
    AtTheTerminal() { qputenv("QUORVEL_STATE_DIR", Machine.path().toLocal8Bit()); }
    ~AtTheTerminal() override { qputenv("QUORVEL_STATE_DIR", SavedState); }

    QString File(const char* name, const std::string& text) {
        QFile file(Dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text.data(), qint64(text.size()));
        return file.fileName();
    }
    std::string Held(const THandsetProcess& handset) const {
        const auto run =
            handset.Cli({"--port", QString("COM%1").arg(handset.ComNumber()), "phonebook", "read"});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        return run.out;
    }

    const QByteArray SavedState = qgetenv("QUORVEL_STATE_DIR");
    QTemporaryDir Machine;
    QTemporaryDir Dir;
};

} // namespace

TEST_F(AtTheTerminal, TheLinesOfThePlanComeBeforeTheQuestionAndNoChangesNothing) {
    THandsetProcess handset({"--phonebook-entries", "3", "--log"}, Dir.filePath("handset.log"));
    ASSERT_TRUE(handset.Started());
    const std::string before = Held(handset);
    ASSERT_EQ(before.substr(0, 18), "Name 001,5550001\r\n");
    const QString list = File("list.phb", Entries(2));
    TTerminal terminal;
    ASSERT_TRUE(terminal.Opened());
    QProcess cli;
    ASSERT_TRUE(terminal.Start(cli, handset, {"phonebook", "write", list, "--replace"}));
    ASSERT_TRUE(terminal.WaitFor(cli, "[y/N]", 30000)) << terminal.Shown;
    // Every change is on the screen before the question, and nothing has been sent that changes the list.
    const size_t question = terminal.Shown.find("[y/N]");
    for (const char* line : {"+ New 1 501", "+ New 2 502", "- Name 001 5550001", "The phone book replace: "})
        EXPECT_LT(terminal.Shown.find(line), question) << line << "\n" << terminal.Shown;
    EXPECT_NE(terminal.Shown.find("Replace the phone book in the connected handset?"), std::string::npos);
    EXPECT_EQ(PhonebookWrites(handset.Errors()), 0);
    ASSERT_TRUE(terminal.Type("n\n"));
    EXPECT_EQ(terminal.Finish(cli), 4) << terminal.Shown;
    EXPECT_EQ(PhonebookWrites(handset.Errors()), 0);
    EXPECT_EQ(Held(handset), before);

    // Yes carries out the plan it followed.
    QProcess again;
    ASSERT_TRUE(terminal.Start(again, handset, {"phonebook", "write", list, "--replace"}));
    ASSERT_TRUE(terminal.WaitFor(again, "[y/N]", 30000)) << terminal.Shown;
    ASSERT_TRUE(terminal.Type("y\n"));
    EXPECT_EQ(terminal.Finish(again), 0) << terminal.Shown;
    EXPECT_EQ(Held(handset), Entries(2)) << terminal.Shown;
}

TEST_F(AtTheTerminal, ACtrlCDuringTheReadOfAReplaceSendsNoWriteMail) {
    // 120 entries at the line's real pace: the read takes long enough to be stopped in the middle.
    THandsetProcess handset({"--phonebook-entries", "120", "--pace", "115200", "--log"},
                            Dir.filePath("handset.log"));
    ASSERT_TRUE(handset.Started());
    const std::string before = Held(handset);
    ASSERT_EQ(std::count(before.begin(), before.end(), '\n'), 120);
    TTerminal terminal;
    ASSERT_TRUE(terminal.Opened());
    QProcess cli;
    ASSERT_TRUE(terminal.Start(cli, handset,
                               {"--yes", "phonebook", "write", File("list.phb", Entries(3)), "--replace"}));
    ASSERT_TRUE(terminal.WaitFor(cli, "20 of at most", 60000)) << terminal.Shown;
    kill(pid_t(cli.processId()), SIGINT);
    EXPECT_EQ(terminal.Finish(cli), 5) << terminal.Shown;
    EXPECT_NE(terminal.Shown.find("nothing was changed in the handset"), std::string::npos) << terminal.Shown;
    EXPECT_EQ(PhonebookWrites(handset.Errors()), 0);
    EXPECT_EQ(Held(handset), before);
}

TEST_F(AtTheTerminal, AWriteKilledPartWayIsInTheLogAsInterrupted) {
    THandsetProcess handset({"--phonebook-entries", "3", "--pace", "115200"});
    ASSERT_TRUE(handset.Started());
    TTerminal terminal;
    ASSERT_TRUE(terminal.Opened());
    QProcess cli;
    ASSERT_TRUE(terminal.Start(cli, handset,
                               {"--yes", "phonebook", "write", File("list.phb", Entries(60)), "--replace"}));
    ASSERT_TRUE(terminal.WaitFor(cli, "5 of 60 entries", 60000)) << terminal.Shown;
    kill(pid_t(cli.processId()), SIGKILL);
    cli.waitForFinished(5000);

    // The handset holds part of the list; the log says the operation began and never ended.
    const std::string held = Held(handset);
    EXPECT_GE(std::count(held.begin(), held.end(), '\n'), 5) << held;
    EXPECT_LT(std::count(held.begin(), held.end(), '\n'), 60) << held;
    const auto log = handset.Cli({"log"});
    ASSERT_EQ(log.exitCode, 0) << log.err;
    EXPECT_NE(
        log.out.find("phonebook replace  planned 60 added, 3 removed  interrupted: the handset may hold part "
                     "of it"),
        std::string::npos)
        << log.out;
    EXPECT_NE(log.out.find("backup "), std::string::npos) << log.out;
}
