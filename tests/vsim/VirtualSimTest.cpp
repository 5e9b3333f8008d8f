// The SIM move over an in-process link: the order of the writes, what is kept, and that a fault at any
// mail (an answer lost or corrupted; the line hung up, or the program stopped, at a sample of them) never
// leaves the SIM in two places, and that the next transfer leaves it in exactly one.
#include "vsim/VirtualSim.h"
#include "Handset.h"
#include "platform/Registry.h"
#include "support/FakeLink.h"
#include "vsim/SerialNumber.h"
#include "vsim/SimRecords.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace {

const std::string Serial = "00291 0284280";

// A small SIM (449 bytes), so that every mail of a move can be tried in turn.
constexpr const char* List = R"(<?xml version="1.0"?>
<handset>
  <info><document version="2.01" date="09-12-2026"/></info>
  <software name="62018400">
    <pcs name="06B">
      <last_entry address="01C0"/>
      <protect address="0015-001F"/>
      <delete address="0100-013F"/>
      <compatible pcs="06B"/>
    </pcs>
  </software>
</handset>
)";

// The program stops at a mail, as when it is killed: nothing after it runs.
struct TKilled {};

class TStoppingLink : public TFakeLink {
public:
    using TFakeLink::TFakeLink;
    int32_t Write(const uint8_t* bytes, int32_t count) override {
        if (StopAt && Frames.size() + 1 == *StopAt)
            throw TKilled{};
        return TFakeLink::Write(bytes, count);
    }
    std::optional<size_t> StopAt;
};

struct TFixture : testing::Test {
    TFixture() {
        QFile list(dir.filePath("list.xml"));
        EXPECT_TRUE(list.open(QIODevice::WriteOnly));
        list.write(List);
        QDir().mkpath(dir.filePath("store"));
        QDir().mkpath(dir.filePath("files"));
    }

    static THandsetState WithSerial(bool present) {
        THandsetState state = DefaultHandsetState();
        if (!present)
            std::fill_n(state.memory.begin() + 64, 5, uint8_t(0xFF));
        for (int a = 0; a < 0x1C1; ++a)
            if (a != 29 && a != 21 && (a < 24 || a > 31) && (a < 64 || a > 68))
                state.memory[size_t(a)] = uint8_t(a * 7 + (present ? 1 : 2));
        return state;
    }

    // One transfer on a handset in the given state; gives its code and leaves the handset's state.
    int Run(THandsetState& state, bool toFile, const std::string& file, THandsetFaults faults = {},
            std::optional<size_t> stopAt = {}) {
        TStoppingLink link(THandset(state, TReadiness::Ready, faults));
        link.StopAt = stopAt;
        link.AnswerDelayMs = 0;
        TMailControl engine(link);
        engine.SetFramedAnswer(false);
        engine.AnswerTimeout = 12;
        engine.GapTimeout = 6;
        engine.WriteRetries = 2;
        engine.WritePause = 1;
        engine.BlockSize = 16;
        TSimRecords records(Store);
        TVirtualSim sim(engine, dir.filePath("list.xml").toStdString(), records);
        sim.ReadyPause = sim.UnreadyPause = sim.ReadyPollPause = 0;
        int code = -1;
        try {
            code = toFile ? sim.TransferSimToFile(file) : sim.TransferFileToSim(file);
        } catch (const TKilled&) {
        }
        state = link.Handset.State();
        Frames = link.Frames.size();
        LastWriteAddress = -1;
        // FF FF 4D 02 n 3B 08 00 count lo hi ...
        for (const TBytes& frame : link.Frames)
            if (frame.size() > 10 && frame[3] == 0x02 && frame[5] == 0x3B)
                LastWriteAddress = frame[9] | (frame[10] << 8);
        LastDetail = sim.Detail;
        return code;
    }

    // Fault kind 0..3 at mail k: its answer dropped, its answer corrupted, the line hung up as it begins
    // (every 4th mail), the program stopped there (every 3rd). False for a mail the kind skips.
    static bool FaultAt(int kind, size_t k, THandsetFaults& faults, std::optional<size_t>& stop) {
        if (kind == 0)
            faults.dropAnswers = {unsigned(k)};
        else if (kind == 1)
            faults.corruptAnswers = {unsigned(k)};
        else if (kind == 2 && k % 4 == 0)
            faults.hangupAfter = unsigned(k - 1);
        else if (kind == 3 && k % 3 == 0)
            stop = k;
        else
            return false;
        return true;
    }

    std::string Chosen() const { return dir.filePath("files/backup.sim").toStdString(); }
    std::string SimFile() const {
        return dir.filePath(QString::fromStdString("files/backup_" + Serial + ".sim")).toStdString();
    }

    // Where the SIM is: a handset holding its serial number, and every file that a transfer would take.
    int Places(const THandsetState& handset) {
        int places = SerialNumberFromImage(handset.memory) == Serial ? 1 : 0;
        TSimRecords records(Store);
        for (const QFileInfo& info : QDir(dir.filePath("files")).entryInfoList({"*.sim"}, QDir::Files)) {
            QFile file(info.filePath());
            if (!file.open(QIODevice::ReadOnly))
                continue;
            const QByteArray bytes = file.readAll();
            const std::span<const uint8_t> image(reinterpret_cast<const uint8_t*>(bytes.data()),
                                                 size_t(bytes.size()));
            const std::optional<std::string> serial = SerialNumberFromImage(image);
            if (serial && records.RegistryCrcMatches(*serial, ImageChecksum(image), ImageSha256(image)) &&
                records.RegistryState(*serial).empty())
                ++places;
        }
        return places;
    }

    QTemporaryDir dir;
    TRegistry Store{dir.filePath("store").toStdString()};
    size_t Frames = 0;
    int LastWriteAddress = -1;
    std::string LastDetail;
};

using VirtualSim = TFixture;

} // namespace

TEST_F(VirtualSim, AMoveThereAndBackKeepsProtectedBytesAndWritesTheSerialNumberLast) {
    THandsetState first = WithSerial(true);
    const std::vector<uint8_t> original = first.memory;
    ASSERT_EQ(Run(first, true, Chosen()), SimResult::Done);
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
    ASSERT_EQ(Run(second, false, SimFile()), SimResult::Done);
    EXPECT_EQ(LastWriteAddress, 64) << "the serial number is written last";
    for (int a = 0; a < 0x1C1; ++a) {
        const bool kept = (a >= 0x15 && a <= 0x1F);
        EXPECT_EQ(second.memory[size_t(a)], kept ? receiver[size_t(a)] : original[size_t(a)]) << a;
    }
    EXPECT_FALSE(QFile::exists(QString::fromStdString(SimFile())));
    EXPECT_EQ(Places(second), 1);
}

TEST_F(VirtualSim, AFaultAtAnyMailOfAMoveOutNeverMakesTwoAndTheNextSaveMakesOne) {
    THandsetState probe = WithSerial(true);
    ASSERT_EQ(Run(probe, true, Chosen()), SimResult::Done);
    const size_t mails = Frames;
    ASSERT_GT(mails, 40u);
    for (size_t k = 1; k <= mails; ++k) {
        for (int kind = 0; kind < 4; ++kind) {
            QDir(dir.filePath("files")).removeRecursively();
            QDir().mkpath(dir.filePath("files"));
            QFile::remove(QString::fromStdString(Store.FilePath()));
            THandsetState state = WithSerial(true);
            THandsetFaults faults;
            std::optional<size_t> stop;
            if (!FaultAt(kind, k, faults, stop))
                continue;
            const int code = Run(state, true, Chosen(), faults, stop);
            ASSERT_LE(Places(state), 1) << "fault " << kind << " at mail " << k << ", code " << code;
            Run(state, true, Chosen());
            ASSERT_EQ(Places(state), 1)
                << "fault " << kind << " at mail " << k << ", code " << code << ", then " << LastDetail;
        }
    }
}

TEST_F(VirtualSim, AFaultAtAnyMailOfAMoveInNeverMakesTwoAndTheNextRestoreMakesOne) {
    THandsetState giver = WithSerial(true);
    ASSERT_EQ(Run(giver, true, Chosen()), SimResult::Done);
    QFile::copy(QString::fromStdString(SimFile()), dir.filePath("kept.sim"));
    QFile::copy(QString::fromStdString(Store.FilePath()), dir.filePath("kept.txt"));
    THandsetState probe = WithSerial(false);
    ASSERT_EQ(Run(probe, false, SimFile()), SimResult::Done);
    const size_t mails = Frames;
    ASSERT_GT(mails, 40u);
    for (size_t k = 1; k <= mails; ++k) {
        for (int kind = 0; kind < 4; ++kind) {
            QFile::remove(QString::fromStdString(SimFile()));
            QFile::copy(dir.filePath("kept.sim"), QString::fromStdString(SimFile()));
            QFile::remove(QString::fromStdString(Store.FilePath()));
            QFile::copy(dir.filePath("kept.txt"), QString::fromStdString(Store.FilePath()));
            THandsetState state = WithSerial(false);
            THandsetFaults faults;
            std::optional<size_t> stop;
            if (!FaultAt(kind, k, faults, stop))
                continue;
            const int code = Run(state, false, SimFile(), faults, stop);
            ASSERT_LE(Places(state), 1) << "fault " << kind << " at mail " << k << ", code " << code;
            if (QFile::exists(QString::fromStdString(SimFile())))
                Run(state, false, SimFile());
            ASSERT_EQ(Places(state), 1)
                << "fault " << kind << " at mail " << k << ", code " << code << ", then " << LastDetail;
        }
    }
}

TEST_F(VirtualSim, TheHandsetMustBeListedAndTakeTheFilesSoftwareAndPcs) {
    THandsetState giver = WithSerial(true);
    ASSERT_EQ(Run(giver, true, Chosen()), SimResult::Done);
    // Another software: the record says where the SIM came from.
    THandsetState other = WithSerial(false);
    other.software = {0x62, 0x01, 0x87, 0x00};
    EXPECT_EQ(Run(other, false, SimFile()), SimResult::OtherSoftware);
    // Listed, but not for this PCS.
    THandsetState unlisted = WithSerial(false);
    unlisted.pcs = "07A";
    EXPECT_EQ(Run(unlisted, false, SimFile()), SimResult::NotSupported);
    // Nothing of it reached either handset.
    EXPECT_EQ(other.memory, WithSerial(false).memory);
    EXPECT_EQ(Places(unlisted), 1);

    // A list whose SIM would reach past what an address can count.
    QFile list(dir.filePath("list.xml"));
    ASSERT_TRUE(list.open(QIODevice::WriteOnly));
    list.write(QByteArray(List).replace("01C0", "FFFE"));
    list.close();
    THandsetState big = WithSerial(true);
    EXPECT_EQ(Run(big, true, Chosen()), SimResult::NotSupported);
}

TEST_F(VirtualSim, AFileOfAnotherSizeIsRefusedBeforeAnythingIsWritten) {
    THandsetState giver = WithSerial(true);
    ASSERT_EQ(Run(giver, true, Chosen()), SimResult::Done);
    QFile list(dir.filePath("list.xml"));
    ASSERT_TRUE(list.open(QIODevice::WriteOnly));
    list.write(QByteArray(List).replace("01C0", "01D0"));
    list.close();
    THandsetState receiver = WithSerial(false);
    EXPECT_EQ(Run(receiver, false, SimFile()), SimResult::WrongSize);
    EXPECT_EQ(LastWriteAddress, -1);
    EXPECT_EQ(LastDetail,
              "The SIM file holds 449 bytes, but the SIM of this handset has 465: it is not from a "
              "handset of this kind.");
    EXPECT_EQ(Places(receiver), 1);
}
