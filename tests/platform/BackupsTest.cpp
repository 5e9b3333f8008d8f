// Copies of what a handset held, kept in the per-user folder before an operation changes it.
#include "platform/Backups.h"
#include "platform/TextFile.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct Backups : testing::Test {
    Backups() { qputenv("QUORVEL_CONFIG_DIR", dir.path().toLocal8Bit()); }
    ~Backups() override { qputenv("QUORVEL_CONFIG_DIR", saved); }
    void Touch(const QString& name) {
        QFile file(QString::fromStdString(BackupFolder()) + "/" + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }

    const QByteArray saved = qgetenv("QUORVEL_CONFIG_DIR");
    QTemporaryDir dir;
};

} // namespace

const THandsetIdentity Desk{10, "00291 0284280", "62018400", "06B"};

TEST_F(Backups, EveryCopyGetsANameOfItsOwnAndTheNewestIsFound) {
    EXPECT_EQ(NewestBackup("phonebook", "phb", Desk), "");
    const std::string first = KeepBackup("phonebook", "phb", "A,1\r\n", Desk);
    const std::string second = KeepBackup("phonebook", "phb", "B,2\r\n", Desk);
    EXPECT_NE(first, second);
    EXPECT_EQ(ReadFileBytes(first, 100), "A,1\r\n");
    EXPECT_EQ(ReadFileBytes(second, 100), "B,2\r\n");
    EXPECT_EQ(first.rfind(BackupFolder() + "/phonebook-00291-0284280-COM10-", 0), 0u) << first;
    // The handset is named beside the copy in words as well.
    EXPECT_EQ(ReadFileBytes(first + ".handset", 1000).rfind("serial=00291 0284280\nport=COM10\n", 0), 0u);
    // Within one second the second copy is "-2", and newer than the first, though it sorts before it.
    EXPECT_EQ(NewestBackup("phonebook", "phb", Desk), second);
}

TEST_F(Backups, TheNewestIsByTheTimeInItsNameAndOnlyOfItsKindAndHandset) {
    Touch("phonebook-00291-0284280-COM10-20261201-120000.phb");
    Touch("phonebook-00291-0284280-COM10-20261201-120000-10.phb");
    Touch("phonebook-00291-0284280-COM10-20261201-120000-9.phb");
    Touch("phonebook-before-restore-00291-0284280-COM10-20301201-120000.phb");
    Touch("phonebook-00291-0284280-COM10-20301201-120000.pro");
    Touch("phonebook-00291-0284280-COM10-2030.phb");
    // Another handset's copy, and one from before copies were named after handsets, are never taken.
    Touch("phonebook-00001-0000002-COM11-20311201-120000.phb");
    Touch("phonebook-20311201-120000.phb");
    EXPECT_EQ(NewestBackup("phonebook", "phb", Desk),
              BackupFolder() + "/phonebook-00291-0284280-COM10-20261201-120000-10.phb");
    EXPECT_EQ(NewestBackup("phonebook-before-restore", "phb", Desk),
              BackupFolder() + "/phonebook-before-restore-00291-0284280-COM10-20301201-120000.phb");
    EXPECT_EQ(NewestBackup("profile", "pro", Desk), "");
    // A handset is known by its serial number at any port; one without a SIM only at its own port.
    THandsetIdentity moved = Desk;
    moved.port = 12;
    EXPECT_NE(NewestBackup("phonebook", "phb", moved), "");
    Touch("phonebook-noSIM-COM11-20261201-120000.phb");
    THandsetIdentity empty{11, "", "", ""};
    EXPECT_NE(NewestBackup("phonebook", "phb", empty), "");
    empty.port = 10;
    EXPECT_EQ(NewestBackup("phonebook", "phb", empty), "");
    EXPECT_EQ(NewestBackup("phonebook", "phb", THandsetIdentity{11, std::nullopt, "", ""}), "");
}

TEST_F(Backups, OnlyTheNewestCopiesOfEachHandsetAndKindAreKept) {
    for (int n = 1; n <= 3; ++n)
        Touch(QString("groups-00291-0284280-COM10-20261201-12000%1.BGL").arg(n));
    Touch("groups-00001-0000002-COM11-20261201-120000.BGL");
    Touch("speeddial-00291-0284280-COM10-20261201-120000.sdl");
    const std::vector<std::string> removed = PruneBackups(2);
    ASSERT_EQ(removed.size(), 1u);
    EXPECT_EQ(removed[0], BackupFolder() + "/groups-00291-0284280-COM10-20261201-120001.BGL");
    // Never fewer than one of each.
    EXPECT_EQ(PruneBackups(0).size(), 1u);
    EXPECT_EQ(BackupCopies().size(), 3u);
    // A new copy keeps the newest KeptCopies of its handset and kind by itself.
    for (int n = 0; n < KeptCopies + 2; ++n)
        KeepBackup("speeddial", "sdl", "Key_1=1\r\n", Desk);
    int desk = 0;
    for (const TBackupCopy& copy : BackupCopies())
        desk += copy.kind == "speeddial";
    EXPECT_EQ(desk, KeptCopies);
}

TEST_F(Backups, ACopyThatCannotBeWrittenIsReportedAndLeavesNothing) {
    // A regular file where the folder should be stops root as well.
    QFile blocker(dir.filePath("backups"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_THROW(KeepBackup("phonebook", "phb", "A,1\r\n", Desk), EFileError);
    EXPECT_EQ(NewestBackup("phonebook", "phb", Desk), "");
}
