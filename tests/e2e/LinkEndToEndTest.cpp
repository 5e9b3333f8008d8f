// The engine and the command-line tool against the virtual handset, through a real pseudo-terminal.
#include "support/HandsetProcess.h"
#include "support/WaitFor.h"

#include "link/LowLatency.h"
#include "link/Sndmail.h"
#include "link/Timing.h"
#include "link/TpaProComImpl.h"

#include <gtest/gtest.h>

#include <QFile>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <numeric>

namespace {

using Kind = TPortFailure::Kind;

struct Line : testing::Test {
    void Connect(THandsetProcess& handset) {
        ASSERT_TRUE(handset.Started());
        engine.AnswerTimeout = std::chrono::milliseconds(1000);
        engine.GapTimeout = std::chrono::milliseconds(300);
        engine.ReadbackDelay = std::chrono::milliseconds(0);
        engine.WritePause = std::chrono::milliseconds(20);
        ASSERT_TRUE(engine.OpenPort(uint8_t(handset.ComNumber()), 115200))
            << PortFailureText(handset.ComNumber(), engine.Com().LastFailure());
    }

    int64_t Timed(const std::function<void()>& f) {
        const int64_t t0 = GetTick();
        f();
        return TicksToMs(GetTick(), t0);
    }

    TSendmail engine;
};

TEST_F(Line, ProbeThenMemoryWrittenAndReadBack) {
    THandsetProcess handset;
    Connect(handset);
    EXPECT_EQ(engine.ProbeHandset(std::chrono::milliseconds(100)), 1);

    std::array<uint8_t, 20> data{};
    std::iota(data.begin(), data.end(), uint8_t(0x30));
    EXPECT_EQ(engine.WriteBlock(0x1234, data, 20), 20);
    std::array<uint8_t, 20> back{};
    EXPECT_EQ(engine.ReadBlock(back, 20, 0x1234), 20);
    EXPECT_EQ(back, data);
}

TEST_F(Line, SoftwareAnswerOnTheShortLayout) {
    THandsetProcess handset({"--software", "62017100", "--pcs", "6A"});
    Connect(handset);
    EXPECT_EQ(engine.SendMail("02 5D 16"), "62 01 71 00 36 41 20 20");
}

TEST_F(Line, CorruptedChecksumIsNoAnswer) {
    THandsetProcess handset({"--corrupt-answer", "1"});
    Connect(handset);
    EXPECT_EQ(engine.SendMail("02 5D 47"), "");
    EXPECT_EQ(engine.SendMail("02 5D 47"), "1A 00");
}

TEST_F(Line, DroppedAnswerIsTakenOnTheNextProbe) {
    THandsetProcess handset({"--drop-answer", "1"});
    Connect(handset);
    EXPECT_EQ(engine.ProbeHandset(std::chrono::milliseconds(50)), 2);
}

TEST_F(Line, HangUpInTheMiddleEndsWithinTheTimeouts) {
    THandsetProcess handset({"--hangup-after", "2"});
    Connect(handset);
    EXPECT_NE(engine.SendMail("02 5D 47"), "");
    EXPECT_NE(engine.SendMail("02 5D 47"), "");
    const int64_t ms = Timed([&] { EXPECT_EQ(engine.SendMail("02 5D 47"), ""); });
    EXPECT_LT(ms, 3 * engine.AnswerTimeout.count()) << "the send outlived its time-outs";
    EXPECT_EQ(handset.WaitForExit(3000), 0);

    // The port was given up; later sends end at once or within their time-outs, and no reopen works.
    EXPECT_TRUE(WaitFor([&] { return !engine.IsPortOpen(); }));
    EXPECT_EQ(engine.ProbeHandset(std::chrono::milliseconds(1000)), 255);
    EXPECT_FALSE(engine.OpenPort(uint8_t(handset.ComNumber()), 115200));
}

TEST_F(Line, KilledHandsetLeavesTheProgramRunning) {
    THandsetProcess handset;
    Connect(handset);
    handset.Kill();
    const int64_t ms = Timed([&] { EXPECT_EQ(engine.SendMail("02 5D 47"), ""); });
    EXPECT_LT(ms, 3 * engine.AnswerTimeout.count()) << "the send outlived its time-outs";
    EXPECT_EQ(engine.SendMail("02 5D 47"), "");
}

TEST_F(Line, SilentHandsetIsNotConnected) {
    THandsetProcess handset({"--silent"});
    Connect(handset);
    engine.AnswerTimeout = std::chrono::milliseconds(200);
    engine.GapTimeout = std::chrono::milliseconds(100);
    EXPECT_EQ(engine.ProbeHandset(std::chrono::milliseconds(10)), 0);
}

TEST_F(Line, PortIsKeptByTheProgramThatOpenedIt) {
    THandsetProcess handset;
    Connect(handset);
    TTpaProComImpl second;
    EXPECT_FALSE(second.Open(uint8_t(handset.ComNumber()), 115200));
    EXPECT_EQ(second.LastFailure().kind, Kind::Busy);
    EXPECT_NE(PortFailureText(handset.ComNumber(), second.LastFailure()).find("in use"), std::string::npos);

    TTpaProComImpl missing;
    EXPECT_FALSE(missing.Open(200, 115200));
    EXPECT_FALSE(missing.IsOpen());
    EXPECT_EQ(missing.ComNumber(), 200);
    EXPECT_EQ(missing.LastFailure().kind, Kind::NotMapped);
}

TEST_F(Line, WriteOfTwelveBytes) {
    THandsetProcess handset;
    Connect(handset);
    const std::array<uint8_t, 12> frame{0xFF, 0xFF, 0x4D, 0x02, 0x06, 0x3C,
                                        0x08, 0x00, 0x01, 0x00, 0x00, 0x45};
    EXPECT_EQ(engine.Com().Write(frame.data(), 12), 12);
    engine.ClosePort();
    EXPECT_EQ(engine.Com().Write(frame.data(), 12), 0);
}

TEST(Cli, ProbeSendAndMemory) {
    THandsetProcess handset;
    ASSERT_TRUE(handset.Started());
    const QString port = QString("COM%1").arg(handset.ComNumber());

    auto run = handset.Cli({"--port", port, "probe"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("Connected to handset!"), std::string::npos);

    run = handset.Cli({"--port", QString::fromStdString(handset.Device()), "send", "2 5d 16"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "62 01 84 00 30 36 42 20\n");

    // It changes the handset: without a terminal and without --yes nothing is written, exit status 3.
    run = handset.Cli({"--port", port, "write-memory", "0x200", "de ad be ef"});
    EXPECT_EQ(run.exitCode, 3) << run.err;
    EXPECT_NE(run.err.find("quorvel-cli: Write 4 bytes into the handset's memory at 0x0200?"),
              std::string::npos)
        << run.err;
    run = handset.Cli(
        {"--port", port, "--yes", "write-memory", "0x200", "de ad be ef 01 02 03 04 05 06 07 08 09 0a"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    // The bytes it changed were shown first, and those it overwrote are kept.
    EXPECT_NE(run.err.find("The memory write: 14 to change"), std::string::npos) << run.err;
    const size_t kept = run.err.find("are kept in ");
    ASSERT_NE(kept, std::string::npos) << run.err;
    const std::string backup = run.err.substr(kept + 12, run.err.find(".txt", kept) + 4 - kept - 12);
    QFile copy(QString::fromStdString(backup));
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly)) << backup;
    EXPECT_EQ(copy.readAll(), "0x0200: FF FF FF FF FF FF FF FF FF FF FF FF FF FF\r\n");
    run = handset.Cli({"--port", port, "read-memory", "512", "4"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out.substr(0, 17), "0200  DE AD BE EF");

    run = handset.Cli({"--port", port, "info"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    for (const char* line :
         {"Connected to handset!", "Capacity:   200 phone book entries", "Software:   62018400",
          "PCS:        06B", "Model byte: 0xAA", "Level:      7", "Block size: 16 bytes"})
        EXPECT_NE(run.out.find(line), std::string::npos) << line << "\n" << run.out;

    run = handset.Cli({"--port", port, "ports"});
    EXPECT_NE(run.out.find(handset.Device()), std::string::npos);
}

TEST(Cli, MistakesExitNonZeroWithAMessage) {
    THandsetProcess handset;
    ASSERT_TRUE(handset.Started());
    const QString port = QString("COM%1").arg(handset.ComNumber());

    auto run = handset.Cli({"--port", port, "send", "02,3C"});
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.err.find("Invalid Hex Value (02,3C)"), std::string::npos);

    run = handset.Cli({"--port", port, "read-memory", "0xFFFF", "2"});
    EXPECT_EQ(run.exitCode, 2);
    run = handset.Cli({"--port", "COM201", "probe"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("COM201"), std::string::npos);
    run = handset.Cli({"frobnicate"});
    EXPECT_EQ(run.exitCode, 2);
}

TEST(Cli, PortWithoutPermissionIsToldApartFromABusyOne) {
    if (geteuid() != 0 || !QFile::exists("/usr/bin/setpriv"))
        GTEST_SKIP() << "needs root and setpriv to run the tool as a user without rights";
    THandsetProcess handset;
    ASSERT_TRUE(handset.Started());
    ASSERT_EQ(chmod(handset.Device().c_str(), 0600), 0);

    const auto probeAsNobody = [&] {
        QProcess cli;
        cli.start("/usr/bin/setpriv",
                  {"--reuid=nobody", "--regid=nogroup", "--clear-groups", ProgramFolder() + "/quorvel-cli",
                   "--port", QString::fromStdString(handset.Device()), "probe"});
        EXPECT_TRUE(cli.waitForFinished(30000));
        EXPECT_EQ(cli.exitCode(), 1);
        return cli.readAllStandardError().toStdString();
    };
    std::string err = probeAsNobody();
    if (err.find("You may not open") == std::string::npos && err.find("quorvel-cli") == std::string::npos)
        GTEST_SKIP() << "the build folder is closed to other users: " << err;
    EXPECT_NE(err.find("ask the administrator"), std::string::npos) << err;

    // A device its group may use: the message names the group to join.
    if (const group* dialout = getgrnam("dialout")) {
        ASSERT_EQ(chown(handset.Device().c_str(), 0, dialout->gr_gid), 0);
        ASSERT_EQ(chmod(handset.Device().c_str(), 0660), 0);
        err = probeAsNobody();
        EXPECT_NE(err.find("group \"dialout\""), std::string::npos) << err;
    }
}

} // namespace

TEST(SetPort, ADevicePathIsRecordedUnderItsNumberForEveryProgram) {
    THandsetProcess handset;
    ASSERT_TRUE(handset.Started());
    // A file stands in for a serial device that no map names yet.
    QTemporaryDir devices;
    const QString device = devices.filePath("ttyTEST0");
    QFile node(device);
    ASSERT_TRUE(node.open(QIODevice::WriteOnly));
    node.close();

    auto run = handset.Cli({"--port", device, "set-port"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string said = run.out;
    const size_t space = said.find(' ');
    ASSERT_NE(space, std::string::npos) << said;
    const std::string com = said.substr(0, space);
    EXPECT_EQ(said, com + " (" + device.toStdString() + ") is the program's serial port now.\n");

    // Another run of the tool knows the number without being told the path.
    run = handset.Cli({"ports"});
    EXPECT_NE(run.out.find(device.toStdString()), std::string::npos) << run.out;
    QFile map(handset.ConfigDir() + "/serial-ports.cfg");
    ASSERT_TRUE(map.open(QIODevice::ReadOnly));
    EXPECT_TRUE(map.readAll().contains((com + "=" + device.toStdString()).c_str()));
}

// A handset above the ports the connection settings offer says so when it starts, and what it says holds:
// a call that names the port reaches it, set-port refuses it. One within them says nothing.
TEST(SetPort, AHandsetAboveTheOfferedPortsWarnsAtStart) {
    THandsetProcess above({"--com", "70"});
    ASSERT_TRUE(above.Started());
    EXPECT_TRUE(WaitFor([&] { return above.Errors().find("COM70 cannot be chosen") != std::string::npos; }))
        << above.Errors();
    EXPECT_EQ(above.Cli({"--port", "COM70", "probe"}).exitCode, 0);
    EXPECT_EQ(above.Cli({"--port", "COM70", "set-port"}).exitCode, 2);

    THandsetProcess within({"--com", "50"}, above);
    ASSERT_TRUE(within.Started());
    EXPECT_EQ(within.Cli({"--port", "COM50", "set-port"}).exitCode, 0);
    EXPECT_EQ(within.Errors().find("cannot be chosen"), std::string::npos) << within.Errors();
}

namespace {

// A driver that takes the low-latency request, as ftdi_sio does, noting what it was asked.
class TAdapterDriver : public TSerialDriver {
public:
    bool Get(int fd, serial_struct& settings) override {
        Fds.push_back(fd);
        settings = Now;
        return true;
    }
    bool Set(int fd, const serial_struct& settings) override {
        Fds.push_back(fd);
        Sets.push_back(settings.flags);
        Now = settings;
        return Takes;
    }

    TAdapterDriver() { Now.flags = ASYNC_SKIP_TEST; }

    bool Takes = true;
    serial_struct Now{};
    std::vector<int> Sets;
    std::vector<int> Fds;
};

} // namespace

// The driver is asked for low latency on opening and the flag is put back as it was on closing; a device
// that takes no such request (a pseudo-terminal, with the system's own ioctls) opens all the same.
TEST_F(Line, LowLatencyIsAskedForWhileThePortIsOpenAndPutBackAfter) {
    THandsetProcess handset;
    ASSERT_TRUE(handset.Started());
    {
        TAdapterDriver driver;
        TTpaProComImpl port(driver);
        ASSERT_TRUE(port.Open(uint8_t(handset.ComNumber()), 115200));
        ASSERT_EQ(driver.Sets, std::vector<int>{ASYNC_SKIP_TEST | ASYNC_LOW_LATENCY});
        EXPECT_GE(driver.Fds.front(), 0);
        ASSERT_TRUE(port.Close());
        EXPECT_EQ(driver.Sets, (std::vector<int>{ASYNC_SKIP_TEST | ASYNC_LOW_LATENCY, ASYNC_SKIP_TEST}));

        // Already low: nothing asked, nothing put back; a driver that refuses the flag has nothing put back.
        driver.Sets.clear();
        driver.Now.flags = ASYNC_LOW_LATENCY;
        ASSERT_TRUE(port.Open(uint8_t(handset.ComNumber()), 115200));
        ASSERT_TRUE(port.Close());
        EXPECT_TRUE(driver.Sets.empty());
        driver.Takes = false;
        driver.Now.flags = 0;
        ASSERT_TRUE(port.Open(uint8_t(handset.ComNumber()), 115200));
        ASSERT_TRUE(port.Close());
        EXPECT_EQ(driver.Sets, std::vector<int>{ASYNC_LOW_LATENCY});
    }
    // The pseudo-terminal itself: the request fails, the line works.
    Connect(handset);
    EXPECT_EQ(engine.ProbeHandset(std::chrono::milliseconds(100)), 1);
}
