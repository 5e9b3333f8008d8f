// The SIM move over an in-process link: the order of the writes, what is kept, what a SIM shorter than
// the text area leaves there, and how each unfinished move is finished only where it may be.
#include "support/RecordingUser.h"
#include "vsim/SimMoveFixture.h"
#include "vsim/SimTransfer.h"

#include <gmock/gmock.h>

#include <algorithm>

namespace {

struct VirtualSim : TSimMoveFixture {
    static THandsetState WithSerial(bool present) { return Handset(present); }
};

} // namespace

TEST_F(VirtualSim, AMoveThereAndBackKeepsProtectedBytesAndEndsWithTheSerialNumberAndTheText) {
    THandsetState first = WithSerial(true);
    const std::vector<uint8_t> original = first.memory;
    ASSERT_EQ(Run(first, true, Chosen()), TSimResult::Done);
    EXPECT_EQ(SerialNumberFromImage(first.memory), std::nullopt);
    EXPECT_EQ(std::string(first.memory.begin() + 406, first.memory.begin() + 419),
              std::string("   NO SIM   \0", 13));
    for (int a = 0x100; a <= 0x13F; ++a)
        ASSERT_EQ(first.memory[size_t(a)], 0xFF) << a;
    EXPECT_EQ(first.simOpenings, 1u);
    EXPECT_EQ(first.simClosings, 1u);
    EXPECT_EQ(Places(first), 1);

    THandsetState second = WithSerial(false);
    const std::vector<uint8_t> receiver = second.memory;
    ASSERT_EQ(Run(second, false, SimFile()), TSimResult::Done);
    // The mark first; the SIM; the serial number; then its text in place of the mark.
    ASSERT_GE(Writes.size(), 3u);
    EXPECT_EQ(Writes.front(), 406);
    const auto serial = std::find(Writes.begin(), Writes.end(), 64);
    ASSERT_NE(serial, Writes.end());
    EXPECT_TRUE(std::all_of(serial + 1, Writes.end(), [](int a) { return a >= 406 && a < 442; }));
    const auto sim = std::find_if(Writes.begin(), Writes.end(), [](int a) { return a < 406 || a >= 442; });
    EXPECT_EQ(std::count_if(sim, serial, [](int a) { return a >= 406 && a < 442; }), 0);
    for (int a = 0; a < 0x1C1; ++a) {
        const bool kept = (a >= 0x15 && a <= 0x1F);
        EXPECT_EQ(second.memory[size_t(a)], kept ? receiver[size_t(a)] : original[size_t(a)]) << a;
    }
    EXPECT_FALSE(QFile::exists(QString::fromStdString(SimFile())));
    EXPECT_EQ(Places(second), 1);
}

TEST_F(VirtualSim, TheHandsetMustBeListedAndTakeTheFilesSoftwareAndPcs) {
    THandsetState giver = WithSerial(true);
    ASSERT_EQ(Run(giver, true, Chosen()), TSimResult::Done);
    // Another software: the record says where the SIM came from.
    THandsetState other = WithSerial(false);
    other.software = {0x62, 0x01, 0x87, 0x00};
    EXPECT_EQ(Run(other, false, SimFile()), TSimResult::OtherSoftware);
    // Listed, but not for this PCS.
    THandsetState unlisted = WithSerial(false);
    unlisted.pcs = "07A";
    EXPECT_EQ(Run(unlisted, false, SimFile()), TSimResult::NotSupported);
    // Nothing of it reached either handset.
    EXPECT_EQ(other.memory, WithSerial(false).memory);
    EXPECT_EQ(Places(unlisted), 1);

    // A list whose SIM would reach past what an address can count.
    QFile list(dir.filePath("list.xml"));
    ASSERT_TRUE(list.open(QIODevice::WriteOnly));
    list.write(QByteArray(SimMoveList).replace("01C0", "FFFE"));
    list.close();
    THandsetState big = WithSerial(true);
    EXPECT_EQ(Run(big, true, Chosen()), TSimResult::NotSupported);
}

TEST_F(VirtualSim, AFileOfAnotherSizeIsRefusedBeforeAnythingIsWritten) {
    THandsetState giver = WithSerial(true);
    ASSERT_EQ(Run(giver, true, Chosen()), TSimResult::Done);
    QFile list(dir.filePath("list.xml"));
    ASSERT_TRUE(list.open(QIODevice::WriteOnly));
    list.write(QByteArray(SimMoveList).replace("01C0", "01D0"));
    list.close();
    THandsetState receiver = WithSerial(false);
    EXPECT_EQ(Run(receiver, false, SimFile()), TSimResult::WrongSize);
    EXPECT_TRUE(Writes.empty());
    EXPECT_EQ(LastDetail,
              "The SIM file holds 449 bytes, but the SIM of this handset has 465: it is not from a "
              "handset of this kind.");
    EXPECT_EQ(Places(receiver), 1);
}

// A save stopped before the erase leaves its mark; the SIM then moves on, and its next move out is cut
// off too. The first handset's mark is not that move's: it is cleared, and the move stays with the
// handset that holds the SIM.
TEST_F(VirtualSim, AMarkFinishesOnlyTheMoveWhoseJournalNamesIt) {
    THandsetState probe = WithSerial(true);
    ASSERT_EQ(Run(probe, true, Chosen()), TSimResult::Done);
    const size_t erase = MailOfWrite(0x100);
    const std::vector<uint8_t> movedOut = probe.memory;
    QFile::remove(QString::fromStdString(SimFile()));
    Store.Clear();

    THandsetState first = WithSerial(true);
    Run(first, true, Chosen(), {}, erase);
    EXPECT_EQ(Places(first), 1) << "the SIM is in its file; the erase is left to do";
    THandsetState second = WithSerial(false);
    ASSERT_EQ(Run(second, false, SimFile()), TSimResult::Done);
    ASSERT_EQ(Run(second, true, Chosen()), TSimResult::Done);
    const size_t serial = MailOfWrite(64);
    THandsetState back = WithSerial(false);
    ASSERT_EQ(Run(back, false, SimFile()), TSimResult::Done);
    Run(back, true, Chosen(), {}, serial);
    ASSERT_EQ(SerialNumberFromImage(back.memory), Serial);

    EXPECT_EQ(Run(first, true, Chosen()), TSimResult::NoSerialNumber);
    EXPECT_THAT(LastDetail, testing::StartsWith("This handset showed \"MOVING OUT 00291 0284280 "));
    EXPECT_EQ(first.memory, movedOut) << "cleared as an uninterrupted move leaves it";
    TSimRecords records(Store);
    EXPECT_EQ(records.RegistryState(Serial), SimMoveState::MovingOut);
    EXPECT_EQ(Places(back), 1);
    EXPECT_EQ(Run(back, true, Chosen()), TSimResult::Done);
    EXPECT_EQ(Places(back), 1);
}

// A move in cut off after its mark: only the marked handset takes the file, until the person releases it.
TEST_F(VirtualSim, AnUnfinishedMoveInIsForTheMarkedHandsetUntilReleased) {
    THandsetState giver = WithSerial(true);
    ASSERT_EQ(Run(giver, true, Chosen()), TSimResult::Done);
    THandsetState probe = WithSerial(false);
    const QString kept = dir.filePath("kept.sim");
    QFile::copy(QString::fromStdString(SimFile()), kept);
    const std::vector<TSimRecord> store = Store.Save();
    ASSERT_EQ(Run(probe, false, SimFile()), TSimResult::Done);
    const size_t firstSimByte = MailOfWrite(0);
    QFile::copy(kept, QString::fromStdString(SimFile()));
    Store.Restore(store);

    THandsetState marked = WithSerial(false);
    Run(marked, false, SimFile(), {}, firstSimByte);
    THandsetState other = WithSerial(false);
    EXPECT_EQ(Run(other, false, SimFile()), TSimResult::MoveUnfinished);
    EXPECT_THAT(LastDetail, testing::HasSubstr("it shows \"MOVING IN 00291 0284280 "));
    EXPECT_EQ(other.memory, WithSerial(false).memory) << "nothing reached the other handset";

    TSimRecords records(Store);
    {
        // While another program moves the SIM, its move is not one left unfinished: nothing is asked.
        const std::unique_ptr<TMoveClaim> running = records.ClaimMove(Serial);
        TRecordingUser busy;
        EXPECT_FALSE(ReleaseUnfinishedMove(busy, records, Serial));
        ASSERT_EQ(busy.Messages.size(), 1u);
        EXPECT_THAT(busy.Messages[0].text, testing::HasSubstr("is being moved by another program"));
        EXPECT_EQ(Run(other, false, SimFile()), TSimResult::MoveBusy);
        EXPECT_EQ(Frames, 0u) << "refused before a word to the handset";
    }
    TRecordingUser person;
    person.Answers = {TAnswer::Cancel};
    EXPECT_FALSE(ReleaseUnfinishedMove(person, records, Serial));
    EXPECT_EQ(records.RegistryState(Serial), SimMoveState::MovingIn);
    ASSERT_TRUE(ReleaseUnfinishedMove(person, records, Serial));
    EXPECT_THAT(person.Messages.at(1).text, testing::HasSubstr("the subscription is then in two handsets"));
    EXPECT_THAT(records.Journal(Serial).Released, testing::EndsWith(", moving-in"));

    EXPECT_EQ(Run(other, false, SimFile()), TSimResult::Done);
    EXPECT_EQ(Places(other), 1);
    // The handset that was marked learns that its move is over.
    EXPECT_EQ(Run(marked, true, Chosen()), TSimResult::NoSerialNumber);
    EXPECT_THAT(LastDetail, testing::StartsWith("This handset showed \"MOVING IN "));
    EXPECT_EQ(SerialNumberFromImage(marked.memory), std::nullopt);
}

// A record from an earlier version, without the file's SHA-256, gets it when a move takes its file.
TEST_F(VirtualSim, ARecordWithoutItsSha256GetsItWhenTheFileMoves) {
    THandsetState first = WithSerial(true);
    ASSERT_EQ(Run(first, true, Chosen()), TSimResult::Done);
    TRecordEngine& engine = Store;
    TSimRecord old = *engine.Find(Serial);
    old.Sha256.clear();
    engine.Put(old, "imported");
    THandsetState other = WithSerial(false);
    other.software = {0x62, 0x01, 0x87, 0x00};
    EXPECT_EQ(Run(other, false, SimFile()), TSimResult::OtherSoftware) << "refused after the check";
    EXPECT_EQ(engine.Find(Serial)->Sha256.size(), 64u);
    THandsetState second = WithSerial(false);
    EXPECT_EQ(Run(second, false, SimFile()), TSimResult::Done) << LastDetail;
    EXPECT_EQ(Places(second), 1);
}
