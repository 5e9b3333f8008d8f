// The SIM move between two virtual handsets, through real pseudo-terminals, with the records of SIMs in
// files in a folder of the test's own.
#include "support/HandsetProcess.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>

#include <pwd.h>
#include <unistd.h>

namespace {

const std::string Serial = "00291 0284280";

// The name a step is taken under: the account the tools run as.
std::string Login() {
    const passwd* entry = getpwuid(geteuid());
    return entry ? entry->pw_name : "";
}

QJsonObject Json(const std::string& text) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(text)).object();
}

// The names of the steps the records keep of one SIM, oldest first.
std::vector<std::string> StepNames(const QJsonArray& steps) {
    std::vector<std::string> names;
    for (const QJsonValue& step : steps)
        names.push_back(step.toObject()["step"].toString().toStdString());
    return names;
}

struct SimMove : testing::Test {
    SimMove() { qputenv("QUORVEL_STATE_DIR", machine.path().toLocal8Bit()); }
    ~SimMove() override { qputenv("QUORVEL_STATE_DIR", saved); }

    static THandsetProcess::TRun Sim(const THandsetProcess& handset, const QStringList& args) {
        return handset.Cli(
            QStringList{"--port", QString("COM%1").arg(handset.ComNumber()), "--yes", "sim"} + args, 60000);
    }
    QString State(const char* name) const { return dir.filePath(name); }
    QString Chosen() const { return dir.filePath("backup.sim"); }
    QString SimFile() const { return dir.filePath(QString::fromStdString("backup_" + Serial + ".sim")); }
    // The serial number bytes of a handset as its state file holds them.
    // A row of FF bytes is left out of the file.
    static bool HoldsSerial(const QString& state, bool present) {
        if (!present) {
            const int first = StateMemoryByte(state, 64, 0xFF);
            return first == 0xFF || first == -1;
        }
        return StateMemoryByte(state, 64, 0x00) == 0x00 && StateMemoryByte(state, 68, 0x78) == 0x78;
    }

    const QByteArray saved = qgetenv("QUORVEL_STATE_DIR");
    QTemporaryDir machine;
    QTemporaryDir dir;
};

} // namespace

TEST_F(SimMove, FromOneHandsetIntoAFileAndIntoAnother) {
    THandsetProcess first({"--state", State("first.txt")});
    THandsetProcess second({"--state", State("second.txt"), "--serial", "none"});
    ASSERT_TRUE(first.Started() && second.Started());

    auto run = Sim(first, {"save", Chosen()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "Written: " + SimFile().toStdString() + "\nSerial number: " + Serial + "\n");
    EXPECT_FALSE(QFile::exists(Chosen()));
    EXPECT_EQ(QFile(SimFile()).size(), 0x800);
    // The handset it came from has no serial number and says so.
    EXPECT_TRUE(HoldsSerial(State("first.txt"), false));
    EXPECT_EQ(StateMemoryByte(State("first.txt"), 409, 'N'), 'N');
    run = Sim(first, {"records"});
    EXPECT_NE(run.out.find(Serial + "  software 62018400  pcs 06B  crc "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("in its file"), std::string::npos) << run.out;
    // Who took the last step on which PC, and where the records are.
    EXPECT_NE(run.out.find("\n  last step by " + Login() + " on " +
                           QSysInfo::machineHostName().toStdString() + " at "),
              std::string::npos)
        << run.out;
    const std::string database = machine.filePath("records.db").toStdString();
    EXPECT_NE(run.err.find("1 SIM in files, recorded in " + database), std::string::npos) << run.err;
    const QJsonObject records = Json(Sim(first, {"--json", "records"}).out);
    EXPECT_EQ(records["store"].toString().toStdString(), database);
    const QJsonObject lastStep = records["sims"].toArray()[0].toObject()["lastStep"].toObject();
    EXPECT_EQ(lastStep["user"].toString().toStdString(), Login());
    EXPECT_EQ(lastStep["host"].toString(), QSysInfo::machineHostName());
    EXPECT_FALSE(lastStep["time"].toString().isEmpty());
    EXPECT_EQ(Sim(first, {"check", SimFile()}).exitCode, 0);
    // Moved out twice: there is no SIM left to move.
    run = Sim(first, {"save", Chosen()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("Error #3"), std::string::npos) << run.err;

    const QString copy = dir.filePath("copy.sim");
    ASSERT_TRUE(QFile::copy(SimFile(), copy));
    run = Sim(second, {"restore", SimFile()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("change the serial number on the label in the handset to \"" + Serial + "\""),
              std::string::npos)
        << run.err;
    EXPECT_TRUE(HoldsSerial(State("second.txt"), true));
    EXPECT_FALSE(QFile::exists(SimFile()));
    EXPECT_EQ(Sim(second, {"records"}).out, "");
    // The record is gone, its steps are not: the way out, into the file and back in, by this user.
    const QJsonObject history = Json(Sim(second, {"--json", "history", QString::fromStdString(Serial)}).out);
    const QJsonArray steps = history["steps"].toArray();
    // Each step once: the handset's erase after the save is a step of its own.
    EXPECT_EQ(StepNames(steps),
              (std::vector<std::string>{"moving-out", "in-file", "erased", "moving-in", "removed"}))
        << QJsonDocument(history).toJson().toStdString();
    for (const QJsonValue& step : steps) {
        EXPECT_EQ(step.toObject()["serial"].toString().toStdString(), Serial);
        EXPECT_EQ(step.toObject()["user"].toString().toStdString(), Login());
    }
    EXPECT_EQ(steps[1].toObject()["file"].toString(), SimFile());
    EXPECT_EQ(steps[1].toObject()["state"].toString(), "");
    // One line a step; the file names the same SIM (the copy: the file itself is gone).
    run = Sim(second, {"history", copy});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::string line = " " + Login() + "  " + QSysInfo::machineHostName().toStdString() + "  " + Serial;
    EXPECT_NE(run.out.find(line + "  in-file  -  " + SimFile().toStdString() + "\n"), std::string::npos)
        << run.out;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), steps.size()) << run.out;
    EXPECT_EQ(Sim(second, {"history"}).out, run.out) << "one SIM moved: all steps are its";
    EXPECT_EQ(Sim(second, {"history", dir.filePath("nothing.sim")}).exitCode, 2);
    // The copy is of a SIM that is in a handset now: it is taken nowhere.
    run = Sim(first, {"restore", copy});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("The SIM file is not valid!"), std::string::npos) << run.err;
    EXPECT_TRUE(HoldsSerial(State("first.txt"), false));
}

TEST_F(SimMove, AHandsetWithASimOfItsOwnAndBadFilesAreRefused) {
    THandsetProcess first;
    THandsetProcess other({"--serial", "0000000001"});
    ASSERT_TRUE(first.Started() && other.Started());
    ASSERT_EQ(Sim(first, {"save", Chosen()}).exitCode, 0);
    auto run = Sim(other, {"restore", SimFile()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("This handset holds the SIM 00000 0000001."), std::string::npos) << run.err;
    EXPECT_TRUE(QFile::exists(SimFile()));
    EXPECT_EQ(Sim(first, {"check", SimFile()}).exitCode, 0);

    // Edited, empty, junk, or cut: the file is refused and nothing reaches the handset.
    QFile file(SimFile());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    file.close();
    const auto Try = [&](const char* name, const QByteArray& content) {
        QFile out(dir.filePath(name));
        EXPECT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(content);
        out.close();
        return Sim(first, {"restore", dir.filePath(name)});
    };
    QByteArray swapped = bytes;
    std::swap(swapped[21], swapped[26]); // the sum is kept, the bytes are not
    EXPECT_NE(Try("swapped.sim", swapped).err.find("The SIM file is not valid!"), std::string::npos);
    EXPECT_NE(Try("empty.sim", "").err.find("could not find data in file"), std::string::npos);
    EXPECT_NE(Try("junk.sim", QByteArray(5000, '\x12')).err.find("The SIM file is not valid!"),
              std::string::npos);
    run = Try("cut.sim", bytes.left(0x400));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("The SIM file is not valid!"), std::string::npos) << run.err;
    EXPECT_EQ(Sim(first, {"check", SimFile()}).exitCode, 0) << "the real file is still taken";
}

TEST_F(SimMove, AnEraseWhoseOutcomeIsNotKnownIsFinishedByTheNextSave) {
    // No read of the serial number after its erase is answered: the erase happened, but the program
    // cannot know it.
    {
        THandsetProcess lost({"--state", State("first.txt"), "--ignore-mail", "023C0800054000:1+"});
        ASSERT_TRUE(lost.Started());
        const auto run = Sim(lost, {"save", Chosen()});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_NE(run.err.find("Error #5"), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("could not be found out"), std::string::npos) << run.err;
        // Not yet a SIM in a file: nothing takes it.
        EXPECT_EQ(Sim(lost, {"check", SimFile()}).exitCode, 2);
        THandsetProcess empty({"--serial", "none"});
        ASSERT_TRUE(empty.Started());
        const auto refused = Sim(empty, {"restore", SimFile()});
        EXPECT_NE(refused.err.find("did not finish"), std::string::npos) << refused.err;
    }
    THandsetProcess again({"--state", State("first.txt")});
    ASSERT_TRUE(again.Started());
    const auto run = Sim(again, {"save", Chosen()});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("is finished: the SIM is in the file"), std::string::npos) << run.err;
    EXPECT_EQ(Sim(again, {"check", SimFile()}).exitCode, 0);
}

TEST_F(SimMove, AMoveInLeftUnfinishedIsTakenOnlyByItsHandsetUntilReleased) {
    {
        THandsetProcess first;
        ASSERT_TRUE(first.Started());
        ASSERT_EQ(Sim(first, {"save", Chosen()}).exitCode, 0);
    }
    // No read of the serial number after the connection step's and the move's first is answered: the
    // serial number goes in, and its erase after the failed read-back too, but the program cannot know
    // either.
    {
        THandsetProcess lost(
            {"--state", State("marked.txt"), "--serial", "none", "--ignore-mail", "023C0800054000:3+"});
        ASSERT_TRUE(lost.Started());
        const auto run = Sim(lost, {"restore", SimFile()});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_NE(run.err.find("could not be found out"), std::string::npos) << run.err;
    }
    THandsetProcess marked({"--state", State("marked.txt")});
    THandsetProcess other({"--state", State("other.txt"), "--serial", "none"});
    ASSERT_TRUE(marked.Started() && other.Started());
    auto run = Sim(other, {"check", SimFile()});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("into a handset did not finish"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("it shows \"MOVING IN " + Serial + " "), std::string::npos) << run.err;
    run = Sim(other, {"restore", SimFile()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("it shows \"MOVING IN "), std::string::npos) << run.err;
    EXPECT_TRUE(HoldsSerial(State("other.txt"), false));

    // The person knows the marked handset is lost: the file is released, and taken.
    run = Sim(other, {"release", SimFile()});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE((run.out + run.err).find("is released"), std::string::npos) << run.out << run.err;
    run = Sim(other, {"records"});
    EXPECT_NE(run.out.find("in its file"), std::string::npos) << run.out;
    run = Sim(other, {"restore", SimFile()});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(HoldsSerial(State("other.txt"), true));
    // The marked handset turns up after all: its mark is of a move that is over.
    run = Sim(marked, {"save", Chosen()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("the mark of a move that is over; the mark is cleared"), std::string::npos)
        << run.err;
    EXPECT_EQ(Sim(marked, {"release", SimFile()}).exitCode, 2) << "no file, nothing to release";
}

namespace {

// Records of two SIMs in every field, texts with bytes beyond ASCII (each byte one Windows-1252
// character: "\u0081" is the byte 0x81, "\u20ac" 0x80), one of them in a move.
constexpr const char* TwoRecords =
    R"({"format": "quorvel-sim-records", "version": 1, "kind": "move", "records": [
  {"serial": "00001 0000002", "software": "62018400", "pcs": "06A", "crc": 0,
   "sha256": "ffeeddccbbaa99887766554433221100ffeeddccbbaa99887766554433221100",
   "saved": "2026-12-01 08:00:00", "state": "", "file": "/sims/hall_00001 0000002.sim",
   "mark": "\u0001\u0081\u00ff\u20ac", "text": "", "released": "2026-12-02 09:00:00 handset lost",
   "lastStep": {"user": "j\u00fcrgen", "host": "hall-pc", "time": "2026-12-02T09:00:00+01:00"}},
  {"serial": "00291 0284280", "software": "62018400", "pcs": "06B", "crc": 4294967295,
   "sha256": "00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff",
   "saved": "2026-12-09 22:30:00", "state": "moving-in", "file": "/sims/D\u00e9sk \u00e9t\u00e9.sim",
   "mark": "MOVING IN 00291 0284280 1A2B3C4D",
   "text": "202020202020202020202020202020202020202020202020202020202020202020202020",
   "released": "", "lastStep": {"user": "alice", "host": "desk-pc", "time": "2026-12-10T09:30:00+01:00"}}
]})";

// quorvel-cli without a handset, the records where QUORVEL_RECORDS says (the machine's when empty).
struct RecordsBetweenStores : SimMove {
    THandsetProcess::TRun Cli(const QStringList& args, const QString& records = {}) const {
        QProcess cli;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QUORVEL_CONFIG_DIR", config.path());
        env.remove("QUORVEL_RECORDS");
        if (!records.isEmpty())
            env.insert("QUORVEL_RECORDS", records);
        cli.setProcessEnvironment(env);
        cli.start(ProgramFolder() + "/quorvel-cli", args);
        THandsetProcess::TRun run;
        if (cli.waitForStarted(5000) && cli.waitForFinished(30000)) {
            run.exitCode = cli.exitCode();
            run.out = cli.readAllStandardOutput().toStdString();
            run.err = cli.readAllStandardError().toStdString();
        }
        return run;
    }
    QString Write(const char* name, const QByteArray& text) const {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
        return file.fileName();
    }
    // The records a store takes, as a copy gives them (the store keeps them).
    QJsonArray Exported(const QString& store) const {
        const auto run = Cli(store.isEmpty() ? QStringList{"records", "export", "--copy"}
                                             : QStringList{"records", "export", "--copy", "--store", store});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        return Json(run.out)["records"].toArray();
    }
    QString Sqlite(const char* name) const { return "sqlite:" + dir.filePath(name); }

    QTemporaryDir config;
};

} // namespace

TEST_F(RecordsBetweenStores, EveryFieldComesBackAsItWent) {
    const QString in = Write("in.json", TwoRecords);
    const QJsonArray sent = Json(TwoRecords)["records"].toArray();
    auto run = Cli({"records", "import", in, "--store", Sqlite("a.db")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out,
              "2 records added, 0 already there (store " + dir.filePath("a.db").toStdString() + ")\n");

    // From one file into another through an export file, and out again onto stdout.
    const QString a = dir.filePath("a.json");
    run = Cli({"records", "export", a, "--store", Sqlite("a.db")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    QFile exported(a);
    ASSERT_TRUE(exported.open(QIODevice::ReadOnly));
    const QJsonObject document = Json(exported.readAll().toStdString());
    EXPECT_EQ(document["format"].toString(), "quorvel-sim-records");
    EXPECT_EQ(document["version"].toInt(), 1);
    EXPECT_EQ(document["store"].toString(), dir.filePath("a.db"));
    EXPECT_EQ(document["records"].toArray(), sent);
    run = Cli({"records", "import", a}, Sqlite("b.db"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Exported(Sqlite("b.db")), sent);
    // Again: nothing new.
    run = Cli({"--json", "records", "import", a}, Sqlite("b.db"));
    EXPECT_EQ(Json(run.out)["added"].toInt(-1), 0) << run.out;
    EXPECT_EQ(Json(run.out)["alreadyThere"].toInt(), 2) << run.out;

    // The imported records keep who took their last step; the import is a step of its own.
    run = Cli({"sim", "records"}, Sqlite("b.db"));
    EXPECT_NE(run.out.find("\n  last step by alice on desk-pc at 2026-12-10T09:30:00+01:00\n"),
              std::string::npos)
        << run.out;
    const QJsonArray steps = Json(Cli({"--json", "sim", "history"}, Sqlite("b.db")).out)["steps"].toArray();
    EXPECT_EQ(StepNames(steps), (std::vector<std::string>{"imported", "imported"}));
    EXPECT_EQ(steps[1].toObject()["state"].toString(), "moving-in");
    EXPECT_EQ(steps[1].toObject()["user"].toString().toStdString(), Login());
}

TEST_F(RecordsBetweenStores, AnImportWithAnotherFileOfARecordedSimChangesNothing) {
    ASSERT_EQ(Cli({"records", "import", Write("in.json", TwoRecords)}, Sqlite("b.db")).exitCode, 0);
    const QJsonArray before = Exported(Sqlite("b.db"));
    // A new SIM, and one the target has with another "CRC".
    QJsonObject document = Json(TwoRecords);
    QJsonArray records = document["records"].toArray();
    QJsonObject changed = records[1].toObject();
    changed["crc"] = 12345;
    QJsonObject added = records[0].toObject();
    added["serial"] = "00001 0000009";
    document["records"] = QJsonArray{added, changed};
    const auto run = Cli({"records", "import", Write("other.json", QJsonDocument(document).toJson()),
                          "--store", Sqlite("b.db")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find(Serial), std::string::npos) << run.err;
    EXPECT_EQ(Exported(Sqlite("b.db")), before);
}

TEST_F(RecordsBetweenStores, AFieldThatCannotBeTakenIsNamedByItsIndexAndNothingIsImported) {
    const QJsonObject good = Json(TwoRecords);
    struct TCase {
        const char* field;
        QJsonValue value;
    };
    const TCase cases[] = {{"crc", -1},
                           {"crc", 4294967296.0},
                           {"crc", 1.5},
                           {"crc", "12"},
                           {"crc", QJsonValue()},
                           {"sha256", "0011"},
                           {"state", "moved"},
                           {"serial", ""},
                           {"serial", "a\\b"},
                           {"mark", 5},
                           {"file", QString::fromUtf8("/sims/\u0151.sim")},
                           {"lastStep", "alice"},
                           {"sha265", ""},
                           {"sha256", ""},
                           {"serial", "'; DROP TABLE sim_records; --"},
                           {"serial", "00291 028428"},
                           {"software", "6201840"},
                           {"pcs", QString(1000, 'P')},
                           {"released", QString(100000, 'r')}};
    for (const TCase& c : cases) {
        QJsonObject document = good;
        QJsonArray records = document["records"].toArray();
        QJsonObject record = records[1].toObject();
        record[c.field] = c.value;
        records[1] = record;
        document["records"] = records;
        const auto run = Cli({"records", "import", Write("bad.json", QJsonDocument(document).toJson())});
        EXPECT_EQ(run.exitCode, 2) << c.field << run.err;
        EXPECT_NE(run.err.find("bad.json: records[1]." + std::string(c.field) + ": "), std::string::npos)
            << run.err;
    }
    // The file as a whole: its kind, its version, a SIM twice, no JSON at all.
    const auto refused = [&](const QByteArray& text, const std::string& named) {
        const auto run = Cli({"records", "import", Write("bad.json", text)});
        EXPECT_EQ(run.exitCode, 2) << run.err;
        EXPECT_NE(run.err.find("bad.json: " + named), std::string::npos) << run.err;
    };
    refused(QByteArray(TwoRecords).replace("quorvel-sim-records", "phone-book"), "format: ");
    refused(QByteArray(TwoRecords).replace("\"version\": 1", "\"version\": 2"), "version: ");
    refused(QByteArray(TwoRecords).replace("00001 0000002", Serial.c_str()), "records[1].serial: ");
    refused("{\"format\": ", "no JSON at byte");
    EXPECT_TRUE(Exported("").isEmpty()) << "nothing reached the machine's records";
}

// An export moves the records: the store it came from takes none of the files afterwards, so one SIM
// file, or a copy of it, goes into one handset only.
TEST_F(RecordsBetweenStores, AnExportMovesTheRecordsSoOneSimGoesIntoOneHandsetOnly) {
    THandsetProcess first({"--state", State("first.txt")});
    THandsetProcess second({"--state", State("second.txt"), "--serial", "none"});
    THandsetProcess third({"--state", State("third.txt"), "--serial", "none"});
    ASSERT_TRUE(first.Started() && second.Started() && third.Started());
    ASSERT_EQ(Sim(first, {"save", Chosen()}).exitCode, 0);
    const QString copy = dir.filePath("copy.sim");
    ASSERT_TRUE(QFile::copy(SimFile(), copy));

    auto run = Cli({"records", "export", dir.filePath("a.json")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("no longer takes their SIM files"), std::string::npos) << run.out;
    ASSERT_EQ(Cli({"records", "import", dir.filePath("a.json")}, Sqlite("b.db")).exitCode, 0);
    run = Cli({"sim", "check", SimFile()});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("moved to another store by " + Login()), std::string::npos) << run.err;
    EXPECT_NE(Cli({"sim", "records"}).out.find("This store does not take its file"), std::string::npos);
    EXPECT_TRUE(Exported("").isEmpty()) << "a store gives only what it takes";

    // Each handset asks its own store: exactly one of them takes the SIM.
    run = Sim(second, {"restore", SimFile()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("moved to another store"), std::string::npos) << run.err;
    EXPECT_TRUE(HoldsSerial(State("second.txt"), false));
    qputenv("QUORVEL_RECORDS", Sqlite("b.db").toLocal8Bit());
    run = Sim(third, {"restore", copy});
    const auto secondTry = Sim(second, {"restore", SimFile()});
    qunsetenv("QUORVEL_RECORDS");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(HoldsSerial(State("third.txt"), true));
    EXPECT_EQ(secondTry.exitCode, 1);
    EXPECT_NE(secondTry.err.find("have no record of SIM " + Serial), std::string::npos) << secondTry.err;
    EXPECT_TRUE(HoldsSerial(State("second.txt"), false));
}

// A copy is a backup: its records are kept but taken only once the store it came from gives them up,
// to this store and no other.
TEST_F(RecordsBetweenStores, ACopyIsTakenOnlyOnceItsStoreGaveItUpToThisOne) {
    ASSERT_EQ(Cli({"records", "import", Write("in.json", TwoRecords)}, Sqlite("a.db")).exitCode, 0);
    const QString copy = dir.filePath("copy.json");
    ASSERT_EQ(Cli({"records", "export", copy, "--copy"}, Sqlite("a.db")).exitCode, 0);
    EXPECT_EQ(Exported(Sqlite("a.db")).size(), 2) << "a copy leaves the records where they are";
    auto run = Cli({"records", "import", copy}, Sqlite("b.db"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("The file is a copy"), std::string::npos) << run.err;
    EXPECT_TRUE(Exported(Sqlite("b.db")).isEmpty()) << "nothing taken yet";
    ASSERT_EQ(Cli({"records", "import", copy}, Sqlite("c.db")).exitCode, 0);

    // The SIM whose move is under way in the store it came from stays there.
    run = Cli({"--json", "records", "activate", "--from", Sqlite("a.db")}, Sqlite("b.db"));
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_EQ(Json(run.out)["activated"].toArray(), QJsonArray{"00001 0000002"}) << run.out;
    EXPECT_NE(run.err.find("has not finished"), std::string::npos) << run.err;
    EXPECT_EQ(Exported(Sqlite("b.db")).size(), 1);
    EXPECT_EQ(Exported(Sqlite("a.db")).size(), 1) << "given up to b";
    // Another copy of the same records: its store gave the SIM to b, not to c.
    run = Cli({"records", "activate", "00001 0000002", "--from", Sqlite("a.db")}, Sqlite("c.db"));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("gave it up to another store"), std::string::npos) << run.err;
    EXPECT_TRUE(Exported(Sqlite("c.db")).isEmpty());
}

// A record no command can use is taken out by hand, after a question, and its history keeps the step.
TEST_F(RecordsBetweenStores, ARecordIsRemovedByHandOnlyWhenAsked) {
    ASSERT_EQ(Cli({"records", "import", Write("in.json", TwoRecords)}, Sqlite("a.db")).exitCode, 0);
    auto run = Cli({"records", "remove", "00001 0000002"}, Sqlite("a.db"));
    EXPECT_EQ(run.exitCode, 3) << "not confirmed, not removed";
    EXPECT_EQ(Exported(Sqlite("a.db")).size(), 2);
    run = Cli({"--yes", "records", "remove", "00001 0000002"}, Sqlite("a.db"));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Exported(Sqlite("a.db")).size(), 1);
    const QJsonArray steps =
        Json(Cli({"--json", "sim", "history", "00001 0000002"}, Sqlite("a.db")).out)["steps"].toArray();
    EXPECT_EQ(StepNames(steps), (std::vector<std::string>{"imported", "removed by hand"}));
}

// A SIM move that could not keep its steps must not begin: with the records away, it ends before the
// port is opened (the port named here does not even exist).
TEST_F(RecordsBetweenStores, AStoreThatIsAwayStopsAMoveBeforeThePort) {
    const QString away = "postgresql://127.0.0.1:1/quorvel?connect_timeout=5";
    auto run = Cli({"--port", "COM49", "--yes", "sim", "save", Chosen()}, away);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("The records of SIMs in files cannot be used: The SIM records on "
                           "postgresql://127.0.0.1:1/quorvel"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(run.err.find("COM49"), std::string::npos) << run.err;
    run = Cli({"records", "export", "--store", "ftp://records.example.com/sims"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("names no store"), std::string::npos) << run.err;
    EXPECT_FALSE(QFile::exists(Chosen()));
}
