// Two PCs whose SIM records are shared on one PostgreSQL server keep one change log and one table of
// handsets there: each provisions two handsets from one template, and either PC's log and table show all
// four with the PC that gave each its template; a template changed afterwards makes all four outdated,
// and a station with --only-outdated writes them, then none.
#include "support/HandsetProcess.h"
#include "support/RecordsUnderTest.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>

namespace {

void WriteFile(const QString& path, const QByteArray& text) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
}

QString Port(const THandsetProcess& handset) {
    return QString("COM%1").arg(handset.ComNumber());
}

QJsonObject Json(const THandsetProcess::TRun& run) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(run.out)).object();
}

struct Fleet : testing::TestWithParam<TRecordsKind> {
    Fleet() {
        WriteFile(Template("phonebook.phb"), "Reception,100\r\n{name},{extension}\r\n");
        WriteFile(Template("speeddial.sdl"), "Key_1,{extension}\r\n");
        WriteFile(Template("handsets.csv"), "serial,name,extension\r\n"
                                            "00001 0000001,Anna,201\r\n00001 0000002,Bob,202\r\n"
                                            "00001 0000003,Cleo,203\r\n00001 0000004,Dan,204\r\n");
    }
    ~Fleet() override {
        qputenv("QUORVEL_STATE_DIR", savedState);
        qputenv("QUORVEL_PC_NAME", savedPc);
    }

    // From now on the programs run as on the named PC, with its own state folder.
    void On(const char* pc) {
        qputenv("QUORVEL_STATE_DIR", (pc == std::string("desk-pc") ? desk : lab).path().toLocal8Bit());
        qputenv("QUORVEL_PC_NAME", pc);
    }
    QString Template(const char* name) const { return dir.filePath(QString("office/") + name); }

    const QByteArray savedState = qgetenv("QUORVEL_STATE_DIR");
    const QByteArray savedPc = qgetenv("QUORVEL_PC_NAME");
    QTemporaryDir desk;
    QTemporaryDir lab;
    QTemporaryDir dir;
    TRecordsUnderTest records{GetParam(), desk.path().toStdString()};
};

TEST_P(Fleet, TwoPCsSeeEveryChangeAndEveryHandsetOfTheOther) {
    if (!records.Available())
        GTEST_SKIP() << records.Why();
    THandsetProcess a({"--serial", "0000100001"});
    THandsetProcess b({"--serial", "0000100002"}, a);
    THandsetProcess c({"--serial", "0000100003"}, a);
    THandsetProcess d({"--serial", "0000100004"}, a);
    ASSERT_TRUE(a.Started() && b.Started() && c.Started() && d.Started());
    const QString folder = dir.filePath("office");

    On("desk-pc");
    auto run = a.Cli({"--port", Port(a) + "," + Port(b), "--yes", "station", "run", folder}, 120000);
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    On("lab-pc");
    run = a.Cli({"--port", Port(c) + "," + Port(d), "--yes", "station", "run", folder}, 120000);
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_EQ(run.err.find("could not be noted"), std::string::npos) << run.err;

    const std::map<std::string, std::string> gaveIt{{"00001 0000001", "desk-pc"},
                                                    {"00001 0000002", "desk-pc"},
                                                    {"00001 0000003", "lab-pc"},
                                                    {"00001 0000004", "lab-pc"}};
    for (const char* pc : {"desk-pc", "lab-pc"}) {
        On(pc);
        // Each handset's phone book replace, noted by the PC that made it.
        std::map<std::string, std::string> noted;
        for (const QJsonValue change :
             Json(a.Cli({"--json", "log", "--operation", "phonebook"}))["changes"].toArray())
            noted[change["serial"].toString().toStdString()] = change["pc"].toString().toStdString();
        EXPECT_EQ(noted, gaveIt) << "on " << pc;
        std::map<std::string, std::string> seen;
        for (const QJsonValue handset : Json(a.Cli({"--json", "handsets"}))["handsets"].toArray())
            seen[handset["serial"].toString().toStdString()] = handset["lastPc"].toString().toStdString();
        EXPECT_EQ(seen, gaveIt) << "on " << pc;
        const auto check = a.Cli({"log", "--check"});
        EXPECT_EQ(check.exitCode, 0) << check.out << check.err;
    }

    // The template changed: every handset lacks its content, whichever PC gave it the last.
    WriteFile(Template("speeddial.sdl"), "Key_1,{extension}\r\nKey_2,100\r\n");
    On("desk-pc");
    const QString all = Port(a) + "," + Port(b) + "," + Port(c) + "," + Port(d);
    auto list = a.Cli({"--json", "handsets", "--template", folder});
    EXPECT_EQ(QString::fromStdString(list.out).count("\"outdated\": true"), 4) << list.out;
    run = a.Cli({"--port", all, "--yes", "station", "run", folder, "--only-outdated"}, 120000);
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    On("lab-pc");
    list = a.Cli({"--json", "handsets", "--template", folder});
    EXPECT_EQ(QString::fromStdString(list.out).count("\"outdated\": true"), 0) << list.out;
    run = a.Cli({"--port", all, "--yes", "station", "run", folder, "--only-outdated"}, 120000);
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_EQ(QString::fromStdString(run.out).count("Not outdated"), 4) << run.out;
}

TEST_P(Fleet, AServerThatIsAwayStopsAChangeBeforeAnythingIsSentToTheHandset) {
    THandsetProcess a({"--serial", "0000100001", "--log"}, dir.filePath("a.log"));
    ASSERT_TRUE(a.Started());
    On("desk-pc");
    qputenv("QUORVEL_RECORDS", "postgresql:///quorvel?host=" + dir.filePath("no-server").toLocal8Bit());
    WriteFile(dir.filePath("list.phb"), "Anna,201\r\n");
    const auto run =
        a.Cli({"--port", Port(a), "--yes", "phonebook", "write", dir.filePath("list.phb"), "--replace"});
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    EXPECT_NE(run.err.find("The change log on postgresql:///quorvel?host="), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("cannot be reached"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("Nothing was written to the handset."), std::string::npos) << run.err;
    EXPECT_NE(run.out.find("Written: 0 entries; skipped as already held: 0; not written: 1"),
              std::string::npos)
        << run.out;
    EXPECT_EQ(ChangingFrames(a.Errors()), 0);
}

INSTANTIATE_TEST_SUITE_P(Postgres, Fleet, testing::Values(TRecordsKind::Postgres));

} // namespace
