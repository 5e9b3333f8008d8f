// quorvel-cli speed-dial against the virtual handset, through a real pseudo-terminal.
#include "support/HandsetProcess.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString WriteFile(const QTemporaryDir& dir, const char* name, const QByteArray& text) {
    QFile file(dir.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
    return file.fileName();
}

THandsetProcess::TRun SpeedDial(const THandsetProcess& handset, const QStringList& args) {
    return handset.Cli(
        QStringList{"--port", QString("COM%1").arg(handset.ComNumber()), "--yes", "speed-dial"} + args);
}

} // namespace

TEST(SpeedDialCommands, WriteReadAndDeleteTheHandsetsBlock) {
    QTemporaryDir dir;
    const QString state = dir.filePath("handset.txt");
    THandsetProcess handset({"--state", state});
    ASSERT_TRUE(handset.Started());
    const QString list = WriteFile(dir, "list.sdl", "Key_0,12P3\r\nkey_3 , 555\r\nKey_Alarm,#9\r\n");
    auto run = SpeedDial(handset, {"write", list});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("The handset's earlier list is kept in "), std::string::npos) << run.err;
    // Key 0 at 0x2C0C: 12 D3 FF ...
    EXPECT_EQ(StateMemoryByte(state, 0x2C0C, 0x12), 0x12);
    EXPECT_EQ(StateMemoryByte(state, 0x2C0D, 0xD3), 0xD3);
    run = SpeedDial(handset, {"read"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out,
              "Key_0,12-3\r\nKey_1,\r\nKey_2,\r\nKey_3,555\r\nKey_4,\r\nKey_5,\r\nKey_6,\r\nKey_7,\r\n"
              "Key_8,\r\nKey_9,\r\nKey_Alarm,#9\r\n");

    // A number the handset cannot store stops the write before anything is sent.
    run = SpeedDial(handset, {"write", WriteFile(dir, "bad.sdl", "Key_0,777\r\nKey_4,12a\r\n")});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("The number of Key_4 holds \"a\""), std::string::npos) << run.err;
    EXPECT_EQ(SpeedDial(handset, {"read"}).out.rfind("Key_0,12-3\r\n", 0), 0u);

    run = SpeedDial(handset, {"delete"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(SpeedDial(handset, {"read"}).out.find("Key_0,\r\n"), 0u);
}

TEST(SpeedDialCommands, AHandsetWithoutAdvancedSettingsHasNoSpeedDial) {
    THandsetProcess four({"--software", "62018400", "--pcs", "05Z", "--model", "0x55"});
    ASSERT_TRUE(four.Started());
    const auto run = SpeedDial(four, {"read"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("The connected device does not support Speed Dial!"), std::string::npos)
        << run.err;
}
