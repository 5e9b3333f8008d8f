// The speed dial block as the handset keeps it, and the .sdl file.
#include "lists/SpeedDial.h"
#include "platform/TextFile.h"

#include <QFile>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using testing::HasSubstr;

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
}

// Nothing usable, or keys of no speed dial key: refused with why, the list as it was. A byte-order mark
// is no part of the first key.
TEST(SpeedDialFile, AFileWithoutUsableKeysOrWithUnknownKeysIsRefused) {
    QTemporaryDir dir;
    const auto load = [&](const QByteArray& content, TPP5SpeedDial& list) {
        QFile odd(dir.filePath("odd.sdl"));
        EXPECT_TRUE(odd.open(QIODevice::WriteOnly));
        odd.write(content);
        odd.close();
        LoadSpeedDialList(dir.filePath("odd.sdl").toStdString(), list);
    };
    const auto refusal = [&](const QByteArray& content) -> std::string {
        TPP5SpeedDial list;
        list.SetNumber(7, "123");
        try {
            load(content, list);
        } catch (const EUnusableFile& e) {
            EXPECT_EQ(list.Numbers[7], "123") << "the list is kept";
            return e.what();
        }
        return "taken";
    };
    EXPECT_THAT(refusal(""), HasSubstr("it holds no speed dial number"));
    EXPECT_THAT(refusal(QByteArray("\x00\x01\xFF Key_1", 9)), HasSubstr("it holds no speed dial number"));
    EXPECT_THAT(refusal(QByteArray(100000, '\x00')), HasSubstr("it holds no speed dial number"));
    EXPECT_THAT(refusal("Name;Number\r\nAnna;123\r\n"), HasSubstr("no speed dial number"));
    EXPECT_THAT(refusal("Key_0,1\r\nKey_A,2\r\n"),
                HasSubstr("no speed dial key: \"Key_A\"; a speed dial list has the keys Key_0 to Key_9 and "
                          "Key_Alarm."));
    EXPECT_THAT(refusal(QByteArray(2 << 20, 'x')), HasSubstr("it is larger than 1048576 bytes"));
    EXPECT_THAT(refusal(QByteArray(20, ',')), HasSubstr("no speed dial key: \"\""));
    EXPECT_THAT(refusal("Key_4,1\r\n; note\r\nkey_4,2\r\n"),
                HasSubstr("a key given twice: Key_4 in lines 1 and 3; each key has one number."));
    TPP5SpeedDial list;
    EXPECT_THROW(LoadSpeedDialList(dir.path().toStdString(), list), EUnusableFile) << "a folder";
    EXPECT_THROW(LoadSpeedDialList(dir.filePath("none.sdl").toStdString(), list), EUnusableFile);
    load("\xEF\xBB\xBFKey_0,5\r\n", list);
    EXPECT_EQ(list.Numbers[0], "5");
}

TEST(SpeedDialFile, ASaveThatCannotBeWrittenIsReported) {
    QTemporaryDir dir;
    QFile blocker(dir.filePath("file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    TPP5SpeedDial list;
    EXPECT_THROW(SaveSpeedDialList(dir.filePath("file/list.sdl").toStdString(), list), std::exception);
}

// A backup keeps the block as it was read; loaded again, it encodes to those very bytes while its numbers
// are the ones the block holds, and to the numbers alone once they are changed.
TEST(SpeedDialFile, ABackupGoesBackByteForByte) {
    TPP5SpeedDial::TBlock block;
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = uint8_t(i * 29 + 7);
    // Key 0 ends at a filler with other bytes after it; key 1 at an A nibble.
    block[1] = 0x2F;
    block[12] = 0x5A;
    QTemporaryDir dir;
    const std::string path = dir.filePath("kept.sdl").toStdString();
    WriteFileAtomically(path, SpeedDialBackupText(block));
    TPP5SpeedDial list;
    LoadSpeedDialList(path, list);
    EXPECT_EQ(list.Numbers[1], "5");
    EXPECT_TRUE(list.EncodesAsRead());
    EXPECT_EQ(list.Encode(), block);
    list.SetNumber(1, "6");
    EXPECT_FALSE(list.EncodesAsRead());
    EXPECT_NE(list.Encode(), block);
    // A line of the block that does not decode to the file's numbers is a comment like any other.
    WriteFileAtomically(path, "Key_1,9\r\n" +
                                  SpeedDialBackupText(block).substr(SpeedDialBackupText(block).find(';')));
    LoadSpeedDialList(path, list);
    EXPECT_FALSE(list.AsRead.has_value());
}
