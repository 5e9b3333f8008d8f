// Several docking stations at once, as a provisioning station uses them: every handset known by its
// serial number, backups that belong to their handset, a handset that is not the expected one refused,
// and one JSON document from every command, against virtual handsets on pseudo-terminals.
#include "support/HandsetProcess.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace {

QString Port(const THandsetProcess& handset) {
    return QString("COM%1").arg(handset.ComNumber());
}

QString WriteFile(const QString& path, const QByteArray& text) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
    return path;
}

QJsonObject Json(const THandsetProcess::TRun& run) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(run.out), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << run.out << run.err;
    EXPECT_TRUE(document.isObject()) << run.out;
    return document.object();
}

// The phone book a handset holds, as "phonebook read" prints it.
std::string Book(const THandsetProcess& handset) {
    return handset.Cli({"--port", Port(handset), "phonebook", "read"}).out;
}

constexpr const char* DefaultSerial = "00291 0284280";

} // namespace

TEST(Station, EveryHandsetIsNamedByItsSerialNumber) {
    QTemporaryDir dir;
    THandsetProcess desk;
    THandsetProcess hall({"--serial", "0000100002"}, desk);
    THandsetProcess empty({"--serial", "none"}, desk);
    ASSERT_TRUE(desk.Started() && hall.Started() && empty.Started());

    auto run = desk.Cli({"--port", Port(desk), "info"});
    EXPECT_NE(run.out.find("Serial:     00291 0284280\n"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("Handset 00291 0284280 at " + Port(desk).toStdString() + " (software 62018400"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(Json(empty.Cli({"--port", Port(empty), "--json", "info"}))["serial"].toString(), "no SIM");

    // The table and the result lines of a station name each port's handset; so do its recordings, from
    // the connection step on.
    const QString ports = Port(desk) + "," + Port(hall) + "," + Port(empty);
    const QString record = dir.filePath("calls.jsonl");
    run = desk.Cli({"--port", ports, "--record", record, "speed-dial", "read", "-o", dir.filePath("s.sdl")},
                   60000);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find(Port(hall).toStdString() + ": done (00001 0000002)\n"), std::string::npos)
        << run.out;
    const QRegularExpression row("\\n" + Port(empty) + " +no SIM +done");
    EXPECT_TRUE(row.match(QString::fromStdString(run.out)).hasMatch()) << run.out;
    QFile recording(dir.filePath("calls-" + Port(hall) + ".jsonl"));
    ASSERT_TRUE(recording.open(QIODevice::ReadOnly));
    const QByteArray lines = recording.readAll();
    EXPECT_TRUE(lines.contains("\"handset\":\"00001 0000002\"")) << lines.toStdString();

    // Under --json each port's result carries its serial number.
    const QJsonArray results = Json(desk.Cli({"--port", ports, "--json", "info"}, 60000))["ports"].toArray();
    ASSERT_EQ(results.size(), 3);
    EXPECT_EQ(results[0].toObject()["serial"].toString(), DefaultSerial);
    EXPECT_EQ(results[1].toObject()["output"].toObject()["serial"].toString(), "00001 0000002");

    // A list read on a station goes to a file of each port's own, never between the result lines.
    run = desk.Cli({"--port", ports, "phonebook", "read"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("give -o FILE"), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
}

TEST(Station, ARestoreGivesEachHandsetBackItsOwnList) {
    QTemporaryDir dir;
    THandsetProcess one({"--serial", "0000100001", "--phonebook-entries", "1"});
    THandsetProcess two({"--serial", "0000100002", "--phonebook-entries", "2"}, one);
    THandsetProcess three({"--serial", "0000100003", "--phonebook-entries", "3"}, one);
    THandsetProcess stranger({"--serial", "0000100009", "--phonebook-entries", "4"}, one);
    ASSERT_TRUE(one.Started() && two.Started() && three.Started() && stranger.Started());
    const std::string before[] = {Book(one), Book(two), Book(three)};
    const QString ports = Port(one) + "," + Port(two) + "," + Port(three);
    const QString list = WriteFile(dir.filePath("list.phb"), "New,1\r\n");

    auto run = one.Cli({"--port", ports, "--yes", "phonebook", "write", list, "--replace"}, 60000);
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    run = one.Cli({"--port", ports, "--yes", "phonebook", "restore-backup"}, 60000);
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_EQ(Book(one), before[0]);
    EXPECT_EQ(Book(two), before[1]);
    EXPECT_EQ(Book(three), before[2]);

    // A handset with no copy of its own is refused, and keeps its list.
    const std::string strangers = Book(stranger);
    run = stranger.Cli({"--port", Port(stranger), "--yes", "phonebook", "restore-backup"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("there is no phone book backup of the handset 00001 0000009"), std::string::npos)
        << run.err;
    // So is another handset's copy named by hand.
    const QJsonArray copies = Json(one.Cli({"--json", "backups", "list"}))["backups"].toArray();
    std::map<QString, int> perHandset;
    QString copyOfOne;
    for (const QJsonValue& copy : copies) {
        ++perHandset[copy.toObject()["handset"].toString()];
        if (copy.toObject()["handset"].toString() == "00001 0000001" &&
            copy.toObject()["kind"].toString() == "phonebook")
            copyOfOne = copy.toObject()["file"].toString();
    }
    EXPECT_EQ(perHandset.size(), 3u);
    EXPECT_EQ(perHandset["00001 0000002"], 2) << "the list replaced, and the one the restore replaced";
    run = stranger.Cli({"--port", Port(stranger), "--yes", "phonebook", "restore-backup", copyOfOne});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("is a copy of the handset 00001 0000001"), std::string::npos) << run.err;
    EXPECT_EQ(Book(stranger), strangers);

    // Pruning keeps the newest of each handset and kind.
    EXPECT_EQ(Json(one.Cli({"--json", "backups", "prune", "--keep", "1"}))["removed"].toArray().size(), 0);
}

TEST(Station, AHandsetThatIsNotTheExpectedOneIsRefusedBeforeAnyWrite) {
    QTemporaryDir dir;
    THandsetProcess desk({"--phonebook-entries", "1"});
    THandsetProcess swapped({"--serial", "0000100002", "--phonebook-entries", "2"}, desk);
    ASSERT_TRUE(desk.Started() && swapped.Started());
    const std::string held = Book(swapped);
    const QString list = WriteFile(dir.filePath("list.phb"), "New,1\r\n");
    const QString stations =
        WriteFile(dir.filePath("stations.csv"), "# port,serial\n" + Port(desk).toUtf8() + ",00291 0284280\n" +
                                                    Port(swapped).toUtf8() + ",00001-0000007\n");

    auto run = desk.Cli({"--port", "@" + stations, "--yes", "phonebook", "write", list, "--replace"}, 60000);
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    EXPECT_EQ(Book(desk), "New,1\r\n");
    EXPECT_EQ(Book(swapped), held);
    EXPECT_NE(run.err.find("is 00001 0000002, not 00001 0000007 as --expect-serial says"), std::string::npos)
        << run.err;

    run = desk.Cli({"--port", Port(swapped), "--expect-serial", "00001 0000007", "--yes", "write-memory",
                    "0x2C0C", "12"});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_EQ(desk.Cli({"--port", Port(swapped), "--expect-serial", "00001 0000002", "info"}).exitCode, 0);
    EXPECT_EQ(desk.Cli({"--expect-serial", "291", "info"}).exitCode, 2);
    WriteFile(stations, Port(desk).toUtf8() + "\n");
    run = desk.Cli({"--port", "@" + stations, "info"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("stations.csv line 1:"), std::string::npos) << run.err;
}

// Every command answers --json with one document that says whether it succeeded, with its messages,
// also when it fails; the help's list of commands is the list checked.
TEST(CliContract, EveryCommandAnswersWithOneJsonDocument) {
    QTemporaryDir dir;
    THandsetProcess handset({"--phonebook-entries", "2"});
    THandsetProcess other({"--serial", "none"}, handset);
    ASSERT_TRUE(handset.Started() && other.Started());
    const QString folder = dir.filePath("Dossier été");
    const QString phb = WriteFile(folder + "/list.phb", "A,1\r\n");
    const QString pro = WriteFile(folder + "/p.pro", "[profile settings]\r\nringer tone=2\r\n");
    const QString sdl = WriteFile(folder + "/s.sdl", "Key_1,123\r\n");
    const QString bgl = WriteFile(folder + "/g.BGL", "5\r\n" + QByteArray("\r\n").repeated(15));
    const QString csv =
        WriteFile(folder + "/c.csv", "First Name,Last Name,Mobile Phone\r\nAnna,Berg,0301234\r\n");
    const QString sim = folder + "/moved.sim";
    const QStringList port{"--port", Port(handset), "--yes"};
    const QStringList otherPort{"--port", Port(other), "--yes"};

    struct TCall {
        QStringList form;
        QStringList args;
        int exit = 0;
    };
    const std::vector<TCall> calls = {
        {{"ports"}, {}},
        {{"probe"}, port},
        {{"doctor"}, port},
        {{"info"}, port},
        {{"send"}, port + QStringList{"02 5D 16"}},
        {{"read-memory"}, port + QStringList{"0x40", "5"}},
        {{"write-memory"}, port + QStringList{"0x2C0C", "12"}},
        {{"phonebook", "read"}, port + QStringList{"-o", folder + "/read.phb"}},
        {{"phonebook", "write"}, port + QStringList{phb, "--replace"}},
        {{"phonebook", "restore-backup"}, port},
        {{"phonebook", "delete"}, port},
        {{"phonebook", "import"}, QStringList{csv, "-o", folder + "/imported.phb"}},
        {{"profile", "read"}, port},
        {{"profile", "write"}, port + QStringList{pro}},
        {{"verify"}, port + QStringList{pro}},
        {{"profile", "restore-backup"}, port},
        {{"ringer"}, port + QStringList{"2"}},
        {{"sim-list"}, {"--software", "62018400", "--pcs", "06B"}},
        {{"speed-dial", "read"}, port},
        {{"speed-dial", "write"}, port + QStringList{sdl}},
        {{"speed-dial", "delete"}, port},
        {{"groups", "read"}, port},
        {{"groups", "write"}, port + QStringList{bgl, "--add"}},
        {{"groups", "delete"}, port},
        {{"sim", "save"}, port + QStringList{folder + "/moved.sim"}},
        {{"sim", "records"}, {}},
        {{"sim", "history"}, {}},
        {{"records", "export"}, QStringList{folder + "/records.json"}},
        {{"records", "import"}, QStringList{folder + "/records.json"}},
        {{"records", "activate"}, {}},
        {{"records", "remove"}, QStringList{"00000 0000001", "--yes"}, 2},
        {{"records", "init"}, {}},
        {{"sim", "check"}, QStringList{sim}, 2},
        {{"sim", "release"}, QStringList{sim}, 2},
        {{"sim", "restore"}, otherPort + QStringList{sim}, 1},
        {{"backups", "list"}, {}},
        {{"backups", "prune"}, {}},
        {{"template", "check"},
         QStringList{
             QFileInfo(WriteFile(folder + "/template/profile.pro", "[profile settings]\r\nringer tone=2\r\n"))
                 .path()}},
        {{"provision"}, port + QStringList{folder + "/template"}},
        {{"station", "run"}, port + QStringList{folder + "/template"}},
        // It runs until stopped; a folder that is no template ends it at once.
        {{"station", "watch"}, QStringList{folder + "/no-template"}, 2},
        {{"log"}, {}},
        {{"handsets"}, {}},
        {{"set-port"}, port},
    };
    std::set<QString> checked;
    for (const TCall& call : calls) {
        // The subcommand's own arguments follow it; global options may stand anywhere.
        QStringList globals, own;
        for (qsizetype i = 0; i < call.args.size(); ++i) {
            const QString& a = call.args[i];
            if (a == "--port") {
                globals << a << call.args[++i];
            } else if (a == "--yes") {
                globals << a;
            } else {
                own << a;
            }
        }
        const auto run = handset.Cli(QStringList{"--json"} + globals + call.form + own, 60000);
        const QString name = call.form.join(' ');
        checked.insert(name);
        const QJsonObject document = Json(run);
        EXPECT_EQ(document["exit"].toInt(-1), run.exitCode) << name.toStdString() << run.out;
        EXPECT_EQ(document["ok"].toBool(), run.exitCode == 0) << name.toStdString();
        EXPECT_TRUE(document["messages"].isArray()) << name.toStdString();
        EXPECT_EQ(run.exitCode, call.exit) << name.toStdString() << run.err;
    }
    // A SIM save names its file with the folder's real characters.
    const QJsonArray sims = Json(handset.Cli({"--json", "sim", "records"}))["sims"].toArray();
    ASSERT_EQ(sims.size(), 1);
    EXPECT_TRUE(sims[0].toObject()["file"].toString().startsWith(folder))
        << sims[0].toObject()["file"].toString().toStdString();

    // Failures are documents too: a port that is not there, a wrong call, a command without JSON form.
    for (const QStringList& failing :
         {QStringList{"--port", "COM49", "info"}, QStringList{"phonebook", "rename"}, QStringList{"help"}}) {
        const auto run = handset.Cli(QStringList{"--json"} + failing);
        const QJsonObject document = Json(run);
        EXPECT_FALSE(document["ok"].toBool(true));
        EXPECT_EQ(document["exit"].toInt(), run.exitCode);
        EXPECT_FALSE(document["messages"].toArray().isEmpty()) << run.out;
    }

    // Every form the help lists is among those checked.
    const auto help = handset.Cli({"help"});
    bool inCommands = false;
    for (const QString& text : QString::fromStdString(help.out).split('\n')) {
        if (text == "commands:") {
            inCommands = true;
            continue;
        }
        if (inCommands && !text.startsWith("  "))
            break;
        if (inCommands) {
            const QStringList words = text.simplified().split(' ');
            const bool sub = words.size() > 1 && checked.count(words[0] + " " + words[1]);
            EXPECT_TRUE(sub || checked.count(words[0])) << text.toStdString();
        }
    }
}
