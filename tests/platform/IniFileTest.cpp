// The initialisation-file rules the settings rely on.
#include "platform/IniFile.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

std::string ReadAll(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.readAll().toStdString();
}

TEST(IniFile, WriteReplacesInPlaceAndKeepsEveryOtherLine) {
    QTemporaryDir dir;
    const QString path = dir.filePath("p.ini");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("; note\n[Font]\nSize=8\n\n[serial port]\n Device No = 3 \nOther=x\n");
    file.close();

    TIniFile ini(path.toStdString());
    EXPECT_EQ(ini.ReadInteger("Serial Port", "device no", 1), 3);
    EXPECT_EQ(ini.ReadInteger("Serial Port", "Baudrate", 115200), 115200);
    ASSERT_TRUE(ini.WriteInteger("SERIAL PORT", "Device No", 5));
    ASSERT_TRUE(ini.WriteInteger("Serial Port", "Baudrate", 115200));
    ASSERT_TRUE(ini.WriteInteger("Font", "Size", 10));
    EXPECT_EQ(
        ReadAll(path),
        "; note\r\n[Font]\r\nSize=10\r\n\r\n[serial port]\r\nDevice No=5\r\nOther=x\r\nBaudrate=115200\r\n");
}

TEST(IniFile, LinesEndInCrLfLfOrCrAlone) {
    QTemporaryDir dir;
    const QString path = dir.filePath("p.pro");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[a]\rone=1\rtwo=2\r\n[b]\nthree=3\r\rfour=4");
    file.close();

    TIniFile ini(path.toStdString());
    EXPECT_EQ(ini.ReadInteger("a", "one", 0), 1);
    EXPECT_EQ(ini.ReadInteger("a", "two", 0), 2);
    EXPECT_EQ(ini.ReadInteger("b", "three", 0), 3);
    EXPECT_EQ(ini.ReadInteger("b", "four", 0), 4);
    ASSERT_TRUE(ini.WriteInteger("a", "one", 5));
    EXPECT_EQ(ReadAll(path), "[a]\r\none=5\r\ntwo=2\r\n[b]\r\nthree=3\r\n\r\nfour=4\r\n");
}

TEST(IniFile, MissingFileIsCreatedAndDeletedKeyKeepsItsSection) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("new.ini").toStdString();
    TIniFile ini(path);
    EXPECT_FALSE(ini.SectionExists("MainForm"));
    ASSERT_TRUE(ini.WriteBool("MainForm", "Maximized", false));
    ASSERT_TRUE(ini.DeleteKey("MainForm", "Maximized"));
    EXPECT_EQ(ReadAll(QString::fromStdString(path)), "[MainForm]\r\n");
    EXPECT_TRUE(TIniFile(path).SectionExists("mainform"));
}

TEST(IniFile, NewKeyEndsItsSectionAndNewSectionEndsTheFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath("w.ini");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Font]\r\nSize=8\r\n\r\n[Serial Port]\r\nDevice No=3\r\n");
    file.close();

    TIniFile ini(path.toStdString());
    ASSERT_TRUE(ini.WriteString("font", "Name", "x"));
    ASSERT_TRUE(ini.WriteInteger("MainForm", "Top", 10));
    EXPECT_EQ(ReadAll(path),
              "[Font]\r\nSize=8\r\nName=x\r\n\r\n[Serial Port]\r\nDevice No=3\r\n[MainForm]\r\nTop=10\r\n");
}

TEST(IniFile, BinaryOrEnormousContentGivesDefaults) {
    QTemporaryDir dir;
    const QString path = dir.filePath("bin.ini");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    QByteArray junk(100000, '\0');
    for (int i = 0; i < junk.size(); ++i)
        junk[i] = char((i * 131) & 0xFF);
    file.write(junk);
    file.close();
    const TIniFile ini(path.toStdString());
    EXPECT_EQ(ini.ReadInteger("Serial Port", "Device No", 1), 1);

    const QString hugePath = dir.filePath("huge.ini");
    QFile huge(hugePath);
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
    huge.write("[Serial Port]\r\nDevice No=3" + QByteArray(20 << 20, '7'));
    huge.close();
    EXPECT_EQ(TIniFile(hugePath.toStdString()).ReadInteger("Serial Port", "Device No", 1), 1);
    // Read in part, it is never saved over: what was not read would be lost.
    TIniFile partly(hugePath.toStdString());
    EXPECT_FALSE(partly.WriteInteger("Serial Port", "Device No", 4));
    EXPECT_NE(partly.LastError().find("a save would lose what it holds"), std::string::npos)
        << partly.LastError();
    EXPECT_EQ(QFileInfo(hugePath).size(), qint64(20 << 20) + 26);
}

// A pipe or a device named as a settings file gives defaults at once (a pipe blocked the open until a
// writer came) and is never saved over.
TEST(IniFile, APipeOrADeviceGivesDefaultsAtOnce) {
    QTemporaryDir dir;
    const std::string fifo = dir.filePath("pipe.ini").toStdString();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {fifo, std::string("/dev/zero")}) {
        TIniFile ini(path);
        EXPECT_EQ(ini.ReadInteger("Serial Port", "Device No", 1), 1) << path;
        EXPECT_FALSE(ini.WriteInteger("Serial Port", "Device No", 4)) << path;
    }
}

TEST(IniFile, ABatchOfWritesIsSavedInOneStep) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("batch.pro").toStdString();
    TIniFile ini(path);
    ini.BeginBatch();
    EXPECT_TRUE(ini.WriteInteger("profile settings", "ringer tone", 2));
    EXPECT_TRUE(ini.DeleteKey("profile settings", "vibrator"));
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(path))) << "nothing is saved before the end";
    ASSERT_TRUE(ini.EndBatch());
    EXPECT_EQ(TIniFile(path).ReadInteger("profile settings", "ringer tone", 0), 2);
}

} // namespace
