// The records of SIMs in files over an SQLite file in a folder of the test's own, and the move of the
// old text store into it.
#include "vsim/SimRecords.h"
#include "platform/Registry.h"
#include "platform/TextFile.h"
#include "vsim/RecordStore.h"
#include "vsim/SerialNumber.h"

#include <sqlite3.h>

#include <QFile>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include <sys/stat.h>
#include <unistd.h>

using testing::HasSubstr;

namespace {

const std::string Serial = "00291 0284280";

struct Records : testing::Test {
    Records() {
        for (size_t i = 0; i < image.size(); ++i)
            image[i] = uint8_t(i * 7);
    }
    bool Store(const std::vector<uint8_t>& bytes, const std::string& state = {}) {
        return records.StoreInRegistry(Serial, "0123ABCD", "06A", ImageChecksum(bytes), ImageSha256(bytes),
                                       {state, state.empty() ? "" : "/home/x/backup_" + Serial + ".sim"});
    }
    bool Matches(const std::vector<uint8_t>& bytes) const {
        return records.RegistryCrcMatches(Serial, ImageChecksum(bytes), ImageSha256(bytes));
    }
    std::string FilePath() const { return engine->Where(); }
    // Changes the file as another program could.
    void Sql(const std::string& statements) const {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(FilePath().c_str(), &db), SQLITE_OK);
        char* error = nullptr;
        EXPECT_EQ(sqlite3_exec(db, statements.c_str(), nullptr, nullptr, &error), SQLITE_OK) << error;
        sqlite3_free(error);
        sqlite3_close(db);
    }

    QTemporaryDir dir;
    std::unique_ptr<TRecordEngine> engine =
        OpenRecordStore("sqlite:" + dir.filePath("records.db").toStdString());
    TSimRecords records{*engine};
    std::vector<uint8_t> image = std::vector<uint8_t>(442);
};

TEST_F(Records, StoredRecordMatchesItsFileOnly) {
    ASSERT_TRUE(Store(image)) << records.LastError();
    EXPECT_TRUE(Matches(image));
    EXPECT_EQ(records.RegistrySoftware(Serial), "0123ABCD");
    EXPECT_EQ(records.RegistryPcs(Serial), "06A");
    EXPECT_EQ(records.RegistryState(Serial), "") << "no state: the move out finished";

    std::vector<uint8_t> changed = image;
    changed[100] ^= 0x01;
    EXPECT_FALSE(Matches(changed));

    std::vector<uint8_t> sameSum = image;
    std::swap(sameSum[10], sameSum[20]);
    ASSERT_EQ(ImageChecksum(sameSum), ImageChecksum(image));
    EXPECT_FALSE(Matches(sameSum)) << "the SHA-256 tells what the byte sum cannot";
}

TEST_F(Records, RecordWithoutSha256IsJudgedByTheByteSumAlone) {
    ASSERT_TRUE(records.StoreInRegistry(Serial, "0123ABCD", "06A", ImageChecksum(image), ""));
    std::vector<uint8_t> sameSum = image;
    std::swap(sameSum[10], sameSum[20]);
    EXPECT_TRUE(Matches(sameSum));
    sameSum[0] ^= 0x80;
    EXPECT_FALSE(Matches(sameSum));
}

TEST_F(Records, NoRecordMatchesNothingAndHasNoValues) {
    EXPECT_FALSE(Matches(image));
    EXPECT_EQ(records.RegistrySoftware(Serial), "");
    EXPECT_EQ(records.RegistryPcs(Serial), "");
    EXPECT_FALSE(records.RegistryCrcMatches("", ImageChecksum(image), ImageSha256(image)));
    EXPECT_TRUE(records.Records().empty());
}

TEST_F(Records, TwoFilesWithOneSerialNumberShareOneRecord) {
    ASSERT_TRUE(Store(image, SimMoveState::MovingOut));
    std::vector<uint8_t> second = image;
    second[300] = 0x55;
    ASSERT_TRUE(
        records.StoreInRegistry(Serial, "89ABCDEF", "05B", ImageChecksum(second), ImageSha256(second)));
    EXPECT_TRUE(Matches(second));
    EXPECT_FALSE(Matches(image));
    EXPECT_EQ(records.RegistrySoftware(Serial), "89ABCDEF");
    EXPECT_EQ(records.RegistryState(Serial), "") << "nothing of the first record stays";
    EXPECT_EQ(records.RegistryFile(Serial), "");
    EXPECT_EQ(records.Records().size(), 1u);
}

TEST_F(Records, RemoveTakesOneRecordAndNeverAllOfThem) {
    ASSERT_TRUE(Store(image));
    ASSERT_TRUE(records.StoreInRegistry("00001 0000001", "0123ABCD", "06A", 1, ""));
    EXPECT_FALSE(records.RemoveFromRegistry(""));
    EXPECT_FALSE(records.RemoveFromRegistry("x\\y"));
    EXPECT_EQ(records.Records().size(), 2u);

    EXPECT_TRUE(records.RemoveFromRegistry(Serial)) << records.LastError();
    EXPECT_FALSE(Matches(image));
    EXPECT_EQ(records.RegistrySoftware(Serial), "");
    EXPECT_TRUE(records.RemoveFromRegistry(Serial)) << "a record that is gone is removed";
    ASSERT_EQ(records.Records().size(), 1u);
    EXPECT_EQ(records.Records()[0].SerialNumber, "00001 0000001");
}

TEST_F(Records, JournalOfAMove) {
    ASSERT_TRUE(Store(image, SimMoveState::MovingOut));
    EXPECT_EQ(records.RegistryState(Serial), "moving-out");
    EXPECT_EQ(records.RegistryFile(Serial), "/home/x/backup_00291 0284280.sim");
    EXPECT_TRUE(Matches(image));

    ASSERT_TRUE(records.SetJournal(Serial, {"", records.RegistryFile(Serial), "MOVING OUT x", "00"}));
    EXPECT_EQ(records.RegistryState(Serial), "");
    EXPECT_EQ(records.RegistryFile(Serial), "/home/x/backup_00291 0284280.sim");
    EXPECT_EQ(records.Journal(Serial).Mark, "MOVING OUT x");
    const TSimJournal in{SimMoveState::MovingIn, "", "MOVING IN y", "", "released"};
    ASSERT_TRUE(records.SetJournal(Serial, in));
    EXPECT_EQ(records.Journal(Serial), in) << "every value written, the ones left empty removed";
    EXPECT_EQ(records.Records().at(0).Journal, in);
    EXPECT_EQ(records.Records().at(0).Saved.size(), 19u) << "the time the SIM went into its file";
    EXPECT_TRUE(Matches(image)) << "the journal leaves the sums alone";

    EXPECT_FALSE(records.SetJournal("00001 0000001", {SimMoveState::MovingIn}));
    EXPECT_THAT(records.LastError(), HasSubstr("no record"));
    EXPECT_EQ(records.Records().size(), 1u);

    // Each step is named after where it leaves the SIM.
    std::vector<std::string> steps;
    for (const TSimStep& step : engine->Steps(Serial))
        steps.push_back(step.Step);
    EXPECT_EQ(steps, (std::vector<std::string>{"moving-out", "in-file", "moving-in"}));
}

// Rows written by hand or by another program: the records name what is wrong and take nothing from them.
TEST_F(Records, RowsOfTheWrongKindAreNamedNotTaken) {
    const std::pair<std::string, std::string> cases[] = {
        {"crc = 'x'", "has no \"CRC\" value that is a number"},
        {"crc = 1.5", "has no \"CRC\" value that is a number"},
        {"sha256 = 'abc'", "not 64 hex digits"},
        {"state = 'gone'", "a state \"gone\" that no move has"},
    };
    for (const auto& [change, problem] : cases) {
        ASSERT_TRUE(Store(image));
        Sql("PRAGMA ignore_check_constraints = 1; UPDATE sim_records SET " + change);
        try {
            Matches(image);
            ADD_FAILURE() << "taken: " << change;
        } catch (const ESimRecordError& e) {
            EXPECT_THAT(e.what(), HasSubstr(Serial));
            EXPECT_THAT(e.what(), HasSubstr(FilePath()));
            EXPECT_THAT(e.what(), HasSubstr(problem));
        }
        EXPECT_THROW(records.RegistrySoftware(Serial), ESimRecordError);
        const std::vector<TSimRecord> listed = records.Records();
        ASSERT_EQ(listed.size(), 1u);
        EXPECT_THAT(listed[0].Problem, HasSubstr(problem)) << "listing names the problem and goes on";
        EXPECT_EQ(listed[0].Software, "0123ABCD");
    }
}

// A file that is no records file, or a place where none may be made, fails with the file and the
// reason, and is left as it was.
TEST(RecordStore, AStoreThatCannotBeUsedIsNamedAndLeftAlone) {
    QTemporaryDir dir;
    const std::string garbage = dir.filePath("records.db").toStdString();
    WriteFileAtomically(garbage, std::string(4096, 'x'));
    try {
        OpenRecordStore("sqlite:" + garbage);
        ADD_FAILURE() << "opened";
    } catch (const EStoreError& e) {
        EXPECT_THAT(e.what(), HasSubstr(garbage));
        EXPECT_THAT(e.what(), HasSubstr("not a database"));
    }
    EXPECT_EQ(ReadFileBytes(garbage, 1 << 20), std::string(4096, 'x'));

    const QString blocker = dir.filePath("file");
    QFile file(blocker);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const std::string below = (blocker + "/state/records.db").toStdString();
    EXPECT_THAT([&] { OpenRecordStore(below); },
                testing::ThrowsMessage<EStoreError>(HasSubstr(blocker.toStdString())));
    EXPECT_THAT([&] { OpenRecordStore("mysql://host/db"); },
                testing::ThrowsMessage<EStoreError>(HasSubstr("names no store")));
}

// The records of the old text store move into the database once, whole, and the old file is kept.
TEST(RecordStore, TheOldTextStoreMovesInOnceAndIsKept) {
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    const std::string old = std::string(TRegistryTree::Header) +
                            "\n[SOFTWARE\\Ostrel telecom\\Virtual SIM\\00291 0284280]\n"
                            "\"Software\"=\"62018400\"\n\"PCS\"=\"06B\"\n\"CRC\"=dword:0001e240\n"
                            "\"SHA256\"=\"" +
                            std::string(64, 'A') +
                            "\"\n\"Saved\"=\"2026-12-01 10:00:00\"\n\"State\"=\"moving-out\"\n"
                            "\"File\"=\"/home/a/b%25.sim\"\n\"Mark\"=\"MOVING OUT 1\"\n\"Text\"=\"00ff\"\n"
                            "\n[SOFTWARE\\Ostrel telecom\\Virtual SIM\\00001 0000001]\n"
                            "\"Software\"=\"62018401\"\n\"PCS\"=\"06A\"\n\"CRC\"=dword:00000007\n";
    WriteFileAtomically(folder + "/registry.txt", old);
    std::string notice;
    const std::unique_ptr<TRecordEngine> engine = OpenRecordStore(folder + "/records.db", &notice);
    EXPECT_THAT(notice, HasSubstr("The records of 2 SIMs in files were moved"));
    EXPECT_THAT(notice, HasSubstr("registry.txt.migrated"));
    EXPECT_FALSE(QFile::exists(dir.filePath("registry.txt")));
    EXPECT_EQ(ReadFileBytes(folder + "/registry.txt.migrated", 1 << 20), old);

    const std::optional<TSimRecord> moved = engine->Find("00291 0284280");
    ASSERT_TRUE(moved);
    EXPECT_EQ(moved->Software, "62018400");
    EXPECT_EQ(moved->Pcs, "06B");
    EXPECT_EQ(moved->Crc, 123456u);
    EXPECT_EQ(moved->Sha256, std::string(64, 'a'));
    EXPECT_EQ(moved->Saved, "2026-12-01 10:00:00");
    EXPECT_EQ(moved->Journal, (TSimJournal{"moving-out", "/home/a/b%.sim", "MOVING OUT 1", "00ff"}));
    EXPECT_EQ(engine->All().size(), 2u);

    std::string again;
    OpenRecordStore(folder + "/records.db", &again);
    EXPECT_EQ(again, "") << "said once";
}

TEST(RecordStore, ADamagedOldStoreIsNamedAndLeftAsItIs) {
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    const std::pair<std::string, std::string> cases[] = {
        {std::string(TRegistryTree::Header) + "\n[a]\ngarbage\n", "line 3"},
        {std::string(TRegistryTree::Header) +
             "\n[SOFTWARE\\Ostrel telecom\\Virtual SIM\\00291 0284280]\n\"Software\"=\"1\"\n",
         "has no \"CRC\" value"},
    };
    for (const auto& [text, problem] : cases) {
        WriteFileAtomically(folder + "/registry.txt", text);
        try {
            OpenRecordStore(folder + "/records.db");
            ADD_FAILURE() << "taken: " << text;
        } catch (const EStoreDamaged& e) {
            EXPECT_THAT(e.what(), HasSubstr(folder + "/registry.txt"));
            EXPECT_THAT(e.what(), HasSubstr(problem));
        }
        EXPECT_EQ(ReadFileBytes(folder + "/registry.txt", 1 << 20), text);
        EXPECT_FALSE(QFile::exists(dir.filePath("registry.txt.migrated")));
    }
}

// A migrated key or state that no move has stops the migration with the field named.
TEST(RecordStore, AnOldRecordNoMoveCouldHaveWrittenIsNamedByItsField) {
    const std::string head =
        std::string(TRegistryTree::Header) + "\n[SOFTWARE\\Ostrel telecom\\Virtual SIM\\";
    const std::string values = "\"Software\"=\"62018400\"\n\"PCS\"=\"06B\"\n\"CRC\"=dword:00000007\n";
    const std::pair<std::string, std::string> cases[] = {
        {head + "abc]\n" + values, "\"serial\""},
        {head + "00291 0284280]\n" + values + "\"State\"=\"moving-sideways\"\n", "\"state\""},
        {head + "00291 0284280]\n" + values + "\"File\"=\"" + std::string(5000, 'f') + "\"\n", "\"file\""},
    };
    for (const auto& [text, field] : cases) {
        QTemporaryDir dir;
        const std::string folder = dir.path().toStdString();
        WriteFileAtomically(folder + "/registry.txt", text);
        EXPECT_THAT([&] { OpenRecordStore(folder + "/records.db"); },
                    testing::ThrowsMessage<EStoreDamaged>(HasSubstr("has a value " + field)));
        EXPECT_EQ(ReadFileBytes(folder + "/registry.txt", 1 << 20), text);
    }
}

// A store this user used is never made anew in silence: gone, emptied or replaced, it is named with what
// it held, until "records init" takes what is there.
TEST(RecordStore, AStoreThatIsGoneEmptiedOrReplacedIsNamedNotMadeAnew) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("records.db").toStdString();
    const std::string address = "sqlite:" + path;
    TSimRecord record;
    record.SerialNumber = Serial;
    record.Software = "62018400";
    record.Pcs = "06B";
    record.Crc = 7;
    OpenRecordStore(address)->Put(record, "saved");
    const std::string id = OpenRecordStore(address)->Id();
    ASSERT_EQ(id.size(), 32u);

    const auto refused = [&](const std::string& why) {
        EXPECT_THAT([&] { OpenRecordStore(address); },
                    testing::ThrowsMessage<EStoreError>(
                        testing::AllOf(HasSubstr(path), HasSubstr(why), HasSubstr("store id " + id),
                                       HasSubstr("held 1 SIM in a file"), HasSubstr("records init"))));
    };
    // Another store in its place.
    QFile::rename(QString::fromStdString(path), dir.filePath("kept.db"));
    QFile::remove(QString::fromStdString(path + "-wal"));
    QFile::remove(QString::fromStdString(path + "-shm"));
    refused("are gone");
    EXPECT_FALSE(QFile::exists(QString::fromStdString(path))) << "not made anew";
    OpenRecordStore("sqlite:" + dir.filePath("other.db").toStdString());
    ASSERT_TRUE(QFile::copy(dir.filePath("other.db"), QString::fromStdString(path)));
    refused("is another one (store id ");
    // Emptied.
    ASSERT_TRUE(QFile::resize(QString::fromStdString(path), 0));
    refused("holds no id");
    // The right one back: taken as before.
    QFile::remove(QString::fromStdString(path));
    ASSERT_TRUE(QFile::copy(dir.filePath("kept.db"), QString::fromStdString(path)));
    EXPECT_EQ(OpenRecordStore(address)->All().size(), 1u);
    // Taken on request; remembered from then on.
    QFile::remove(QString::fromStdString(path));
    const std::string fresh = OpenRecordStore(address, nullptr, TStoreOpening::TakeAsItIs)->Id();
    EXPECT_NE(fresh, id);
    EXPECT_TRUE(OpenRecordStore(address)->All().empty());
}

// A -wal deleted under a running program: its next change is refused, and no step already taken is lost.
TEST(RecordStore, AJournalDeletedInUseStopsTheChangesAndKeepsWhatWasWritten) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("records.db").toStdString();
    std::unique_ptr<TRecordEngine> engine = OpenRecordStore("sqlite:" + path);
    TSimRecord record;
    record.SerialNumber = Serial;
    record.Software = "62018400";
    record.Pcs = "06B";
    record.Crc = 7;
    engine->Put(record, "saved");
    ASSERT_TRUE(QFile::remove(QString::fromStdString(path + "-wal")));
    record.SerialNumber = "00001 0000001";
    EXPECT_THAT([&] { engine->Put(record, "saved"); }, testing::ThrowsMessage<EStoreError>(HasSubstr(
                                                           path + "-wal\" of the SIM records was deleted")));
    // Another program sees the first step now, from the records file itself.
    const std::unique_ptr<TRecordEngine> other = OpenRecordStore("sqlite:" + path);
    EXPECT_TRUE(other->Find(Serial));
    EXPECT_FALSE(other->Find("00001 0000001"));
    engine.reset();
    EXPECT_EQ(OpenRecordStore("sqlite:" + path)->All().size(), 1u);
}

// A SIM file is a regular file of a few kilobytes: a device, a pipe or a huge file is refused at once.
TEST(SimFile, OnlyARegularFileOfASimsSizeIsRead) {
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    ASSERT_EQ(symlink("/dev/zero", (folder + "/zero.sim").c_str()), 0);
    ASSERT_EQ(mkfifo((folder + "/fifo.sim").c_str(), 0600), 0);
    QFile huge(dir.filePath("huge.sim"));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly) && huge.resize(100 << 20));
    huge.close();
    for (const char* name : {"zero.sim", "fifo.sim", "huge.sim"})
        EXPECT_THAT([&] { ReadSimFile(folder + "/" + name); },
                    testing::ThrowsMessage<EFileError>(HasSubstr(name)))
            << name;
    // A folder whose name is not UTF-8 is a folder like any other.
    const std::string odd = folder + "/caf\xE9";
    ASSERT_EQ(mkdir(odd.c_str(), 0700), 0);
    WriteFileAtomically(odd + "/a.sim", std::string(0x800, '\x01'));
    EXPECT_EQ(ReadSimFile(odd + "/a.sim").Size(), 0x800);
}

} // namespace
