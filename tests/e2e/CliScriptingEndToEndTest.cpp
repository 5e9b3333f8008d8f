// quorvel-cli as scripts use it: exit statuses, messages, help, JSON, and several docking stations at
// once, against virtual handsets on pseudo-terminals.
#include "support/HandsetProcess.h"
#include "support/WaitFor.h"

#include "link/Sndmail.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <tuple>
#include <unistd.h>

namespace {

QString Port(const THandsetProcess& handset) {
    return QString("COM%1").arg(handset.ComNumber());
}

// Whether a process has a file open, as its descriptors in /proc show.
bool HasOpen(qint64 pid, const std::string& path) {
    const QDir fds(QString("/proc/%1/fd").arg(pid));
    for (const QString& fd : fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot))
        if (QFile::symLinkTarget(fds.filePath(fd)) == QString::fromStdString(path))
            return true;
    return false;
}

QString WriteFile(const QTemporaryDir& dir, const char* name, const QByteArray& text) {
    QFile file(dir.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
    return file.fileName();
}

QJsonObject Json(const THandsetProcess::TRun& run) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(run.out), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << run.out;
    EXPECT_TRUE(document.isObject()) << run.out;
    return document.object();
}

// Every line on stderr has the one form.
void ExpectMessageForm(const THandsetProcess::TRun& run) {
    for (const QByteArray& line : QByteArray::fromStdString(run.err).split('\n')) {
        if (!line.isEmpty()) {
            EXPECT_TRUE(line.startsWith("quorvel-cli: ") && !line.startsWith("quorvel-cli:  "))
                << line.toStdString();
        }
    }
}

} // namespace

// Each command reads its arguments through the options its form declares: another name of an option
// counts as the option, and what the form cannot mean is a wrong call that names the form's help.
TEST(CliScripting, ACommandsArgumentsAreReadThroughItsForm) {
    QTemporaryDir dir;
    THandsetProcess handset;
    ASSERT_TRUE(handset.Started());
    const QStringList port{"--port", Port(handset)};
    const QString groups = WriteFile(dir, "g.BGL", "1\r\n");

    const QString keys = dir.filePath("keys.sdl");
    auto run = handset.Cli(port + QStringList{"speed-dial", "read", "--output", keys});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(QFileInfo::exists(keys));

    const struct {
        QStringList args;
        const char* says;
    } wrong[] = {
        {{"groups", "write", groups, "--add", "--replace"}, "--add and --replace exclude each other"},
        {{"groups", "write", groups}, "--add or --replace is needed (quorvel-cli groups write --help)"},
        {{"speed-dial", "write"}, "FILE.sdl is needed"},
        {{"phonebook", "import", groups, "-o", "a.phb", "--output", "b.phb"}, "--output is given twice"},
        {{"phonebook", "write", groups, "--entries", "3"},
         "unknown option \"--entries\" for phonebook write"},
    };
    for (const auto& call : wrong) {
        run = handset.Cli(port + call.args);
        EXPECT_EQ(run.exitCode, 2) << call.says;
        EXPECT_NE(run.err.find(call.says), std::string::npos) << run.err;
    }
}

TEST(CliScripting, EachKindOfOutcomeHasItsExitStatus) {
    QTemporaryDir dir;
    THandsetProcess handset;
    ASSERT_TRUE(handset.Started());
    const QStringList port{"--port", Port(handset)};

    // 2: a wrong call or an input that cannot be used, and nothing is sent.
    auto run = handset.Cli(port + QStringList{"send", "zz"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err.find("Unit:"), std::string::npos) << run.err;
    ExpectMessageForm(run);
    run = handset.Cli(port + QStringList{"--verbose", "send", "zz"});
    EXPECT_NE(run.err.find("Unit:"), std::string::npos) << run.err;
    run = handset.Cli(port + QStringList{"phonebook", "write", "list.phb", "--frobnicate"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("unknown option \"--frobnicate\" for phonebook write"), std::string::npos)
        << run.err;
    EXPECT_EQ(handset.Cli({"phonebook", "rename"}).exitCode, 2);
    EXPECT_EQ(handset.Cli({"dance"}).exitCode, 2);
    const QString empty = WriteFile(dir, "empty.pro", "[profile settings]\r\nno such setting=1\r\n");
    run = handset.Cli(port + QStringList{"--yes", "profile", "write", empty});
    EXPECT_EQ(run.exitCode, 2) << run.err;

    // 3: a confirmation was needed and nobody could give it; nothing is done.
    handset.Cli(port +
                QStringList{"--yes", "phonebook", "write", WriteFile(dir, "a.phb", "A,1\r\n"), "--add"});
    run = handset.Cli(port + QStringList{"phonebook", "delete"});
    EXPECT_EQ(run.exitCode, 3);
    ExpectMessageForm(run);
    EXPECT_EQ(handset.Cli(port + QStringList{"phonebook", "read"}).out, "A,1\r\n");

    // 1: the handset or the port failed, with what to try next.
    THandsetProcess silent({"--silent"});
    ASSERT_TRUE(silent.Started());
    run = silent.Cli({"--port", Port(silent), "probe"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("docking station"), std::string::npos) << run.err;
    run = silent.Cli({"--port", Port(silent), "phonebook", "read"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("Is the handset in its docking station"), std::string::npos) << run.err;
    ExpectMessageForm(run);
    run = handset.Cli({"--port", "COM49", "info"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("\"quorvel-cli ports\""), std::string::npos) << run.err;

    // A write ends with its summary, which names the handset; counts read as English.
    run = handset.Cli(port + QStringList{"--yes", "phonebook", "write",
                                         WriteFile(dir, "b.phb", "A,1\r\nB,2\r\n"), "--add"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("Written: 1 entry; skipped as already held: 1; not written: 0 (handset 00291 "
                           "0284280 at " +
                           Port(handset).toStdString() + ").\n"),
              std::string::npos)
        << run.out;
}

TEST(CliScripting, ABusyPortNamesTheProgramThatHoldsIt) {
    THandsetProcess handset;
    ASSERT_TRUE(handset.Started());
    TSendmail holder;
    ASSERT_TRUE(holder.OpenPort(uint8_t(handset.ComNumber()), 115200));
    const auto run = handset.Cli({"--port", Port(handset), "probe"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("is in use by another program"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("(process " + std::to_string(getpid()) + ")"), std::string::npos) << run.err;
}

// The program that opened the port is named, not the one at the other end of the line: here the holder
// starts after the virtual handset, whose end of the pseudo-terminal a scan of open files finds first.
TEST(CliScripting, ABusyPortNamesTheProgramThatOpenedItNotItsPartner) {
    THandsetProcess handset({"--pace", "2400"});
    ASSERT_TRUE(handset.Started());
    QProcess holder;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QUORVEL_CONFIG_DIR", handset.ConfigDir());
    holder.setProcessEnvironment(env);
    holder.start(ProgramFolder() + "/quorvel-cli", {"--port", Port(handset), "read-memory", "0", "4000"});
    ASSERT_TRUE(holder.waitForStarted(5000));
    ASSERT_TRUE(WaitFor([&] { return HasOpen(holder.processId(), handset.Device()); }));
    EXPECT_EQ(holder.state(), QProcess::Running) << "the read holds the port for a while";
    const auto run = handset.Cli({"--port", Port(handset), "probe"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("held by quorvel-cli (process " + std::to_string(holder.processId()) + ")"),
              std::string::npos)
        << run.err;
    holder.kill();
    holder.waitForFinished(5000);
}

TEST(CliScripting, EveryCommandHasItsOwnHelp) {
    THandsetProcess handset;
    const std::vector<QStringList> forms = {{"ports"},
                                            {"probe"},
                                            {"set-port"},
                                            {"info"},
                                            {"send"},
                                            {"read-memory"},
                                            {"write-memory"},
                                            {"phonebook", "read"},
                                            {"phonebook", "write"},
                                            {"phonebook", "delete"},
                                            {"phonebook", "restore-backup"},
                                            {"phonebook", "import"},
                                            {"profile", "read"},
                                            {"profile", "write"},
                                            {"profile", "restore-backup"},
                                            {"ringer"},
                                            {"sim-list"},
                                            {"sim", "save"},
                                            {"sim", "restore"},
                                            {"sim", "records"},
                                            {"sim", "check"},
                                            {"sim", "release"},
                                            {"sim", "history"},
                                            {"records", "export"},
                                            {"records", "import"},
                                            {"speed-dial", "read"},
                                            {"speed-dial", "write"},
                                            {"speed-dial", "delete"},
                                            {"groups", "read"},
                                            {"groups", "write"},
                                            {"groups", "delete"},
                                            {"log"}};
    for (const QStringList& form : forms) {
        const std::string usage = "usage: quorvel-cli " + form.join(' ').toStdString();
        for (const QStringList& call : {QStringList{"help"} + form, form + QStringList{"--help"}}) {
            const auto run = handset.Cli(call);
            EXPECT_EQ(run.exitCode, 0) << call.join(' ').toStdString();
            EXPECT_EQ(run.out.rfind(usage, 0), 0u) << run.out;
            EXPECT_NE(run.out.find("\nexample:\n  quorvel-cli "), std::string::npos) << run.out;
            EXPECT_NE(run.out.find("Exit status: 0 done"), std::string::npos) << run.out;
        }
    }
    // A command's help holds every one of its forms; the overview every command.
    const auto phonebook = handset.Cli({"help", "phonebook"});
    EXPECT_NE(phonebook.out.find("usage: quorvel-cli phonebook import"), std::string::npos);
    const auto overview = handset.Cli({"help"});
    EXPECT_EQ(overview.exitCode, 0);
    for (const QStringList& form : forms)
        EXPECT_NE(overview.out.find("  " + form.join(' ').toStdString() + " "), std::string::npos)
            << form.join(' ').toStdString();
    EXPECT_EQ(handset.Cli({"help", "phonebook", "rename"}).exitCode, 2);
}

TEST(CliScripting, JsonHoldsWhatTheTextHolds) {
    QTemporaryDir dir;
    THandsetProcess handset({"--phonebook-entries", "2"});
    ASSERT_TRUE(handset.Started());
    const QStringList port{"--port", Port(handset), "--json"};

    QJsonObject info = Json(handset.Cli(port + QStringList{"info"}));
    EXPECT_EQ(info["capacity"].toInt(), 200);
    EXPECT_EQ(info["software"].toString(), "62018400");
    EXPECT_EQ(info["level"].toInt(), 7);
    EXPECT_EQ(Json(handset.Cli(port + QStringList{"probe"}))["answered"].toBool(), true);
    EXPECT_TRUE(Json(handset.Cli(port + QStringList{"ports"}))["ports"].isArray());

    const QJsonArray entries =
        Json(handset.Cli(port + QStringList{"phonebook", "read"}))["entries"].toArray();
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries[0].toObject()["name"].toString(), "Name 001");
    EXPECT_EQ(entries[1].toObject()["number"].toString(), "5550002");
    // -o - is stdout.
    EXPECT_EQ(handset.Cli({"--port", Port(handset), "phonebook", "read", "-o", "-"}).out,
              "Name 001,5550001\r\nName 002,5550002\r\n");

    const QJsonObject profile =
        Json(handset.Cli(port + QStringList{"profile", "read"}))["settings"].toObject();
    EXPECT_EQ(profile["ringer tone"].toInt(), 1);
    EXPECT_EQ(profile["ringer volume"].toInt(), 3);

    const QJsonObject written = Json(handset.Cli(
        port + QStringList{"--yes", "groups", "write",
                           WriteFile(dir, "g.BGL", "5\r\n" + QByteArray("\r\n").repeated(15)), "--add"}));
    EXPECT_EQ(written["ok"].toBool(), true);
    EXPECT_EQ(written["written"].toInt(), 1);

    const QJsonObject list =
        Json(handset.Cli({"--json", "sim-list", "--software", "62018400", "--pcs", "6A"}));
    EXPECT_EQ(list["version"].toString(), "2.01");
    EXPECT_EQ(list["entry"].toObject()["pcs"].toString(), "06A");
    // A PCS of two characters is read as the handset reports it: "6A" is "06A".
    EXPECT_EQ(handset.Cli({"sim-list", "--software", "62018400", "--pcs", "6A"}).out,
              handset.Cli({"sim-list", "--software", "62018400", "--pcs", "06A"}).out);
    EXPECT_TRUE(Json(handset.Cli({"--json", "sim", "records"}))["sims"].isArray());
}

TEST(CliScripting, AStationWritesEveryDockingStationAtOnceAndNamesTheOneThatFailed) {
    QTemporaryDir dir;
    THandsetProcess first({"--state", dir.filePath("1.txt")});
    THandsetProcess silent({"--silent"}, first);
    THandsetProcess third({"--state", dir.filePath("3.txt")}, first);
    ASSERT_TRUE(first.Started() && silent.Started() && third.Started());
    const QString ports = Port(first) + "," + Port(silent) + "," + QString::fromStdString(third.Device());
    const QString list = WriteFile(dir, "list.phb", "A,1\r\nB,2\r\n");

    // One confirmation for all; without a terminal and --yes nothing happens anywhere.
    auto run = first.Cli({"--port", ports, "phonebook", "write", list, "--replace"});
    EXPECT_EQ(run.exitCode, 3) << run.err;
    EXPECT_EQ(first.Cli({"--port", Port(first), "phonebook", "read"}).out, "");

    run = first.Cli({"--port", ports, "--yes", "phonebook", "write", list, "--replace"}, 60000);
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    EXPECT_NE(run.out.find(Port(first).toStdString() + ": done (00291 0284280)\n"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find(Port(silent).toStdString() + ": failed, exit status 1\n"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("\nport     handset        result  exit  message\n"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find(Port(first).toStdString() + "    00291 0284280  done"), std::string::npos)
        << run.out;
    EXPECT_EQ(first.Cli({"--port", Port(first), "phonebook", "read"}).out, "A,1\r\nB,2\r\n");
    EXPECT_EQ(third.Cli({"--port", Port(third), "phonebook", "read"}).out, "A,1\r\nB,2\r\n");

    // --json: one document with the result of each port.
    run = first.Cli({"--port", ports, "--json", "phonebook", "read"}, 60000);
    const QJsonArray results = Json(run)["ports"].toArray();
    ASSERT_EQ(results.size(), 3);
    EXPECT_TRUE(results[0].toObject()["ok"].toBool());
    EXPECT_EQ(results[0].toObject()["output"].toObject()["entries"].toArray().size(), 2);
    EXPECT_FALSE(results[1].toObject()["ok"].toBool());

    // "all": the ports of the device map whose docking station answers.
    run = first.Cli({"--port", "all", "info"}, 60000);
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_NE(run.out.find(Port(third).toStdString() + ": done"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find(Port(silent).toStdString() + ":"), std::string::npos) << run.out;
}

// Each program says its version; the window program gives its help and, without a display, says so
// instead of aborting.
TEST(CliScripting, EveryProgramSaysItsVersionAndTheWindowItsHelp) {
    const auto run = [](const QString& program, const QStringList& args, bool display = true) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!display)
            for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
                env.remove(name);
        process.setProcessEnvironment(env);
        process.start(ProgramFolder() + "/" + program, args);
        EXPECT_TRUE(process.waitForFinished(20000)) << program.toStdString();
        return std::make_tuple(process.exitCode(), process.readAllStandardOutput().toStdString(),
                               process.readAllStandardError().toStdString());
    };
    for (const char* program : {"quorvel", "quorvel-cli", "quorvel-handset"}) {
        const auto [code, out, err] = run(program, {"--version"});
        EXPECT_EQ(code, 0) << program << err;
        EXPECT_TRUE(out.starts_with(std::string(program) + " 0.")) << out;
        EXPECT_NE(out.find("(built "), std::string::npos) << out;
    }
    const auto [helpCode, help, helpErr] = run("quorvel", {"--help"}, false);
    EXPECT_EQ(helpCode, 0) << helpErr;
    EXPECT_TRUE(help.starts_with("usage: quorvel [-?] [-debug] [-outlook] [--record FILE]")) << help;
    const auto [code, out, err] = run("quorvel", {}, false);
    EXPECT_EQ(code, 1);
    EXPECT_NE(err.find("there is no display to open the window on"), std::string::npos) << err;
}

// On a station every handset's list goes to a file of its own: "-o x.phb" gives x-COMn.phb per port.
TEST(CliScripting, AStationWritesEachHandsetsOutputToAFileOfItsOwn) {
    QTemporaryDir dir;
    THandsetProcess one({"--phonebook-entries", "1"});
    THandsetProcess two({"--phonebook-entries", "2"}, one);
    ASSERT_TRUE(one.Started() && two.Started());
    const QString file = dir.filePath("x.phb");
    const auto run = one.Cli({"--port", Port(one) + "," + Port(two), "phonebook", "read", "-o", file});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_FALSE(QFile::exists(file));
    const auto lines = [](const QString& path) {
        QFile read(path);
        return read.open(QIODevice::ReadOnly) ? read.readAll().count('\n') : -1;
    };
    EXPECT_EQ(lines(dir.filePath("x-" + Port(one) + ".phb")), 1);
    EXPECT_EQ(lines(dir.filePath("x-" + Port(two) + ".phb")), 2);
}
