// The records of SIMs in files over a record store in a folder of the test's own.
#include "vsim/SimRecords.h"
#include "platform/TextFile.h"
#include "vsim/SerialNumber.h"

#include <QFile>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

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
    std::string FilePath() const { return store.FilePath(); }
    // Replaces the record's file with a record written by hand.
    void WriteRecord(const std::string& values) {
        const std::string text =
            std::string(TRegistryTree::Header) + "\n[" + TSimRecords::KeyOf(Serial) + "]\n" + values;
        WriteFileAtomically(FilePath(), text);
    }

    QTemporaryDir dir;
    TRegistry store{dir.path().toStdString()};
    TSimRecords records{store};
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
}

TEST_F(Records, ValuesOfTheWrongKindAreNamedNotTaken) {
    const std::string good = "\"Software\"=\"0123ABCD\"\n\"PCS\"=\"06A\"\n";
    const std::pair<std::string, std::string> cases[] = {
        {good, "has no \"CRC\" value"},
        {good + "\"CRC\"=\"12345\"\n", "\"CRC\" value that is not a 32-bit number"},
        {good + "\"CRC\"=dword:00000000\n\"SHA256\"=dword:00000001\n", "\"SHA256\" value should be a text"},
        {good + "\"CRC\"=dword:00000000\n\"SHA256\"=\"abc\"\n", "not 64 hex digits"},
    };
    for (const auto& [values, problem] : cases) {
        WriteRecord(values);
        try {
            Matches(image);
            ADD_FAILURE() << "taken: " << values;
        } catch (const ESimRecordError& e) {
            EXPECT_THAT(e.what(), HasSubstr(Serial));
            EXPECT_THAT(e.what(), HasSubstr(FilePath()));
            EXPECT_THAT(e.what(), HasSubstr(problem));
        }
        const std::vector<TSimRecord> listed = records.Records();
        ASSERT_EQ(listed.size(), 1u);
        EXPECT_THAT(listed[0].Problem, HasSubstr(problem)) << "listing names the problem and goes on";
        EXPECT_EQ(listed[0].Software, "0123ABCD");
    }

    WriteRecord("\"Software\"=dword:0123abcd\n\"PCS\"=\"06A\"\n\"CRC\"=dword:00000000\n");
    EXPECT_THROW(records.RegistrySoftware(Serial), ESimRecordError);
    EXPECT_EQ(records.RegistryPcs(Serial), "06A");
}

TEST_F(Records, DamagedStoreFailsTheStoreAndIsKept) {
    WriteFileAtomically(FilePath(), std::string(TRegistryTree::Header) + "\n[a]\ngarbage\n");
    EXPECT_FALSE(Store(image));
    EXPECT_THAT(records.LastError(), HasSubstr(FilePath()));
    EXPECT_THAT(records.LastError(), HasSubstr("line 3"));
    EXPECT_FALSE(records.RemoveFromRegistry(Serial));
    EXPECT_THROW(Matches(image), EStoreDamaged);
    EXPECT_THROW(records.Records(), EStoreDamaged);
    EXPECT_EQ(ReadFileBytes(FilePath(), 1 << 20), std::string(TRegistryTree::Header) + "\n[a]\ngarbage\n");
}

TEST_F(Records, StoreThatMayNotBeWrittenFailsWithTheReason) {
    const QString blocker = dir.filePath("file");
    QFile file(blocker);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    TRegistry unwritable((blocker + "/state").toStdString());
    TSimRecords over(unwritable);
    EXPECT_FALSE(over.StoreInRegistry(Serial, "0123ABCD", "06A", 1, ""));
    EXPECT_THAT(over.LastError(), HasSubstr(unwritable.Folder()));
    EXPECT_FALSE(over.RegistryCrcMatches(Serial, 1, ""));
}

} // namespace
