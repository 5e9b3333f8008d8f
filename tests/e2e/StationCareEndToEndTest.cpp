// A provisioning station's care for what is around its main job: the files it is asked to write, the
// ports another station holds, the programs it starts, the handsets that cannot take a template, and
// the change log it shows.
#include "support/HandsetProcess.h"
#include "support/WatchProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString Port(const THandsetProcess& handset) {
    return QString("COM%1").arg(handset.ComNumber());
}

void WriteFile(const QString& path, const QByteArray& text) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The processes whose command line holds text.
int ProcessesWith(const std::string& text) {
    int found = 0;
    std::error_code error;
    for (const auto& process : std::filesystem::directory_iterator("/proc", error)) {
        std::ifstream cmdline(process.path() / "cmdline");
        std::string line((std::istreambuf_iterator<char>(cmdline)), std::istreambuf_iterator<char>());
        found += line.find(text) != std::string::npos;
    }
    return found;
}

struct StationCare : testing::Test {
    StationCare() {
        qputenv("QUORVEL_STATE_DIR", machine.path().toLocal8Bit());
        WriteFile(Template("phonebook.phb"), "Reception,100\r\n{name},{extension}\r\n");
        WriteFile(Template("speeddial.sdl"), "Key_1,{extension}\r\n");
        WriteFile(Template("handsets.csv"), "serial,name,extension\r\n"
                                            "00001 0000001,Anna,201\r\n"
                                            "00001 0000002,Bob,202\r\n");
    }
    ~StationCare() override { qputenv("QUORVEL_STATE_DIR", saved); }

    QString Template(const char* name) const { return dir.filePath(QString("office/") + name); }
    static THandsetProcess::TRun Cli(const THandsetProcess& handset, const QStringList& args) {
        return handset.Cli(QStringList{"--port", Port(handset)} + args, 120000);
    }

    const QByteArray saved = qgetenv("QUORVEL_STATE_DIR");
    QTemporaryDir machine;
    QTemporaryDir dir;
};

} // namespace

TEST_F(StationCare, AReportNeverReplacesAFileThatIsNotAReportAndHasARowForEveryPort) {
    THandsetProcess one({"--serial", "0000100001"});
    THandsetProcess two({"--serial", "0000100009"}, one);
    ASSERT_TRUE(one.Started() && two.Started());
    const QString ports = Port(one) + "," + Port(two);
    const QString folder = dir.filePath("office");
    const QByteArray notes = "who,what\r\nalice,handsets for the hall\r\n";
    WriteFile(dir.filePath("notes.csv"), notes);
    WriteFile(dir.filePath("log.json"), "{\"changes\": []}");
    const std::vector<std::pair<QString, std::string>> refused{
        {dir.filePath("notes.csv"), "holds something other than a station's report"},
        {Template("handsets.csv"), "holds something other than a station's report"},
        {dir.filePath("log.json"), "holds something other than a station's report"},
        {dir.filePath("notes.txt"), "a station's report is FILE.csv or FILE.json"},
        {machine.filePath("changes.jsonl"), "a station's report is FILE.csv or FILE.json"},
        {dir.path(), "a station's report is FILE.csv or FILE.json"},
    };
    for (const auto& [path, why] : refused) {
        const QByteArray before = ReadAll(path);
        const auto run = one.Cli({"--port", ports, "--yes", "--report", path, "station", "run", folder});
        EXPECT_EQ(run.exitCode, 2) << path.toStdString() << "\n" << run.err;
        EXPECT_NE(run.err.find(why), std::string::npos) << run.err;
        EXPECT_EQ(ReadAll(path), before) << path.toStdString();
    }
    EXPECT_EQ(Cli(one, {"phonebook", "read"}).out, "") << "no handset was touched";

    // One handset listed, one not: with --only-listed the second fails; both have their row, the first
    // with what its programs changed.
    const QString report = dir.filePath("report.csv");
    auto run =
        one.Cli({"--port", ports, "--yes", "--report", report, "station", "run", folder, "--only-listed"});
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    QList<QByteArray> lines = ReadAll(report).split('\n');
    ASSERT_EQ(lines.size(), 4) << ReadAll(report).toStdString();
    EXPECT_TRUE(lines[0].startsWith("time,port,serial,outcome,exit status,operations,"));
    const QByteArray rows = lines[1] + lines[2];
    EXPECT_TRUE(rows.contains("," + Port(one).toUtf8() +
                              ",00001 0000001,done,0,phonebook replace; speed-dial write,"))
        << rows.toStdString();
    EXPECT_TRUE(rows.contains("," + Port(two).toUtf8() + ",00001 0000009,failed,1,,")) << rows.toStdString();
    EXPECT_TRUE(rows.contains("--only-listed")) << rows.toStdString();
    EXPECT_NE(run.err.find("Its change-log lines check: none was changed, removed or put in."),
              std::string::npos)
        << run.err;
    // The log the report was cut from: sealed, and its seals hold.
    const auto check = one.Cli({"log", "--check"});
    EXPECT_EQ(check.exitCode, 0) << check.out << check.err;
    EXPECT_NE(check.out.find("the seals of its 4 lines hold"), std::string::npos) << check.out;
    // An earlier report is a report: written over, the first handset now only verified.
    run = one.Cli({"--port", ports, "--yes", "--report", report, "station", "run", folder, "--only-listed"});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    lines = ReadAll(report).split('\n');
    ASSERT_EQ(lines.size(), 4) << ReadAll(report).toStdString();
    EXPECT_TRUE((lines[1] + lines[2]).contains(",00001 0000001,done,0,,")) << lines[1].toStdString();
}

TEST_F(StationCare, OneStationAtATimeProvisionsAPortAndAKilledWatchTakesItsProgramsWithIt) {
    // Slow answers on the first, so that its provisioning is still under way when the watch is killed.
    THandsetProcess one({"--serial", "0000100001", "--answer-delay", "200"});
    THandsetProcess two({"--serial", "0000100002"}, one);
    ASSERT_TRUE(one.Started() && two.Started());
    const QString ports = Port(one) + "," + Port(two);
    const QString folder = dir.filePath("office");
    auto watch = std::make_unique<TWatchProcess>(
        one, QStringList{"--port", ports, "--yes", "station", "watch", folder, "--every", "0.5"});
    ASSERT_GE(watch->WaitFor(Port(one).toStdString() + ": handset 00001 0000001 docked"), 0) << watch->Output;
    ASSERT_GE(watch->WaitFor("provisioned (00001 0000002)"), 0) << watch->Output;

    // A second watch and a run on the same ports leave them alone, and say who holds them.
    TWatchProcess second(two, {"--port", ports, "--yes", "station", "watch", folder, "--every", "0.5"});
    ASSERT_GE(second.WaitFor(Port(two).toStdString() +
                             ": provisioned by another station (quorvel-cli station watch"),
              0)
        << second.Output;
    ASSERT_GE(second.WaitFor(Port(one).toStdString() + ": provisioned by another station"), 0)
        << second.Output;
    const QString report = dir.filePath("run.json");
    const auto run = two.Cli({"--port", ports, "--yes", "--report", report, "station", "run", folder}, 60000);
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.out.find(Port(two).toStdString() + ": provisioned by another station"), std::string::npos)
        << run.out;
    EXPECT_NE(ReadAll(report).indexOf("\"outcome\": \"refused\""), -1) << ReadAll(report).toStdString();
    EXPECT_EQ(second.Interrupt(), 0) << second.Output;
    EXPECT_EQ(second.Output.find("docked"), std::string::npos) << second.Output;

    // Killed while it provisions: nothing it started goes on unseen.
    ASSERT_EQ(watch->Output.find("(00001 0000001); the next"), std::string::npos) << "still under way";
    watch->Kill();
    watch.reset();
    for (int wait = 0; wait < 100 && ProcessesWith(folder.toStdString()) > 0; ++wait)
        usleep(100000);
    EXPECT_EQ(ProcessesWith(folder.toStdString()), 0);
    // The next watch finishes the handset.
    TWatchProcess next(one, {"--port", Port(one), "--yes", "station", "watch", folder, "--every", "0.5"});
    ASSERT_GE(next.WaitFor("(00001 0000001); the next handset may be docked", 90000), 0) << next.Output;
    EXPECT_NE(Cli(one, {"speed-dial", "read"}).out.find("Key_1,201\r\n"), std::string::npos);
    EXPECT_EQ(next.Interrupt(), 0) << next.Output;
    EXPECT_NE(next.Output.find("1 handset: 1 "), std::string::npos) << next.Output;
}

TEST_F(StationCare, AHandsetThatCannotTakeTheTemplateIsRefusedBeforeAnyWrite) {
    THandsetProcess small({"--serial", "0000100001", "--capacity", "3", "--log"}, dir.filePath("small.log"));
    ASSERT_TRUE(small.Started());
    WriteFile(Template("phonebook.phb"), "A,1\r\nB,2\r\nC,3\r\nD,4\r\n{name},{extension}\r\n");
    const QString folder = dir.filePath("office");
    auto run = Cli(small, {"--yes", "provision", folder});
    EXPECT_EQ(run.exitCode, 2) << run.err;
    EXPECT_NE(run.err.find("cannot take the template: it has room for 3 phone book entries, and the "
                           "template's phone book has 5 (line 4 is beyond them)"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(run.err.find("/tmp/"), std::string::npos) << "no temporary file named: " << run.err;
    EXPECT_EQ(ChangingFrames(small.Errors()), 0);
    run = Cli(small, {"--yes", "provision", folder, "--skip-missing-lists"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Cli(small, {"phonebook", "read"}).out, "");
    EXPECT_NE(Cli(small, {"speed-dial", "read"}).out.find("Key_1,201"), std::string::npos);
}

TEST_F(StationCare, ATemplateFileThatIsAFolderOrAPipeIsRefusedByCheckAndProvision) {
    THandsetProcess handset({"--serial", "0000100001", "--log"}, dir.filePath("handset.log"));
    ASSERT_TRUE(handset.Started());
    QFile::remove(Template("phonebook.phb"));
    for (const char* made : {"folder", "pipe"}) {
        QDir(dir.filePath("office")).removeRecursively();
        WriteFile(Template("speeddial.sdl"), "Key_1,1\r\n");
        if (std::string(made) == "folder")
            QDir().mkpath(Template("phonebook.phb"));
        else
            ASSERT_EQ(mkfifo(Template("phonebook.phb").toLocal8Bit().constData(), 0600), 0);
        const auto check = handset.Cli({"template", "check", dir.filePath("office")});
        EXPECT_EQ(check.exitCode, 2) << made << check.out << check.err;
        EXPECT_NE(
            check.err.find(made == std::string("folder") ? "a folder, not a file" : "not a regular file"),
            std::string::npos)
            << check.err;
        const auto run = Cli(handset, {"--yes", "provision", dir.filePath("office")});
        EXPECT_EQ(run.exitCode, 2) << run.err;
    }
    EXPECT_EQ(ChangingFrames(handset.Errors()), 0);
}

TEST_F(StationCare, TheLogShowsAForgedLineEscapedAndSkipsOneWithoutATime) {
    THandsetProcess handset;
    WriteFile(
        machine.filePath("changes.jsonl"),
        "{\"time\":\"2026-12-10T09:30:00+01:00\",\"operation\":\"phonebook replace\",\"outcome\":\"done\","
        "\"message\":\"\\u001b[31mred\\nnext\\u009b\"}\n"
        "{\"time\":\"not a time\",\"operation\":\"phonebook add\",\"outcome\":\"done\"}\n"
        "{\"time\":\"2026-12-10T09:31:00+01:00\",\"operation\":\"phonebook add\",\"outcome\":\"done\","
        "\"changed\":{\"added\":\"lots\"}}\n");
    const auto run = handset.Cli({"log", "--operation", "PHONEBOOK"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("done: \\x1B[31mred\\x0Anext\\u009B"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find('\x1B'), std::string::npos);
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << run.out;
    EXPECT_NE(run.err.find("2 damaged lines"), std::string::npos) << run.err;
    EXPECT_EQ(handset.Cli({"log", "--since", "2026-01-01"}).out.find("not a time"), std::string::npos);
    // Lines of an earlier version have no seals: counted, and nothing after them breaks a chain.
    const auto check = handset.Cli({"log", "--check"});
    EXPECT_EQ(check.exitCode, 0) << check.out << check.err;
    EXPECT_NE(check.out.find("(3 lines from before the log was sealed)"), std::string::npos) << check.out;
    // A sealed line added and then edited: named.
    THandsetProcess sealed({"--log"}, dir.filePath("sealed.log"));
    ASSERT_TRUE(sealed.Started());
    ASSERT_EQ(Cli(sealed, {"--yes", "phonebook", "write", dir.filePath("office/handsets.csv"), "--replace"})
                  .exitCode,
              2);
    WriteFile(dir.filePath("one.phb"), "Ann,1\r\n");
    ASSERT_EQ(Cli(sealed, {"--yes", "phonebook", "write", dir.filePath("one.phb"), "--replace"}).exitCode, 0);
    QByteArray log = ReadAll(machine.filePath("changes.jsonl"));
    log.replace("\"outcome\":\"done\",\"message\":\"\"", "\"outcome\":\"done\",\"message\":\"fine\"");
    WriteFile(machine.filePath("changes.jsonl"), log);
    const auto broken = sealed.Cli({"log", "--check"});
    EXPECT_EQ(broken.exitCode, 1) << broken.out << broken.err;
    EXPECT_NE(broken.out.find("line 5 ("), std::string::npos) << broken.out;
    EXPECT_NE(broken.out.find("changed since it was written"), std::string::npos) << broken.out;
}

// The PC's table of handsets: every handset connected to, the template each was given; a template
// changed afterwards makes them outdated, and --only-outdated writes those alone.
TEST_F(StationCare, TheHandsetsTableNamesWhichHandsetsLackTheTemplatesContent) {
    THandsetProcess one({"--serial", "0000100001", "--log"}, dir.filePath("one.log"));
    THandsetProcess two({"--serial", "0000100002"}, one);
    THandsetProcess read({"--serial", "0000100003"}, one);
    ASSERT_TRUE(one.Started() && two.Started() && read.Started());
    const QString ports = Port(one) + "," + Port(two);
    const QString folder = dir.filePath("office");
    auto run = one.Cli({"--port", ports, "--yes", "station", "run", folder});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    ASSERT_EQ(Cli(read, {"info"}).exitCode, 0);

    auto list = one.Cli({"handsets"});
    EXPECT_EQ(list.exitCode, 0) << list.err;
    EXPECT_NE(list.err.find("3 handsets known on this PC"), std::string::npos) << list.err;
    for (const THandsetProcess* handset : {&one, &two})
        EXPECT_NE(list.out.find(" " + Port(*handset).toStdString() + "  "), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("office 20"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find(" verified"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("00001 0000003"), std::string::npos) << list.out;
    list = one.Cli({"handsets", "--template", folder});
    EXPECT_NE(list.err.find("; 1 without the current content of"), std::string::npos) << list.err;

    // The template changed: both are outdated; --only-outdated writes them, then leaves them.
    WriteFile(Template("speeddial.sdl"), "Key_1,{extension}\r\nKey_2,100\r\n");
    list = one.Cli({"--json", "handsets", "--template", folder});
    EXPECT_EQ(QString::fromStdString(list.out).count("\"outdated\": true"), 3) << list.out;
    run = one.Cli({"--port", ports, "--yes", "station", "run", folder, "--only-outdated"});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_NE(Cli(one, {"speed-dial", "read"}).out.find("Key_2,100"), std::string::npos);
    const size_t before = one.Errors().size();
    run = one.Cli({"--port", ports, "--yes", "station", "run", folder, "--only-outdated"});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_NE(run.out.find(Port(one).toStdString() + ": Not outdated: 00001 0000001"), std::string::npos)
        << run.out;
    EXPECT_EQ(ChangingFrames(one.Errors().substr(before)), 0);
    list = one.Cli({"handsets", "--template", folder});
    EXPECT_NE(list.err.find("; 1 without the current content of"), std::string::npos) << list.err;

    // The log names each provisioning's template; its lines are taken by template and by PC, and go to
    // an export whole, their seals with them.
    const auto byTemplate = one.Cli({"--json", "log", "--template", "office"});
    // Two handsets' phone book and speed dial, then their speed dial once more.
    EXPECT_EQ(QString::fromStdString(byTemplate.out).count("\"templateHash\""), 6) << byTemplate.out;
    EXPECT_NE(one.Cli({"log", "--host", "no-such-pc"}).err.find("0 changes"), std::string::npos);
    const QString exported = dir.filePath("audit.jsonl");
    auto exportRun = one.Cli({"log", "--export", exported});
    EXPECT_EQ(exportRun.exitCode, 0) << exportRun.err;
    EXPECT_EQ(ReadAll(exported), ReadAll(machine.filePath("changes.jsonl")));
    WriteFile(dir.filePath("mine.jsonl"), "{\"note\":\"mine\"}\n");
    exportRun = one.Cli({"log", "--export", dir.filePath("mine.jsonl")});
    EXPECT_EQ(exportRun.exitCode, 2) << exportRun.err;
    EXPECT_EQ(ReadAll(dir.filePath("mine.jsonl")), "{\"note\":\"mine\"}\n");
}

// A station's user who may use the serial ports (the group dialout) and nothing more: the log's folder is
// the operators' as the package makes it (root:dialout, setgid), so the change is noted, with no warning.
TEST_F(StationCare, AUserInTheGroupDialoutAloneHasTheChangeNoted) {
    const group* dialout = getgrnam("dialout");
    if (geteuid() != 0 || !QFile::exists("/usr/bin/setpriv") || !dialout)
        GTEST_SKIP() << "needs root, setpriv and the group dialout to run the tool as another user";
    THandsetProcess handset({"--serial", "0000100001"});
    ASSERT_TRUE(handset.Started());
    // As a USB adapter's device is: the group dialout's.
    const std::string device = handset.Device();
    ASSERT_EQ(chown(device.c_str(), 0, dialout->gr_gid), 0);
    ASSERT_EQ(chmod(device.c_str(), 0660), 0);
    ASSERT_EQ(chmod(dir.path().toLocal8Bit().constData(), 0755), 0);
    const QString changes = dir.filePath("changes");
    const QString config = dir.filePath("config");
    ASSERT_TRUE(QDir().mkpath(changes) && QDir().mkpath(config));
    ASSERT_EQ(chown(changes.toLocal8Bit().constData(), 0, dialout->gr_gid), 0);
    ASSERT_EQ(chmod(changes.toLocal8Bit().constData(), 02770), 0);
    ASSERT_EQ(chmod(config.toLocal8Bit().constData(), 0777), 0);
    WriteFile(dir.filePath("list.phb"), "Anna,201\r\n");
    ASSERT_EQ(chmod(dir.filePath("list.phb").toLocal8Bit().constData(), 0644), 0);

    QProcess cli;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QUORVEL_CONFIG_DIR", config);
    env.insert("QUORVEL_STATE_DIR", changes);
    env.remove("QUORVEL_RECORDS");
    cli.setProcessEnvironment(env);
    cli.start("/usr/bin/setpriv",
              QStringList{"--reuid=nobody", "--regid=nogroup", "--groups=" + QString::number(dialout->gr_gid),
                          ProgramFolder() + "/quorvel-cli", "--port", QString::fromStdString(device), "--yes",
                          "phonebook", "write", dir.filePath("list.phb"), "--replace"});
    ASSERT_TRUE(cli.waitForFinished(60000));
    const std::string out = cli.readAllStandardOutput().toStdString();
    const std::string err = cli.readAllStandardError().toStdString();
    if (cli.exitCode() != 0 && err.find("Permission denied") != std::string::npos &&
        err.find(device) == std::string::npos)
        GTEST_SKIP() << "the build folder is closed to other users: " << err;
    EXPECT_EQ(cli.exitCode(), 0) << out << err;
    EXPECT_EQ(err.find("could not be noted"), std::string::npos) << err;
    const QByteArray log = ReadAll(changes + "/changes.jsonl");
    EXPECT_EQ(log.count("\"operation\":\"phonebook replace\""), 2) << log.toStdString();
    EXPECT_TRUE(log.contains("\"outcome\":\"done\"")) << log.toStdString();
    struct stat info {};
    ASSERT_EQ(stat((changes + "/changes.jsonl").toLocal8Bit().constData(), &info), 0);
    EXPECT_EQ(info.st_gid, dialout->gr_gid);
    EXPECT_EQ(info.st_mode & 0777, 0660u);
}
