// quorvel-cli groups against the virtual handset, through a real pseudo-terminal.
#include "support/HandsetProcess.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString WriteList(const QTemporaryDir& dir, const char* name, std::initializer_list<const char*> groups) {
    QByteArray text;
    int lines = 0;
    for (const char* group : groups) {
        text += QByteArray(group) + "\r\n";
        ++lines;
    }
    for (; lines < 16; ++lines)
        text += "\r\n";
    QFile file(dir.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
    return file.fileName();
}

THandsetProcess::TRun Groups(const THandsetProcess& handset, const QStringList& args, bool yes = true) {
    QStringList all{"--port", QString("COM%1").arg(handset.ComNumber())};
    if (yes)
        all << "--yes";
    return handset.Cli(all + QStringList{"groups"} + args);
}

std::string Lines(std::initializer_list<const char*> groups) {
    std::string text;
    int lines = 0;
    for (const char* group : groups) {
        text += std::string(group) + "\r\n";
        ++lines;
    }
    for (; lines < 16; ++lines)
        text += "\r\n";
    return text;
}

} // namespace

TEST(GroupCommands, AddReplaceReadAndDeleteTheHandsetsGroups) {
    QTemporaryDir dir;
    const QString state = dir.filePath("handset.txt");
    THandsetProcess handset({"--state", state, "--groups", "5", "--busy-polls", "2"});
    ASSERT_TRUE(handset.Started());

    // A group already present is passed over under --yes, with a message.
    auto run = Groups(handset, {"write", WriteList(dir, "a.BGL", {"7", "", "5", "007"}), "--add"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("The group \"5\" already exists! Ignored (--yes)."), std::string::npos) << run.err;
    EXPECT_EQ(StateLine(state, "groups", "groups 5 7"), "groups 5 7");
    run = Groups(handset, {"read"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, Lines({"5", "7"}));

    // Without --yes and without a terminal a write is refused before anything is sent, add or replace.
    const QString more = WriteList(dir, "b.BGL", {"9", "5", "11"});
    run = Groups(handset, {"write", more, "--add"}, false);
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_NE(run.err.find("Add list to existing groups in handset?"), std::string::npos) << run.err;
    run = Groups(handset, {"write", more, "--replace"}, false);
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_NE(run.err.find("Replace the broadcast groups in the connected handset? Its groups are deleted; "
                           "afterwards it belongs to the 3 groups of this list."),
              std::string::npos)
        << run.err;
    EXPECT_EQ(StateLine(state, "groups", "groups 5 7"), "groups 5 7");
    run = Groups(handset, {"write", more, "--add"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(StateLine(state, "groups", "groups 5 7 9 11"), "groups 5 7 9 11");

    // A replace keeps the earlier groups in a backup first.
    run = Groups(handset, {"write", "--replace", WriteList(dir, "c.BGL", {"200", "", "3"})});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(StateLine(state, "groups", "groups 200 3"), "groups 200 3");
    const std::string keptIn = "The handset's earlier list is kept in ";
    const auto kept = run.err.find(keptIn);
    ASSERT_NE(kept, std::string::npos) << run.err;
    const auto start = kept + keptIn.size();
    const std::string backup = run.err.substr(start, run.err.find(".BGL", start) + 4 - start);
    QFile copy(QString::fromStdString(backup));
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly)) << backup;
    EXPECT_EQ(copy.readAll().toStdString(), Lines({"5", "7", "9", "11"}));

    const QString saved = dir.filePath("saved.BGL");
    run = Groups(handset, {"read", "-o", saved});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    QFile file(saved);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().toStdString(), Lines({"200", "3"}));

    run = Groups(handset, {"delete"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(StateLine(state, "groups", ""), "");
    EXPECT_EQ(Groups(handset, {"read"}).out, Lines({}));
}

TEST(GroupCommands, FilesThatCannotBeSentAreRefusedBeforeTheHandsetIsTouched) {
    QTemporaryDir dir;
    const QString state = dir.filePath("handset.txt");
    THandsetProcess handset({"--state", state, "--groups", "1,2"});
    ASSERT_TRUE(handset.Started());
    auto run = Groups(handset, {"write", WriteList(dir, "bad.BGL", {"4", "300"}), "--replace"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("Slot 2 holds \"300\""), std::string::npos) << run.err;

    QFile fifteen(dir.filePath("short.BGL"));
    ASSERT_TRUE(fifteen.open(QIODevice::WriteOnly));
    fifteen.write(QByteArray("4\r\n").repeated(15));
    fifteen.close();
    run = Groups(handset, {"write", fifteen.fileName(), "--add"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("Could not read file!"), std::string::npos) << run.err;
    EXPECT_EQ(Groups(handset, {"read"}).out, Lines({"1", "2"}));

    EXPECT_EQ(Groups(handset, {"write", fifteen.fileName()}).exitCode, 2); // no mode
}

// At a terminal the person is asked; a no changes nothing and has an exit status of its own.
TEST(GroupCommands, AWriteDeclinedAtTheTerminalChangesNothing) {
    QTemporaryDir dir;
    const QString state = dir.filePath("handset.txt");
    THandsetProcess handset({"--state", state, "--groups", "5"});
    ASSERT_TRUE(handset.Started());
    const QString list = WriteList(dir, "a.BGL", {"9"});
    QProcess terminal;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QUORVEL_CONFIG_DIR", handset.ConfigDir());
    terminal.setProcessEnvironment(env);
    const QString command = "'" + ProgramFolder() + "/quorvel-cli' --port COM" +
                            QString::number(handset.ComNumber()) + " groups write '" + list + "' --add";
    terminal.start("script", {"-qec", command, "/dev/null"});
    ASSERT_TRUE(terminal.waitForStarted(5000));
    terminal.write("n\n");
    terminal.closeWriteChannel();
    ASSERT_TRUE(terminal.waitForFinished(30000));
    EXPECT_EQ(terminal.exitCode(), 4);
    EXPECT_TRUE(terminal.readAll().contains("Add list to existing groups in handset? [y/N]"));
    EXPECT_EQ(Groups(handset, {"read"}).out, Lines({"5"}));
}
