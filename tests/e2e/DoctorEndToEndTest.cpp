// quorvel-cli doctor against virtual handsets on pseudo-terminals: each way a port can keep its handset
// from the program is told apart, one line a port, and a port another program holds is left alone.
#include "support/HandsetProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSerialPort>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QString Port(const THandsetProcess& handset) {
    return QString("COM%1").arg(handset.ComNumber());
}

// The document's ports by name.
std::map<QString, QJsonObject> Ports(const THandsetProcess::TRun& run) {
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(run.out));
    EXPECT_TRUE(document.isObject()) << run.out << run.err;
    EXPECT_EQ(document["exit"].toInt(-1), run.exitCode) << run.out;
    std::map<QString, QJsonObject> ports;
    for (const QJsonValue& port : document["ports"].toArray())
        ports[port["port"].toString()] = port.toObject();
    return ports;
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(Doctor, AWellHandsetIsNamedWithWhatItTold) {
    THandsetProcess handset({"--software", "62017100", "--pcs", "6A"});
    ASSERT_TRUE(handset.Started());
    auto run = handset.Cli({"--port", Port(handset), "doctor"});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_EQ(run.out, Port(handset).toStdString() + " (" + handset.Device() +
                           ") has its handset: software 62017100, PCS 6A, serial 00291 0284280.\n");

    auto ports = Ports(handset.Cli({"--json", "doctor", "--port", Port(handset)}));
    const QJsonObject well = ports[Port(handset)];
    EXPECT_EQ(well["state"].toString(), "ok");
    EXPECT_EQ(well["device"].toString().toStdString(), handset.Device());
    EXPECT_EQ(well["serial"].toString(), "00291 0284280");
    EXPECT_EQ(well["advice"].toString(), "");

    // Without --port every port of the device map is examined, the handset's among them (this machine's
    // own serial ports may be there too, so the exit status is not looked at).
    run = handset.Cli({"doctor"});
    EXPECT_TRUE(Has(run.out, Port(handset).toStdString() + " (" + handset.Device() + ") has its handset"))
        << run.out;
}

// A USB adapter that holds every answer for its latency timer (sysfs as the adapter's driver shows it;
// the driver here takes no low-latency request) is named with what that costs and the command that
// lowers it; one of 1 ms is well.
TEST(Doctor, AnAdapterThatHoldsAnswersBackSaysWhatItCostsAndHowToLowerIt) {
    THandsetProcess handset;
    ASSERT_TRUE(handset.Started());
    QTemporaryDir sysfs;
    const QString tty =
        QFileInfo(QString::fromStdString(handset.Device())).canonicalFilePath().section('/', -1);
    const QString timer = sysfs.filePath("class/tty/" + tty + "/device/latency_timer");
    ASSERT_TRUE(QDir().mkpath(QFileInfo(timer).path()));
    const auto setTimer = [&](const char* ms) {
        QFile file(timer);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(ms);
    };
    qputenv("QUORVEL_SYSFS", sysfs.path().toLocal8Bit());
    setTimer("16\n");
    auto run = handset.Cli({"--port", Port(handset), "doctor"});
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    EXPECT_TRUE(Has(run.out, "has its handset")) << run.out;
    EXPECT_TRUE(Has(run.out, "latency timer of 16 ms")) << run.out;
    EXPECT_TRUE(
        Has(run.out, "each answer waits up to 16 ms: a 200-entry write takes about 18 s instead of 2 s"))
        << run.out;
    EXPECT_TRUE(Has(run.out, "echo 1 | sudo tee " + timer.toStdString())) << run.out;
    auto ports = Ports(handset.Cli({"--json", "doctor", "--port", Port(handset)}));
    EXPECT_EQ(ports[Port(handset)]["state"].toString(), "slow");
    EXPECT_EQ(ports[Port(handset)]["latencyTimer"].toInt(), 16);

    setTimer("1\n");
    run = handset.Cli({"--port", Port(handset), "doctor"});
    qunsetenv("QUORVEL_SYSFS");
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_FALSE(Has(run.out, "latency")) << run.out;
}

TEST(Doctor, ASilentStationAnEmptyOneAndAStrangerAreToldApart) {
    THandsetProcess off({"--silent", "--no-echo"});
    THandsetProcess empty({"--silent"}, off);
    // Answers without the echo: not the line of a docking station.
    THandsetProcess stranger({"--no-echo"}, off);
    ASSERT_TRUE(off.Started() && empty.Started() && stranger.Started());
    const QString named = Port(off) + "," + Port(empty) + "," + Port(stranger);

    const auto run = off.Cli({"--json", "--port", named, "doctor"});
    EXPECT_EQ(run.exitCode, 1);
    auto ports = Ports(run);
    ASSERT_EQ(ports.size(), 3u) << run.out;
    EXPECT_EQ(ports[Port(off)]["state"].toString(), "silent");
    EXPECT_EQ(ports[Port(off)]["advice"].toString(), "is the docking station switched on?");
    EXPECT_EQ(ports[Port(empty)]["state"].toString(), "no-handset");
    EXPECT_EQ(ports[Port(empty)]["advice"].toString(), "put the handset in its docking station");
    EXPECT_EQ(ports[Port(stranger)]["state"].toString(), "wrong-device");
    EXPECT_TRUE(ports[Port(stranger)]["received"].toString().startsWith("4D 02 01 3D"))
        << ports[Port(stranger)]["received"].toString().toStdString();

    // One line a port, in the order named.
    const auto text = off.Cli({"--port", named, "doctor"});
    EXPECT_EQ(text.exitCode, 1);
    const QStringList lines = QString::fromStdString(text.out).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << text.out;
    EXPECT_TRUE(lines[0].startsWith(Port(off) + " (")) << text.out;
    EXPECT_TRUE(lines[1].endsWith("put the handset in its docking station.")) << text.out;
}

// A docking station unplugged: its port's device is gone. (Not a killed virtual handset's: tests beside
// this one open pseudo-terminals and may get the number just freed, and this one's probe would reach
// their handsets.)
TEST(Doctor, APortWhoseDeviceIsGoneSaysToPlugItIn) {
    THandsetProcess handset;
    ASSERT_TRUE(handset.Started());
    QTemporaryDir dir;
    const QString device = dir.filePath("ttyUSB9");
    qputenv("QUORVEL_PORTS", ("COM77=" + device).toLocal8Bit());
    for (const QString& port : {QString("COM77"), device}) {
        const auto run = handset.Cli({"--json", "--port", port, "doctor"});
        EXPECT_EQ(run.exitCode, 1) << port.toStdString();
        const auto ports = Ports(run);
        ASSERT_EQ(ports.size(), 1u) << run.out;
        const QJsonObject gone = ports.begin()->second;
        EXPECT_EQ(gone["state"].toString(), "missing") << run.out;
        EXPECT_TRUE(gone["advice"].toString().startsWith("plug the docking station in, or check the cable"))
            << run.out;
    }
    qunsetenv("QUORVEL_PORTS");
}

TEST(Doctor, ABusyPortNamesItsHolderAndIsLeftAlone) {
    QTemporaryDir dir;
    const QString log = dir.filePath("handset.log");
    THandsetProcess handset({"--log"}, log);
    ASSERT_TRUE(handset.Started());
    QSerialPort holder(QString::fromStdString(handset.Device()));
    ASSERT_TRUE(holder.open(QIODevice::ReadWrite)) << holder.errorString().toStdString();

    const auto run = handset.Cli({"--port", Port(handset), "doctor"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Has(run.out, "is in use by "));
    EXPECT_TRUE(Has(run.out, "(process " + std::to_string(getpid()) + "): close ")) << run.out;
    EXPECT_EQ(
        Ports(handset.Cli({"--json", "--port", Port(handset), "doctor"}))[Port(handset)]["state"].toString(),
        "busy");
    // Nothing was sent on the line while the other program held it.
    EXPECT_FALSE(Has(handset.Errors(), "received")) << handset.Errors();

    holder.close();
    EXPECT_EQ(handset.Cli({"--port", Port(handset), "doctor"}).exitCode, 0);
    EXPECT_TRUE(Has(handset.Errors(), "received")) << "the handset logs what it receives";
}

// A device this user may not open is told apart from a busy one, with the group that would let the user
// in. Root may open anything: as root, the tool runs as nobody when setpriv is there.
TEST(Doctor, ADeviceThatMayNotBeOpenedNamesTheGroup) {
    const bool root = geteuid() == 0;
    if (root && !QFile::exists("/usr/bin/setpriv"))
        GTEST_SKIP() << "root may open any device, and there is no setpriv to run the tool as nobody";
    QTemporaryDir dir;
    QTemporaryDir config;
    ASSERT_EQ(chmod(dir.path().toLocal8Bit().constData(), 0755), 0);
    ASSERT_EQ(chmod(config.path().toLocal8Bit().constData(), 0777), 0);
    const QString device = dir.filePath("ttyDOCK0");
    QFile file(device);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    ASSERT_EQ(chmod(device.toLocal8Bit().constData(), 0000), 0);

    QProcess cli;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QUORVEL_CONFIG_DIR", config.path());
    cli.setProcessEnvironment(env);
    const QStringList args{"--json", "--port", device, "doctor"};
    if (root)
        cli.start("/usr/bin/setpriv", QStringList{"--reuid=nobody", "--regid=nogroup", "--clear-groups",
                                                  ProgramFolder() + "/quorvel-cli"} +
                                          args);
    else
        cli.start(ProgramFolder() + "/quorvel-cli", args);
    ASSERT_TRUE(cli.waitForFinished(30000));
    THandsetProcess::TRun run{cli.exitCode(), cli.readAllStandardOutput().toStdString(),
                              cli.readAllStandardError().toStdString()};
    if (root && run.out.empty())
        GTEST_SKIP() << "the build folder is closed to other users: " << run.err;
    EXPECT_EQ(run.exitCode, 1) << run.err;
    const auto ports = Ports(run);
    ASSERT_EQ(ports.size(), 1u) << run.out;
    const QJsonObject refused = ports.begin()->second;
    EXPECT_EQ(refused["state"].toString(), "permission") << run.out;
    EXPECT_TRUE(refused["found"].toString().contains("mode 0000")) << run.out;
    EXPECT_TRUE(refused["advice"].toString().contains("dialout")) << run.out;
}

} // namespace
