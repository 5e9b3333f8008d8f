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

TEST_F(Backups, EveryCopyGetsANameOfItsOwnAndTheNewestIsFound) {
    EXPECT_EQ(NewestBackup("phonebook", "phb"), "");
    const std::string first = KeepBackup("phonebook", "phb", "A,1\r\n");
    const std::string second = KeepBackup("phonebook", "phb", "B,2\r\n");
    EXPECT_NE(first, second);
    EXPECT_EQ(ReadFileBytes(first, 100), "A,1\r\n");
    EXPECT_EQ(ReadFileBytes(second, 100), "B,2\r\n");
    EXPECT_EQ(first.rfind(BackupFolder() + "/phonebook-", 0), 0u) << first;
    // Within one second the second copy is "-2", and newer than the first, though it sorts before it.
    EXPECT_EQ(NewestBackup("phonebook", "phb"), second);
}

TEST_F(Backups, TheNewestIsByTheTimeInItsNameAndOnlyOfItsKind) {
    Touch("phonebook-20261201-120000.phb");
    Touch("phonebook-20261201-120000-10.phb");
    Touch("phonebook-20261201-120000-9.phb");
    Touch("phonebook-before-restore-20301201-120000.phb");
    Touch("phonebook-20301201-120000.pro");
    Touch("phonebook-2030.phb");
    EXPECT_EQ(NewestBackup("phonebook", "phb"), BackupFolder() + "/phonebook-20261201-120000-10.phb");
    EXPECT_EQ(NewestBackup("phonebook-before-restore", "phb"),
              BackupFolder() + "/phonebook-before-restore-20301201-120000.phb");
    EXPECT_EQ(NewestBackup("profile", "pro"), "");
}

TEST_F(Backups, ACopyThatCannotBeWrittenIsReportedAndLeavesNothing) {
    // A regular file where the folder should be stops root as well.
    QFile blocker(dir.filePath("backups"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_THROW(KeepBackup("phonebook", "phb", "A,1\r\n"), EFileError);
    EXPECT_EQ(NewestBackup("phonebook", "phb"), "");
}
