// quorvel-cli template check as a script uses it: a provisioning template checked without a handset,
// its problems one a line, the summary, the exit status and the JSON document.
#include "support/HandsetProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct TRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// quorvel-cli with a per-user folder of the test's own, and no handset anywhere.
TRun Cli(const QStringList& args, const QTemporaryDir& config) {
    QProcess cli;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QUORVEL_CONFIG_DIR", config.path());
    cli.setProcessEnvironment(env);
    cli.start(ProgramFolder() + "/quorvel-cli", args);
    TRun run;
    if (!cli.waitForFinished(20000))
        return run;
    run.exitCode = cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1;
    run.out = cli.readAllStandardOutput().toStdString();
    run.err = cli.readAllStandardError().toStdString();
    return run;
}

void WriteFile(const QString& path, const QByteArray& text) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
}

QJsonObject Json(const TRun& run) {
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(run.out));
    EXPECT_TRUE(document.isObject()) << run.out;
    return document.object();
}

} // namespace

TEST(TemplateCheck, PrintsEveryProblemAndTellsByItsExitStatus) {
    QTemporaryDir dir, config;
    const QString folder = dir.filePath("office");
    const std::string shown = folder.toStdString();
    WriteFile(folder + "/phonebook.phb", "Reception,100\r\n{name},{extension}\r\n");
    WriteFile(folder + "/profile.pro", "[profile settings]\r\nringer volume=3\r\n");
    WriteFile(
        folder + "/handsets.csv",
        "serial,extension,name,ringer volume\r\n00291 0284280,201,Anna,5\r\n00291 0284281,202,Bo,4\r\n");
    TRun run = Cli({"template", "check", folder}, config);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "template " + shown + ": phone book, profile; 2 handsets listed; 0 problems\n");

    WriteFile(
        folder + "/handsets.csv",
        "serial,extension,name,ringer volume\r\n00291 0284280,201,Anna,9\r\n00291 0284280,202,Bo,4\r\n");
    run = Cli({"template", "check", folder}, config);
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_EQ(run.out, "handsets.csv:3: serial '00291 0284280' is there twice (first on line 2)\n"
                       "handsets.csv:2: column \"ringer volume\": \"9\" is no value of the setting (0 to 5)\n"
                       "template " +
                           shown + ": phone book, profile; 1 handset listed; 2 problems\n");
    const QJsonObject document = Json(Cli({"--json", "template", "check", folder}, config));
    EXPECT_EQ(document["exit"].toInt(), 1);
    EXPECT_EQ(document["template"].toString(), folder);
    EXPECT_EQ(document["files"].toArray(), (QJsonArray{"phonebook.phb", "profile.pro", "handsets.csv"}));
    EXPECT_EQ(document["handsets"].toInt(), 1);
    const QJsonArray problems = document["problems"].toArray();
    ASSERT_EQ(problems.size(), 2);
    EXPECT_EQ(problems[1].toObject(),
              (QJsonObject{{"file", "handsets.csv"},
                           {"line", 2},
                           {"text", "column \"ringer volume\": \"9\" is no value of the setting (0 to 5)"}}));

    // A folder that is no template, or none at all, is an input that cannot be used.
    run = Cli({"template", "check", dir.filePath("elsewhere")}, config);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("no such folder"), std::string::npos) << run.err;
    const QJsonObject none = Json(Cli({"--json", "template", "check", dir.path()}, config));
    EXPECT_EQ(none["exit"].toInt(), 2);
    EXPECT_TRUE(none["messages"].toArray()[0].toString().contains("no template")) << run.out;
    EXPECT_EQ(Cli({"template", "apply", folder}, config).exitCode, 2);
}
