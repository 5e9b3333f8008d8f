// quorvel-cli speed-dial against the virtual handset, through a real pseudo-terminal.
#include "support/HandsetProcess.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

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

    // Files with nothing usable, or with keys of no speed dial key, are refused before anything is sent.
    for (const auto& [name, content, why] : std::vector<std::tuple<const char*, QByteArray, std::string>>{
             {"empty.sdl", "", "it holds no speed dial number"},
             {"binary.sdl",
              QByteArray("\x7F"
                         "ELF\x02\x01\x00\x00",
                         8),
              "it holds no speed dial number"},
             {"alarm.sdl", "Key_0,1\r\nKey_A,2\r\n", "no speed dial key: \"Key_A\""},
             {"huge.sdl", QByteArray(3 << 20, '1'), "it is larger than"}}) {
        run = SpeedDial(handset, {"write", WriteFile(dir, name, content)});
        EXPECT_EQ(run.exitCode, 2) << name;
        EXPECT_NE(run.err.find(why), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("kept in"), std::string::npos) << "nothing was read or written: " << run.err;
    }
    // A file too large to read whole is never replaced by a save into it.
    const QByteArray large = "Key_0,1\r\n" + QByteArray(2 << 20, ';');
    const QString kept = WriteFile(dir, "large.sdl", large);
    run = SpeedDial(handset, {"read", "-o", kept});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("a save would lose what it holds"), std::string::npos) << run.err;
    QFile file(kept);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), large);
    run = SpeedDial(handset, {"write", dir.path()});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("it cannot be read: it is a folder"), std::string::npos) << run.err;
    EXPECT_EQ(SpeedDial(handset, {"read"}).out.rfind("Key_0,12-3\r\n", 0), 0u) << "the handset's list stays";

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
