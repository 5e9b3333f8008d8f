// Where a person's files go by the XDG rules (configuration, data, state), and how the files an earlier
// version kept in the configuration folder reach theirs: whole, none lost, none put in another's place.
#include "platform/Backups.h"
#include "platform/FolderMove.h"
#include "platform/Paths.h"
#include "platform/TextFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

// A home of the test's own, without QUORVEL_CONFIG_DIR, as a person's session has it.
struct PerUserFolders : testing::Test {
    PerUserFolders() {
        for (const char* name : Variables)
            saved.push_back({name, qgetenv(name)});
        for (const char* name : Variables)
            qunsetenv(name);
        qputenv("HOME", home.path().toLocal8Bit());
    }
    ~PerUserFolders() override {
        for (const auto& [name, value] : saved)
            value.isNull() ? qunsetenv(name) : qputenv(name, value);
    }
    std::string At(const QString& relative) const { return home.filePath(relative).toStdString(); }
    void Write(const QString& relative, const std::string& bytes) const {
        QDir().mkpath(QFileInfo(home.filePath(relative)).path());
        WriteFileAtomically(At(relative), bytes);
    }
    bool Exists(const QString& relative) const { return QFileInfo::exists(home.filePath(relative)); }

    static constexpr const char* Variables[] = {
        "HOME",          "QUORVEL_CONFIG_DIR", "QUORVEL_PROGRAM_DIR", "XDG_CONFIG_HOME",
        "XDG_DATA_HOME", "XDG_STATE_HOME"};
    std::vector<std::pair<const char*, QByteArray>> saved;
    QTemporaryDir home;
};

} // namespace

TEST_F(PerUserFolders, FollowTheXdgVariablesAndElseTheHomeFolder) {
    EXPECT_EQ(PerUserDir(), At(".config/Quorvel"));
    EXPECT_EQ(PerUserDataDir(), At(".local/share/Quorvel"));
    EXPECT_EQ(PerUserStateDir(), At(".local/state/Quorvel"));
    EXPECT_TRUE(Exists(".local/share/Quorvel") && Exists(".local/state/Quorvel"));

    qputenv("XDG_DATA_HOME", home.filePath("data").toLocal8Bit());
    qputenv("XDG_STATE_HOME", home.filePath("state").toLocal8Bit());
    EXPECT_EQ(PerUserDataDir(), At("data/Quorvel"));
    EXPECT_EQ(PerUserStateDir(), At("state/Quorvel"));
    EXPECT_EQ(BackupFolder(), At("data/Quorvel/backups"));
    // A relative path is no XDG folder: it would depend on the folder the program was started in.
    qputenv("XDG_DATA_HOME", "data");
    EXPECT_EQ(PerUserDataDir(), At(".local/share/Quorvel"));

    // The tests' own folder holds everything of a person's, so that a run leaves nothing elsewhere.
    qputenv("QUORVEL_CONFIG_DIR", home.filePath("own").toLocal8Bit());
    EXPECT_EQ(PerUserDataDir(), At("own"));
    EXPECT_EQ(PerUserStateDir(), At("own"));
    EXPECT_EQ(BackupFolder(), At("own/backups"));
}

TEST_F(PerUserFolders, AnEarlierVersionsBackupsMoveOnFirstUseAndNoneIsLostOrReplaced) {
    const QString old = ".config/Quorvel/backups/";
    const QString now = ".local/share/Quorvel/backups/";
    Write(old + "phonebook-00291-0284280-COM10-20261201-120000.phb", "A,1\r\n");
    Write(old + "phonebook-00291-0284280-COM10-20261201-120000.phb.handset", "serial=00291 0284280\n");
    // Kept in both places by two versions at once: the same bytes go once; other bytes stay, both.
    Write(old + "profile-00291-0284280-COM10-20261201-120000.pro", "same");
    Write(now + "profile-00291-0284280-COM10-20261201-120000.pro", "same");
    Write(old + "speeddial-00291-0284280-COM10-20261201-120000.sdl", "older");
    Write(now + "speeddial-00291-0284280-COM10-20261201-120000.sdl", "newer");

    EXPECT_EQ(BackupFolder(), At(".local/share/Quorvel/backups"));
    EXPECT_EQ(ReadFileBytes(At(now + "phonebook-00291-0284280-COM10-20261201-120000.phb"), 100), "A,1\r\n");
    EXPECT_TRUE(Exists(now + "phonebook-00291-0284280-COM10-20261201-120000.phb.handset"));
    EXPECT_FALSE(Exists(old + "phonebook-00291-0284280-COM10-20261201-120000.phb"));
    EXPECT_FALSE(Exists(old + "profile-00291-0284280-COM10-20261201-120000.pro"));
    EXPECT_EQ(ReadFileBytes(At(old + "speeddial-00291-0284280-COM10-20261201-120000.sdl"), 100), "older");
    EXPECT_EQ(ReadFileBytes(At(now + "speeddial-00291-0284280-COM10-20261201-120000.sdl"), 100), "newer");
    // The copies are found where they went, and the new ones are kept there.
    EXPECT_EQ(NewestBackup("phonebook", "phb", {10, "00291 0284280", "62018400", "06B"}),
              At(now + "phonebook-00291-0284280-COM10-20261201-120000.phb"));

    // Once the clash is gone the last copy follows, and the old folder goes with it.
    QFile::remove(home.filePath(now + "speeddial-00291-0284280-COM10-20261201-120000.sdl"));
    BackupFolder();
    EXPECT_EQ(ReadFileBytes(At(now + "speeddial-00291-0284280-COM10-20261201-120000.sdl"), 100), "older");
    EXPECT_FALSE(Exists(old));
    EXPECT_TRUE(Exists(".config/Quorvel"));
}

TEST_F(PerUserFolders, TheLogOfAnInstalledProgramIsKeptInTheStateFolder) {
    QTemporaryDir installed;
    QFile mark(installed.filePath(InstalledMarkName));
    ASSERT_TRUE(mark.open(QIODevice::WriteOnly));
    mark.close();
    qputenv("QUORVEL_PROGRAM_DIR", installed.path().toLocal8Bit());
    Write(".config/Quorvel/debug.txt", "the earlier version's log\r\n");

    EXPECT_EQ(WritableLogFile("debug.txt"), At(".local/state/Quorvel/debug.txt"));
    EXPECT_EQ(ReadFileBytes(At(".local/state/Quorvel/debug.txt"), 100), "the earlier version's log\r\n");
    EXPECT_FALSE(Exists(".config/Quorvel/debug.txt"));

    // A program folder of its own, as a build's, keeps its log beside the program.
    qputenv("QUORVEL_PROGRAM_DIR", home.filePath("build").toLocal8Bit());
    QDir().mkpath(home.filePath("build"));
    EXPECT_EQ(WritableLogFile("debug.txt"), At("build/debug.txt"));
}

// A move between two file systems copies: the copy is whole before the old name goes.
TEST_F(PerUserFolders, AMoveAcrossFileSystemsCopiesBeforeItRemoves) {
    QTemporaryDir other(QDir::tempPath() == "/dev/shm" ? "/tmp/move-XXXXXX" : "/dev/shm/move-XXXXXX");
    struct stat a {
    }, b{};
    if (!other.isValid() || stat(other.path().toLocal8Bit(), &a) != 0 ||
        stat(home.path().toLocal8Bit(), &b) != 0 || a.st_dev == b.st_dev)
        GTEST_SKIP() << "no second file system to move across";
    WriteFileAtomically(other.filePath("copy.phb").toStdString(), std::string(100000, 'x'));
    EXPECT_TRUE(MoveFolderFiles(other.path().toStdString(), At("backups")).empty());
    EXPECT_EQ(ReadFileBytes(At("backups/copy.phb"), 200000), std::string(100000, 'x'));
    EXPECT_FALSE(QFileInfo::exists(other.path()));
    EXPECT_EQ(QDir(home.filePath("backups")).entryList(QDir::Files), QStringList{"copy.phb"});
}
