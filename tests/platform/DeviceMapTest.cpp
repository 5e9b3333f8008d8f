// Port numbers to devices: the map file, the environment, registered virtual handsets.
#include "platform/DeviceMap.h"
#include "link/PortHandling.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

struct Map : testing::Test {
    Map() {
        qputenv("QUORVEL_CONFIG_DIR", config.path().toLocal8Bit());
        qunsetenv("QUORVEL_PORTS");
    }
    ~Map() override { qunsetenv("QUORVEL_PORTS"); }

    // A file standing in for a device node.
    std::string Device(const QString& name) {
        const QString path = devices.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        return path.toStdString();
    }
    void Write(const QString& relative, const std::string& text) {
        QDir(config.path()).mkpath(QFileInfo(config.filePath(relative)).path());
        QFile file(config.filePath(relative));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text.data(), qint64(text.size()));
    }

    QTemporaryDir config;
    QTemporaryDir devices;
};

TEST_F(Map, MapFileNamesThePresentPorts) {
    const std::string a = Device("a"), b = Device("b"), c = Device("c");
    Write("serial-ports.cfg", "# comment\nCOM1=" + a + "\r\nCOM3=" + b + "\nCOM12=" + c +
                                  "\nCOM13=/dev/nothing-here\ngarbage line\nCOM999=" + a + "\n");
    const TComPortTable table = ListComPorts();
    EXPECT_TRUE(table[1]);
    EXPECT_TRUE(table[3]);
    EXPECT_TRUE(table[12]);
    EXPECT_FALSE(table[13]);
    EXPECT_EQ(DeviceMap::DeviceOf(12).value_or(""), c);
}

TEST_F(Map, EnvironmentComesFirstThenVirtualHandsetsThenTheFile) {
    const std::string fromEnv = Device("env"), fromFile = Device("file"), virt = Device("virt");
    Write("serial-ports.cfg", "COM9=" + fromFile + "\nCOM10=" + fromFile + "\n");
    Write("virtual-ports/COM10", virt + "\n" + std::to_string(getpid()) + "\n");
    Write("virtual-ports/COM11", virt + "\n999999999\n");
    qputenv("QUORVEL_PORTS", QByteArray::fromStdString("COM9=" + fromEnv + ";bad;COM14=" + fromEnv));

    EXPECT_EQ(DeviceMap::DeviceOf(9).value_or(""), fromEnv);
    EXPECT_EQ(DeviceMap::DeviceOf(10).value_or(""), virt);
    EXPECT_FALSE(DeviceMap::DeviceOf(11)) << "a handset that has ended is no port";
    EXPECT_EQ(DeviceMap::NumberForDevice(virt), 10);
}

TEST_F(Map, UnknownDeviceGetsANumberOfItsOwn) {
    const std::string device = Device("given");
    const int n = DeviceMap::NumberForDevice(device);
    ASSERT_GT(n, 0);
    EXPECT_EQ(DeviceMap::DeviceOf(n).value_or(""), device);
    EXPECT_EQ(DeviceMap::NumberForDevice(device), n);
}

TEST(PortNumberOf, ReadsTheDigits) {
    EXPECT_EQ(PortNumberOf("COM3"), 3);
    EXPECT_EQ(PortNumberOf("COM12"), 12);
    EXPECT_EQ(PortNumberOf("COM300"), 300 & 0xFF);
    EXPECT_THROW(PortNumberOf("COM"), std::invalid_argument);
    EXPECT_THROW(PortNumberOf(""), std::invalid_argument);
}

} // namespace
