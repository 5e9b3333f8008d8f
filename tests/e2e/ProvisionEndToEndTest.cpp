// A provisioning station: one template folder and a table of what differs per handset, applied to four
// virtual handsets at once; each gets its own row, a second run only verifies, and a handset the table
// does not list is refused when only listed ones may be taken.
#include "support/HandsetProcess.h"
#include "support/WatchProcess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSerialPort>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <set>

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

struct Provisioning : testing::Test {
    Provisioning() {
        qputenv("QUORVEL_STATE_DIR", machine.path().toLocal8Bit());
        WriteFile(Template("phonebook.phb"), "Reception,100\r\n{name},{extension}\r\n");
        WriteFile(Template("speeddial.sdl"), "Key_1,{extension}\r\nKey_2,100\r\n");
        WriteFile(Template("profile.pro"), "[profile settings]\r\nringer tone=4\r\n");
        WriteFile(Template("handsets.csv"), "serial,name,extension,ringer tone\r\n"
                                            "00001 0000001,Anna,201,2\r\n"
                                            "00001 0000002,Bob,202,3\r\n"
                                            "00001 0000003,\"Carl Desk\",203,5\r\n"
                                            "00001 0000004,Dora,204,6\r\n");
    }
    ~Provisioning() override { qputenv("QUORVEL_STATE_DIR", saved); }

    QString Template(const char* name) const { return dir.filePath(QString("office/") + name); }
    static std::string Read(const THandsetProcess& handset, const QStringList& what) {
        return handset.Cli(QStringList{"--port", Port(handset)} + what).out;
    }

    const QByteArray saved = qgetenv("QUORVEL_STATE_DIR");
    QTemporaryDir machine;
    QTemporaryDir dir;
};

} // namespace

TEST_F(Provisioning, EachHandsetGetsItsOwnRowAndASecondRunOnlyVerifies) {
    THandsetProcess one({"--serial", "0000100001"});
    THandsetProcess two({"--serial", "0000100002"}, one);
    THandsetProcess three({"--serial", "0000100003"}, one);
    THandsetProcess four({"--serial", "0000100004"}, one);
    ASSERT_TRUE(one.Started() && two.Started() && three.Started() && four.Started());
    const QString ports = Port(one) + "," + Port(two) + "," + Port(three) + "," + Port(four);
    const QString folder = dir.filePath("office");

    const QString report = dir.filePath("report.csv");
    auto run = one.Cli({"--port", ports, "--yes", "--report", report, "station", "run", folder}, 120000);
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("phone book: written and verified; speed dial: written and verified; profile: "
                           "written and verified."),
              std::string::npos)
        << run.out;
    const std::pair<const THandsetProcess*, std::pair<std::string, std::string>> rows[] = {
        {&one, {"Anna,201", "2"}},
        {&two, {"Bob,202", "3"}},
        {&three, {"Carl Desk,203", "5"}},
        {&four, {"Dora,204", "6"}},
    };
    for (const auto& [handset, row] : rows) {
        EXPECT_EQ(Read(*handset, {"phonebook", "read"}), "Reception,100\r\n" + row.first + "\r\n");
        const std::string keys = Read(*handset, {"speed-dial", "read"});
        EXPECT_NE(keys.find("Key_1," + row.first.substr(row.first.size() - 3)), std::string::npos) << keys;
        EXPECT_NE(keys.find("Key_2,100"), std::string::npos) << keys;
        const std::string profile = Read(*handset, {"profile", "read"});
        EXPECT_NE(profile.find("ringer tone=" + row.second), std::string::npos) << profile;
    }

    // The change log holds a line per change of each handset, and the station's report is cut from it.
    const auto changes = [&] {
        QJsonParseError error;
        const QJsonDocument log = QJsonDocument::fromJson(
            QByteArray::fromStdString(one.Cli({"--json", "log", "--since", "2000-01-01"}).out), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError);
        return log.object()["changes"].toArray();
    };
    const QJsonArray written = changes();
    ASSERT_EQ(written.size(), 12) << "phone book, speed dial and profile of four handsets";
    std::multiset<std::string> perHandset;
    for (const QJsonValue& line : written) {
        const QJsonObject change = line.toObject();
        perHandset.insert(change["serial"].toString().toStdString() + " " +
                          change["operation"].toString().toStdString());
        EXPECT_EQ(change["via"].toString(), "station");
        EXPECT_EQ(change["outcome"].toString(), "done");
        EXPECT_TRUE(QFile::exists(change["backup"].toString()) || change["backup"].toString().isEmpty());
    }
    EXPECT_EQ(perHandset.count("00001 0000003 phonebook replace"), 1u);
    EXPECT_EQ(perHandset.count("00001 0000003 speed-dial write"), 1u);
    EXPECT_EQ(perHandset.count("00001 0000003 profile write"), 1u);
    QFile reportFile(report);
    ASSERT_TRUE(reportFile.open(QIODevice::ReadOnly)) << run.err;
    const QList<QByteArray> lines = reportFile.readAll().split('\n');
    EXPECT_TRUE(lines[0].startsWith("time,port,serial,outcome,exit status,operations,added,removed"))
        << lines[0].toStdString();
    ASSERT_EQ(lines.size(), 1 + 4 + 1) << "a header, a row per handset, and the last line break";
    for (int row = 1; row <= 4; ++row)
        EXPECT_NE(lines[row].indexOf(",done,0,phonebook replace; speed-dial write; profile write,"), -1)
            << lines[row].toStdString();

    // Docked again: the handsets hold the template already, so it is only verified.
    run = one.Cli({"--port", ports, "--yes", "station", "run", folder}, 120000);
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_EQ(run.out.find("written and verified"), std::string::npos) << run.out;
    for (const THandsetProcess* handset : {&one, &two, &three, &four})
        EXPECT_NE(run.out.find(Port(*handset).toStdString() + ": Provisioned "), std::string::npos)
            << run.out;
    EXPECT_NE(run.out.find("phone book: already so, verified; speed dial: already so, verified; profile: "
                           "already so, verified."),
              std::string::npos)
        << run.out;
    EXPECT_EQ(changes().size(), 12) << "a verify changes nothing, and notes nothing";
}

TEST_F(Provisioning, AHandsetTheTableDoesNotListIsRefusedBeforeAnyWrite) {
    THandsetProcess stranger({"--serial", "0000100009", "--phonebook-entries", "2"});
    ASSERT_TRUE(stranger.Started());
    const std::string before = Read(stranger, {"phonebook", "read"});
    const QString folder = dir.filePath("office");
    auto run = stranger.Cli({"--port", Port(stranger), "--yes", "provision", folder, "--only-listed"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("00001 0000009 at " + Port(stranger).toStdString() + " is not listed in"),
              std::string::npos)
        << run.err;
    // Without --only-listed it would get the template as it is, but the template's placeholders need a row.
    run = stranger.Cli({"--port", Port(stranger), "--yes", "provision", folder});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("Nothing was written"), std::string::npos) << run.err;
    EXPECT_EQ(Read(stranger, {"phonebook", "read"}), before);

    // A template with a problem touches no handset at all.
    WriteFile(Template("handsets.csv"), "serial,name,extension\r\n00001 0000009,Eve,2O9\r\n");
    run = stranger.Cli({"--port", Port(stranger), "--yes", "provision", folder});
    EXPECT_EQ(run.exitCode, 2) << run.err;
    EXPECT_NE(run.err.find("handsets.csv line 2"), std::string::npos) << run.err;
    EXPECT_EQ(Read(stranger, {"phonebook", "read"}), before);
}

TEST_F(Provisioning, AWatchProvisionsEachHandsetAsItIsDockedAndOnlyVerifiesOneDockedAgain) {
    THandsetProcess one({"--serial", "0000100001", "--state", dir.filePath("one.txt")});
    ASSERT_TRUE(one.Started());
    TWatchProcess watch(one, {"--yes", "station", "watch", dir.filePath("office"), "--every", "1"});
    ASSERT_GE(watch.WaitFor("provisioned (00001 0000001)"), 0) << watch.Output;
    EXPECT_NE(watch.Output.find("Provisioned 00001 0000001 at " + Port(one).toStdString() +
                                ": phone book: written and verified"),
              std::string::npos)
        << watch.Output;

    // A handset docked while it runs: provisioned within a few seconds (5 s on a plain build; the bound
    // leaves room for the sanitizers).
    THandsetProcess two({"--serial", "0000100002"}, one);
    ASSERT_TRUE(two.Started());
    const qint64 took = watch.WaitFor("provisioned (00001 0000002)");
    ASSERT_GE(took, 0) << watch.Output;
    EXPECT_LT(took, 10000) << watch.Output;
    EXPECT_EQ(Read(two, {"phonebook", "read"}), "Reception,100\r\nBob,202\r\n");

    // The first handset taken out and docked again: verified, not written.
    one.Stop();
    ASSERT_GE(watch.WaitFor("with handset 00001 0000001 went away"), 0) << watch.Output;
    const size_t before = watch.Output.size();
    THandsetProcess again({"--serial", "0000100001", "--state", dir.filePath("one.txt")}, two);
    ASSERT_TRUE(again.Started());
    ASSERT_GE(watch.WaitFor("profile: already so, verified."), 0) << watch.Output;
    EXPECT_EQ(watch.Output.find("written and verified", before), std::string::npos) << watch.Output;

    // A docking station another program holds is left alone until it lets go. The handset starts in a
    // folder of its own, and comes into the station's map only once the other program holds its port: a
    // probe in between would reach it first.
    THandsetProcess held({"--serial", "0000100003", "--log", "--com", "40"});
    ASSERT_TRUE(held.Started());
    {
        QSerialPort other(QString::fromStdString(held.Device()));
        ASSERT_TRUE(other.open(QIODevice::ReadWrite));
        ASSERT_TRUE(
            QFile::copy(held.ConfigDir() + "/virtual-ports/COM40", two.ConfigDir() + "/virtual-ports/COM40"));
        ASSERT_GE(watch.WaitFor(Port(held).toStdString() + ": in use by "), 0) << watch.Output;
        EXPECT_EQ(held.Errors().find("received"), std::string::npos) << "not a byte reached it";
    }
    ASSERT_GE(watch.WaitFor("provisioned (00001 0000003)"), 0) << watch.Output;

    EXPECT_EQ(watch.Interrupt(), 0) << watch.Output;
    // Three handsets, the one docked again counted once: provisioned, as it was the first time.
    EXPECT_NE(watch.Output.find("3 handsets: 3 provisioned."), std::string::npos) << watch.Output;
}

// A dry run of a template plans each of its files and says once, at the end, that nothing was written.
TEST_F(Provisioning, ADryRunPlansEveryFileAndSaysOnceThatNothingWasWritten) {
    THandsetProcess one({"--serial", "0000100001"});
    ASSERT_TRUE(one.Started());
    const std::string before = Read(one, {"phonebook", "read"});
    const auto run = one.Cli({"--port", Port(one), "--dry-run", "provision", dir.filePath("office")});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("+ Anna 201"), std::string::npos) << run.out;
    const size_t told = run.err.find("Dry run: nothing was written");
    ASSERT_NE(told, std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("Dry run", told + 1), std::string::npos) << run.err;
    EXPECT_EQ(Read(one, {"phonebook", "read"}), before);
}
