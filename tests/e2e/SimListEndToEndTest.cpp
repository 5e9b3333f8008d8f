// quorvel-cli sim-list against the list the build puts in the program folder.
#include "support/HandsetProcess.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

THandsetProcess::TRun SimList(const QStringList& args) {
    QProcess cli;
    cli.start(ProgramFolder() + "/quorvel-cli", QStringList{"sim-list"} + args);
    THandsetProcess::TRun run;
    if (!cli.waitForFinished(30000))
        return run;
    run.exitCode = cli.exitCode();
    run.out = cli.readAllStandardOutput().toStdString();
    run.err = cli.readAllStandardError().toStdString();
    return run;
}

} // namespace

TEST(SimListCommand, PrintsTheEntryAHandsetGetsFromTheShippedList) {
    auto run = SimList({"--software", "62018400", "--pcs", "06B", "--file-pcs", "05A"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out,
              "Version: 2.01\nDate: 08-12-2026\nEntry: software 62018400, pcs 06A\nLast entry: 07FF\n"
              "Protect: 0015-001F, 0233\nDelete: 0100-013F, 0200-021F\nCompatible: yes\n");

    run = SimList({"--software", "62017100", "--pcs", "06A", "--file-pcs", "05A"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("Entry: software 62017100, pcs 06\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Compatible: no\n"), std::string::npos) << run.out;

    run = SimList({"--software", "12345678", "--pcs", "06A"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.out, "Version: 2.01\nDate: 08-12-2026\n");
    EXPECT_NE(run.err.find("SIM Software and PCS not found!"), std::string::npos) << run.err;

    EXPECT_EQ(SimList({"--pcs", "06A"}).exitCode, 2);
}

TEST(SimListCommand, AListThatCannotBeReadIsNamed) {
    QTemporaryDir dir;
    const QString path = dir.filePath("bad.xml");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<handset><info><document version=\"2.01\" date=\"d\"/></info><software name=\"S\"><pcs "
               "name=\"01\"><protect address=\"00X0\"/></pcs></software></handset>\n");
    file.close();
    auto run = SimList({path, "--software", "S", "--pcs", "01A"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("bad.xml"), std::string::npos) << run.err;

    // What the window refuses, the command refuses: a list of another major version, an entry that
    // cannot be so.
    const QString other = dir.filePath("other.xml");
    QFile otherFile(other);
    ASSERT_TRUE(otherFile.open(QIODevice::WriteOnly));
    otherFile.write("<handset><info><document version=\"3.0\" date=\"d\"/></info></handset>\n");
    otherFile.close();
    run = SimList({other, "--software", "S", "--pcs", "01A"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("Current SIM Interpreter version 3.0 - Required version 2.xx"), std::string::npos)
        << run.err;
    const QString reversed = dir.filePath("reversed.xml");
    QFile reversedFile(reversed);
    ASSERT_TRUE(reversedFile.open(QIODevice::WriteOnly));
    reversedFile.write(
        "<handset><info><document version=\"2.01\" date=\"d\"/></info><software name=\"S\"><pcs "
        "name=\"01\"><last_entry address=\"07FF\"/><protect address=\"001F-0015\"/></pcs>"
        "</software></handset>\n");
    reversedFile.close();
    run = SimList({reversed, "--software", "S", "--pcs", "01A"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("<protect address=\"001F-0015\"> ends before it begins"), std::string::npos)
        << run.err;

    run = SimList({dir.filePath("absent.xml"), "--software", "S", "--pcs", "01A"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("absent.xml"), std::string::npos) << run.err;
}

TEST(SimListCommand, ControlCharactersOfTheListAreShownEscaped) {
    QTemporaryDir dir;
    const QString path = dir.filePath("odd.xml");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray("<handset><info><document version=\"2.0\x01\" date=\"d\x1B[2J\"/></info><software "
                          "name=\"S\"><pcs name=\"01\"><protect address=\"001F-00\x7F") +
               QByteArray("5\"/></pcs></software></handset>\n"));
    file.close();
    const auto run = SimList({path, "--software", "S", "--pcs", "01A"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.out.find("Version: 2.0\\x01\nDate: d\\x1B[2J\n"), std::string::npos) << run.out;
    EXPECT_EQ(run.err.find('\x7F'), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("00\\x7F5"), std::string::npos) << run.err;
}
