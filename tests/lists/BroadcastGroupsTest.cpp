// The broadcast group slots, their .BGL file and the group mails' answers.
#include "lists/BroadcastGroups.h"
#include "lists/GroupMails.h"
#include "platform/TextFile.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString WriteFile(const QTemporaryDir& dir, const QByteArray& bytes) {
    QFile file(dir.filePath("list.BGL"));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return file.fileName();
}

TPhonebookBuffer Bytes(std::initializer_list<uint8_t> bytes) {
    return TPhonebookBuffer(bytes);
}

} // namespace

TEST(BroadcastGroupSlots, ACellTakesOnlyANumberFrom0To255OfAtMostThreeCharacters) {
    for (const char* text : {"0", "7", "007", "255"})
        EXPECT_TRUE(IsGroupText(text)) << text;
    for (const char* text : {"256", "-1", "12a", "1000", "0007", " 5", "+5", ""})
        EXPECT_FALSE(IsGroupText(text)) << text;
    EXPECT_EQ(GroupNumber("007"), 7);
    EXPECT_EQ(GroupNumber("0000"), 0); // from a file, leading zeros are no reason to refuse
    EXPECT_FALSE(GroupNumber("300"));  // never sent as 300 modulo 256
    EXPECT_FALSE(GroupNumber("99999999999999999999"));
}

TEST(BroadcastGroupSlots, TheFirstSlotTheHandsetCannotTakeIsFound) {
    TBroadcastGroups groups;
    groups.SetGroup(0, "5");
    groups.SetGroup(2, "7");
    EXPECT_FALSE(groups.FirstUnsendable());
    EXPECT_EQ(GroupListText(groups), "5, 7");
    groups.SetGroup(9, "1A");
    groups.SetGroup(12, "300");
    EXPECT_EQ(groups.FirstUnsendable(), 9);
    groups.Clear();
    EXPECT_EQ(GroupListText(groups), "none");
}

TEST(BroadcastGroupsFile, SixteenLinesRoundTripAndFewerAreRefused) {
    QTemporaryDir dir;
    TBroadcastGroups groups;
    groups.SetGroup(0, "5");
    groups.SetGroup(15, "255");
    const std::string path = dir.filePath("saved.BGL").toStdString();
    ASSERT_NO_THROW(groups.SaveToFile(path));
    QFile saved(QString::fromStdString(path));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), QByteArray("5\r\n") + QByteArray("\r\n").repeated(14) + "255\r\n");

    TBroadcastGroups loaded;
    ASSERT_NO_THROW(loaded.LoadFromFile(path));
    EXPECT_EQ(loaded.Groups, groups.Groups);

    // Lines are taken as they stand, LF alone ends one too, and lines after the sixteenth are not read.
    ASSERT_NO_THROW(loaded.LoadFromFile(
        WriteFile(dir, "12a\n 7 \r\n" + QByteArray("\r\n").repeated(14) + "more\r\n").toStdString()));
    EXPECT_EQ(loaded.GetGroup(0), "12a");
    EXPECT_EQ(loaded.GetGroup(1), " 7 ");
    EXPECT_EQ(loaded.FirstUnsendable(), 0);

    // Fifteen lines: refused, the slots as they were.
    TBroadcastGroups short15;
    EXPECT_THROW(
        short15.LoadFromFile(WriteFile(dir, "1\r\n" + QByteArray("\r\n").repeated(14)).toStdString()),
        EUnusableFile);
    EXPECT_EQ(short15.GetGroup(0), "");
    // A last line without its line end still counts.
    EXPECT_NO_THROW(
        short15.LoadFromFile(WriteFile(dir, QByteArray("\r\n").repeated(15) + "9").toStdString()));
    EXPECT_EQ(short15.GetGroup(15), "9");

    // Empty, binary, NUL-holding and huge files load without a crash.
    EXPECT_THROW(loaded.LoadFromFile(WriteFile(dir, QByteArray()).toStdString()), EUnusableFile);
    EXPECT_NO_THROW(
        loaded.LoadFromFile(WriteFile(dir, QByteArray("\x00\x01\xFF\n", 4).repeated(20)).toStdString()));
    EXPECT_EQ(loaded.GetGroup(3), std::string("\x00\x01\xFF", 3));
    EXPECT_TRUE(loaded.FirstUnsendable());
    EXPECT_THROW(loaded.LoadFromFile(WriteFile(dir, QByteArray(3 << 20, '7')).toStdString()), EUnusableFile);
    // CR alone ends a line as well; of a large file, the sixteen lines it needs are read.
    ASSERT_NO_THROW(
        loaded.LoadFromFile(WriteFile(dir, "4\r" + QByteArray("\r").repeated(14) + "8\r").toStdString()));
    EXPECT_EQ(loaded.GetGroup(0), "4");
    EXPECT_EQ(loaded.GetGroup(15), "8");
    ASSERT_NO_THROW(loaded.LoadFromFile(
        WriteFile(dir, "6\n" + QByteArray("\n").repeated(15) + QByteArray(50 << 20, 'x')).toStdString()));
    EXPECT_EQ(loaded.GetGroup(0), "6");
    // A file that cannot be read or written says why.
    EXPECT_THROW(loaded.LoadFromFile(dir.filePath("missing.BGL").toStdString()), EFileError);
    EXPECT_THROW(groups.SaveToFile(dir.filePath("missing/saved.BGL").toStdString()), EFileError);
}

TEST(GroupMails, TheMailsAndTheirAnswers) {
    TGroupMails mails;
    TPhonebookBuffer mail;
    EXPECT_EQ(mails.ReadAllGroupsReq(mail), 2);
    EXPECT_EQ(mail, Bytes({0x0D, 0x20}));
    EXPECT_EQ(mails.DeleteAllGroupsReq(mail), 2);
    EXPECT_EQ(mail, Bytes({0x0D, 0x21}));
    EXPECT_EQ(mails.AddGroupReq(7, mail), 3);
    EXPECT_EQ(mail, Bytes({0x0D, 0x22, 0x07}));

    auto read = mails.ParseReadAllGroupsCfm(Bytes({0x20, 0x00, 0x00}));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->Count, 0);
    read = mails.ParseReadAllGroupsCfm(Bytes({0x20, 0x00, 0x02, 0x05, 0xFF}));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->Count, 2);
    EXPECT_EQ(read->Groups[0], "5");
    EXPECT_EQ(read->Groups[1], "255");
    read = mails.ParseReadAllGroupsCfm(Bytes({0x20, 0x01}));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->Status, 1);

    // Too short, another first byte, more groups than counted or more than sixteen: malformed.
    for (const TPhonebookBuffer& bad :
         {Bytes({}), Bytes({0x20}), Bytes({0x20, 0x00}), Bytes({0x21, 0x00, 0x00}),
          Bytes({0x20, 0x00, 0x03, 1, 2}),
          Bytes({0x20, 0x00, 0x11, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17})})
        EXPECT_FALSE(mails.ParseReadAllGroupsCfm(bad)) << bad.size();

    EXPECT_EQ(mails.ParseDeleteAllGroupsCfm(Bytes({0x21, 0x00})), true);
    EXPECT_EQ(mails.ParseDeleteAllGroupsCfm(Bytes({0x21, 0x01})), false);
    EXPECT_FALSE(mails.ParseDeleteAllGroupsCfm(Bytes({0x22, 0x00})));
    EXPECT_EQ(mails.ParseAddGroupCfm(Bytes({0x22, 0x03})), 3);
    EXPECT_FALSE(mails.ParseAddGroupCfm(Bytes({0x22})));
}
