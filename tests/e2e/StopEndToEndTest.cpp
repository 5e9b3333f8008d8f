// Ctrl-C at the terminal against a paced virtual handset: a read, the connection step and the reads of a
// SIM save end at once, in the middle of an answer wait or a pause, and change nothing.
#include "support/HandsetProcess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

namespace {

// The program ends within 200 ms of the signal (some 20 ms in the sanitizer build); the
// bound leaves room for a sanitizer build on a loaded machine of two cores.
constexpr qint64 StopBoundMs = 1000;

struct Stop : testing::Test {
    QTemporaryDir dir;
    QString Path(const char* name) const { return dir.filePath(name); }

    struct TStopped {
        int exitCode = -1;
        qint64 ms = -1;
        std::string err;
    };
    // Runs quorvel-cli on the handset's port, sends it SIGINT after `after` ms and measures how long it
    // takes to end from there.
    static TStopped InterruptAfter(const THandsetProcess& handset, const QStringList& args, int after) {
        QProcess cli;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QUORVEL_CONFIG_DIR", handset.ConfigDir());
        cli.setProcessEnvironment(env);
        cli.start(ProgramFolder() + "/quorvel-cli",
                  QStringList{"--port", QString("COM%1").arg(handset.ComNumber())} + args);
        TStopped stopped;
        if (!cli.waitForStarted(5000))
            return stopped;
        if (cli.waitForFinished(after)) {
            stopped.err = "ended before the signal: " + cli.readAllStandardError().toStdString();
            return stopped;
        }
        QElapsedTimer clock;
        clock.start();
        ::kill(pid_t(cli.processId()), SIGINT);
        if (!cli.waitForFinished(30000))
            return stopped;
        stopped.ms = clock.elapsed();
        stopped.exitCode = cli.exitCode();
        stopped.err = cli.readAllStandardError().toStdString();
        return stopped;
    }
};

TEST_F(Stop, CtrlCInAReadEndsItAtOnceAndWritesNoFile) {
    // 200 entries, each two mails answered 20 ms late: the read takes some eight seconds.
    THandsetProcess handset({"--capacity", "200", "--phonebook-entries", "200", "--answer-delay", "20"});
    ASSERT_TRUE(handset.Started());
    for (const bool existing : {false, true}) {
        const QString out = Path(existing ? "kept.phb" : "new.phb");
        if (existing) {
            QFile file(out);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write("Kept,123\r\n");
        }
        const TStopped run = InterruptAfter(handset, {"phonebook", "read", "-o", out}, 1000);
        EXPECT_EQ(run.exitCode, 5) << run.err;
        EXPECT_LT(run.ms, StopBoundMs) << run.err;
        EXPECT_NE(run.err.find("Stopped as asked; nothing was changed"), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("Could not"), std::string::npos) << "a stop is no failure: " << run.err;
        QFile file(out);
        if (existing) {
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            EXPECT_EQ(file.readAll(), "Kept,123\r\n") << "the file there stays as it was";
        } else {
            EXPECT_FALSE(file.exists()) << "a list read in part is no list of the handset's";
        }
    }
}

TEST_F(Stop, CtrlCInTheConnectionStepEndsItWithoutWaitingForTheProbes) {
    // Nothing answers: the six probes and their pauses take some eight seconds.
    THandsetProcess handset({"--silent"});
    ASSERT_TRUE(handset.Started());
    const TStopped run = InterruptAfter(handset, {"phonebook", "read"}, 1000);
    EXPECT_EQ(run.exitCode, 5) << run.err;
    EXPECT_LT(run.ms, StopBoundMs) << run.err;
    EXPECT_NE(run.err.find("Stopped as asked; nothing was changed"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("Could not connect"), std::string::npos) << run.err;
}

TEST_F(Stop, CtrlCInTheReadOfASimSaveChangesNothingInTheHandset) {
    qputenv("QUORVEL_STATE_DIR", dir.path().toLocal8Bit());
    const QString state = Path("handset.txt");
    {
        THandsetProcess handset({"--state", state, "--answer-delay", "40"});
        ASSERT_TRUE(handset.Started());
        const TStopped run = InterruptAfter(handset, {"--yes", "sim", "save", Path("backup.sim")}, 1000);
        EXPECT_EQ(run.exitCode, 5) << run.err;
        EXPECT_LT(run.ms, StopBoundMs) << run.err;
        EXPECT_NE(run.err.find("Stopped as asked; nothing was changed"), std::string::npos) << run.err;
        EXPECT_TRUE(QDir(dir.path()).entryList({"*.sim"}).isEmpty()) << "no SIM file";
    }
    // The handset keeps its SIM: its serial number is where it was, and a save now takes it.
    THandsetProcess again({"--state", state});
    ASSERT_TRUE(again.Started());
    const auto saved = again.Cli(QStringList{"--port", QString("COM%1").arg(again.ComNumber()), "--yes",
                                             "sim", "save", Path("backup.sim")},
                                 60000);
    EXPECT_EQ(saved.exitCode, 0) << saved.err;
    qunsetenv("QUORVEL_STATE_DIR");
}

} // namespace

TEST_F(Stop, CtrlCInAVerifyEndsItAsAStopAndNotAsAnUnreadHandset) {
    THandsetProcess handset({"--capacity", "200", "--phonebook-entries", "200", "--answer-delay", "20"});
    ASSERT_TRUE(handset.Started());
    QFile list(Path("office.phb"));
    ASSERT_TRUE(list.open(QIODevice::WriteOnly));
    list.write("Anna,1\r\n");
    list.close();
    const TStopped run = InterruptAfter(handset, {"verify", Path("office.phb")}, 1000);
    EXPECT_EQ(run.exitCode, 5) << run.err;
    EXPECT_LT(run.ms, StopBoundMs) << run.err;
    EXPECT_NE(run.err.find("Stopped as asked; nothing was changed"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("could not be read"), std::string::npos) << run.err;
}
