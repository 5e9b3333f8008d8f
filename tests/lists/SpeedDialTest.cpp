// The speed dial block as the handset keeps it, and the .sdl file.
#include "lists/SpeedDial.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

std::string Slot(const TPP5SpeedDial::TBlock& block, int k) {
    std::string hex;
    for (int i = 0; i < TPP5SpeedDial::SlotBytes; ++i) {
        char text[3];
        std::snprintf(text, sizeof text, "%02X", block[size_t(k * TPP5SpeedDial::SlotBytes + i)]);
        hex += text;
    }
    return hex;
}

std::string FileText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

} // namespace

TEST(SpeedDialBlock, PausesBecomeDAndReadBackAsDashes) {
    TPP5SpeedDial list;
    list.SetNumber(0, "12P3");
    list.SetNumber(1, "12345678901234567890123"); // 23 digits and one filler
    list.SetNumber(2, "*#-p");
    EXPECT_FALSE(list.FirstUnsendable());
    const TPP5SpeedDial::TBlock block = list.Encode();
    EXPECT_EQ(Slot(block, 0), "12D3FFFFFFFFFFFFFFFFFFFF");
    EXPECT_EQ(Slot(block, 1), "12345678901234567890123F");
    EXPECT_EQ(Slot(block, 2), "BCDDFFFFFFFFFFFFFFFFFFFF");
    EXPECT_EQ(Slot(block, 10), std::string(24, 'F'));

    TPP5SpeedDial read;
    read.Decode(block);
    EXPECT_EQ(read.Numbers[0], "12-3");
    EXPECT_EQ(read.Numbers[1], "12345678901234567890123");
    EXPECT_EQ(read.Numbers[2], "*#--");
    EXPECT_EQ(read.Numbers[3], "");
}

TEST(SpeedDialBlock, SlotsEndAtTheirFirstAEOrFNibbleAndHoldAtMost23) {
    TPP5SpeedDial::TBlock block;
    block.fill(0xFF);
    block[0] = 0x1A;
    block[1] = 0x23;
    for (int i = 0; i < TPP5SpeedDial::SlotBytes; ++i)
        block[size_t(TPP5SpeedDial::SlotBytes + i)] = 0x12; // 24 digits
    block[2 * TPP5SpeedDial::SlotBytes] = 0x5E;
    TPP5SpeedDial read;
    read.Decode(block);
    EXPECT_EQ(read.Numbers[0], "1");
    EXPECT_EQ(read.Numbers[1], "12121212121212121212121");
    EXPECT_EQ(read.Numbers[2], "5");
}

TEST(SpeedDialBlock, ACharacterTheHandsetCannotStoreIsFoundWithItsKey) {
    TPP5SpeedDial list;
    list.SetNumber(4, "555");
    list.SetNumber(10, "12+3");
    const auto bad = list.FirstUnsendable();
    ASSERT_TRUE(bad);
    EXPECT_EQ(bad->first, 10);
    EXPECT_EQ(bad->second, '+');
    EXPECT_STREQ(SpeedDialKeyName(10), "Key_Alarm");
}

TEST(SpeedDialFile, KeysAreFoundWithoutRegardToCaseAndOtherLinesStay) {
    QTemporaryDir dir;
    const QString path = dir.filePath("list.sdl");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("; my list\r\nkey_3 , 555\r\nKey_0,123456789012345678901234567\r\n");
    file.close();
    TPP5SpeedDial list;
    list.SetNumber(7, "left over");
    LoadSpeedDialList(path.toStdString(), list);
    EXPECT_EQ(list.Numbers[3], "555");
    EXPECT_EQ(list.Numbers[0], "12345678901234567890123");
    EXPECT_EQ(list.Numbers[7], "");
    EXPECT_EQ(list.Numbers[10], "");

    list.SetNumber(10, "9");
    SaveSpeedDialList(path.toStdString(), list);
    const std::string text = FileText(path);
    EXPECT_EQ(text.rfind("; my list\r\n", 0), 0u) << text;
    EXPECT_NE(text.find("Key_5,\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Key_Alarm,9\r\n"), std::string::npos) << text;

    // Empty, binary and NUL-holding files load as an empty list.
    for (const QByteArray& junk :
         {QByteArray(), QByteArray("\x00\x01\xFF Key_1", 9), QByteArray(100000, '\x00')}) {
        QFile odd(dir.filePath("odd.sdl"));
        ASSERT_TRUE(odd.open(QIODevice::WriteOnly));
        odd.write(junk);
        odd.close();
        LoadSpeedDialList(dir.filePath("odd.sdl").toStdString(), list);
        for (const std::string& number : list.Numbers)
            EXPECT_LE(number.size(), 23u);
    }
}

TEST(SpeedDialFile, ASaveThatCannotBeWrittenIsReported) {
    QTemporaryDir dir;
    QFile blocker(dir.filePath("file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    TPP5SpeedDial list;
    EXPECT_THROW(SaveSpeedDialList(dir.filePath("file/list.sdl").toStdString(), list), std::exception);
}
