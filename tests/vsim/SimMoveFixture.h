#pragma once

// SIM moves over an in-process link with short time-outs: handsets are states the test keeps, the record
// store and the SIM files live in a folder of the test's own.
#include "Handset.h"
#include "link/Timing.h"
#include "support/FakeLink.h"
#include "support/TestRecordStore.h"
#include "vsim/SerialNumber.h"
#include "vsim/SimRecords.h"
#include "vsim/VirtualSim.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>
#include <ostream>

// A result as a failing test shows it.
inline std::ostream& operator<<(std::ostream& out, TSimResult result) {
    return out << SimResultName(result);
}

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

inline const std::string Serial = "00291 0284280";

// Three entries whose SIM ends above, inside and below the text area (406..441); each handset software
// its own.
inline constexpr const char* SimMoveList = R"(<?xml version="1.0"?>
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
  <software name="62018401">
    <pcs name="06B">
      <last_entry address="01A0"/>
      <protect address="0015-001F"/>
      <delete address="0100-013F"/>
      <compatible pcs="06B"/>
    </pcs>
  </software>
  <software name="62018402">
    <pcs name="06B">
      <last_entry address="0120"/>
      <protect address="0015-001F"/>
      <delete address="00E0-00FF"/>
      <compatible pcs="06B"/>
    </pcs>
  </software>
</handset>
)";

// The program stops at a mail, as when it is killed: nothing after it runs.
struct TKilled {};

// Stops the program at a mail, and closes the line once the handset has hung up, as the port does.
class TStoppingLink : public TFakeLink {
public:
    using TFakeLink::TFakeLink;
    int32_t Write(const uint8_t* bytes, int32_t count) override {
        if (StopAt && Frames.size() + 1 == *StopAt)
            throw TKilled{};
        const int32_t written = TFakeLink::Write(bytes, count);
        if (Handset.HungUp() && Opened)
            Lose();
        return written;
    }
    std::optional<size_t> StopAt;
};

struct TSimMoveFixture : testing::Test {
    TSimMoveFixture() {
        QFile list(dir.filePath("list.xml"));
        EXPECT_TRUE(list.open(QIODevice::WriteOnly));
        list.write(SimMoveList);
        QDir().mkpath(dir.filePath("store"));
        QDir().mkpath(dir.filePath("files"));
    }
    void SetUp() override {
        if (!Store.Available())
            GTEST_SKIP() << Store.Why();
    }

    // A handset of the given software (its last SIM address by SimMoveList), with the SIM 00291 0284280
    // or none; its other bytes differ between the two, so that whose byte is whose can be told.
    static THandsetState Handset(bool withSim, uint8_t software = 0x00) {
        THandsetState state = DefaultHandsetState();
        state.software[3] = software;
        std::fill_n(state.memory.begin() + 64, 5, uint8_t(0xFF));
        for (int a = 0; a < 0x200; ++a)
            if (a != 29 && a != 21 && (a < 24 || a > 31) && (a < 64 || a > 68))
                state.memory[size_t(a)] = uint8_t(a * 7 + (withSim ? 1 : 2));
        const std::string text = withSim ? "Desk 12" : "   NO SIM   ";
        std::fill_n(state.memory.begin() + 406, 36, uint8_t(0));
        std::copy(text.begin(), text.end(), state.memory.begin() + 406);
        if (withSim) {
            const uint8_t serial[] = {0x00, 0x12, 0x34, 0x56, 0x78};
            std::copy(std::begin(serial), std::end(serial), state.memory.begin() + 64);
        }
        return state;
    }

    // One transfer on a handset in the given state; gives its result (none when the program was killed)
    // and leaves the handset's state.
    std::optional<TSimResult> Run(THandsetState& state, bool toFile, const std::string& file,
                                  THandsetFaults faults = {}, std::optional<size_t> stopAt = {}) {
        TStoppingLink link(THandset(state, TReadiness::Ready, faults));
        link.StopAt = stopAt;
        link.AnswerDelayMs = 0;
        TMailControl engine(link);
        engine.SetFramedAnswer(false);
        engine.AnswerTimeout = std::chrono::milliseconds(12);
        engine.GapTimeout = std::chrono::milliseconds(6);
        engine.WriteRetries = 2;
        engine.WritePause = std::chrono::milliseconds(1);
        engine.BlockSize = BlockSize;
        TSimRecords records(Engine ? *Engine : static_cast<TRecordEngine&>(Store));
        TVirtualSim sim(engine, dir.filePath("list.xml").toStdString(), records);
        sim.ReadyPause = sim.UnreadyPause = sim.ReadyPollPause = std::chrono::milliseconds(0);
        std::optional<TSimResult> code;
        try {
            code = toFile ? sim.TransferSimToFile(file) : sim.TransferFileToSim(file);
        } catch (const TKilled&) {
        }
        state = link.Handset.State();
        Frames = link.Frames.size();
        Writes.clear();
        WriteMails.clear();
        // FF FF 4D 02 n 3B 08 00 count lo hi ...
        for (size_t mail = 1; mail <= link.Frames.size(); ++mail) {
            const TBytes& frame = link.Frames[mail - 1];
            if (frame.size() > 10 && frame[3] == 0x02 && frame[5] == 0x3B) {
                Writes.push_back(frame[9] | (frame[10] << 8));
                WriteMails.push_back(mail);
            }
        }
        LastDetail = sim.Detail;
        LastPending = sim.ErasePending || sim.RecordPending;
        return code;
    }

    std::string Chosen() const { return dir.filePath("files/backup.sim").toStdString(); }
    std::string SimFile() const {
        return dir.filePath(QString::fromStdString("files/backup_" + Serial + ".sim")).toStdString();
    }

    // The SIM's files that a restore would take (record matching and in no move), and those whose
    // record matches whatever the move's state.
    struct TFiles {
        int accepted = 0;
        int recorded = 0;
    };
    TFiles Files(const std::string& serial = Serial) const {
        TFiles files;
        TSimRecords records(Store);
        for (const QFileInfo& info : QDir(dir.filePath("files")).entryInfoList({"*.sim"}, QDir::Files)) {
            QFile file(info.filePath());
            if (!file.open(QIODevice::ReadOnly))
                continue;
            const QByteArray bytes = file.readAll();
            const std::span<const uint8_t> image(reinterpret_cast<const uint8_t*>(bytes.data()),
                                                 size_t(bytes.size()));
            if (SerialNumberFromImage(image) != serial ||
                !records.RegistryCrcMatches(serial, ImageChecksum(image), ImageSha256(image)))
                continue;
            ++files.recorded;
            if (records.RegistryState(serial).empty())
                ++files.accepted;
        }
        return files;
    }

    // Where the SIM is: a handset holding its serial number, and every file that a restore would take.
    int Places(const THandsetState& handset) const {
        return (SerialNumberFromImage(handset.memory) == Serial ? 1 : 0) + Files().accepted;
    }

    // The handset is in the process and answers at once: the engine's pauses for a handset's time to store
    // and to get ready pass at once as well.
    TTestClock Clock;
    QTemporaryDir dir;
    TTestRecordStore Store{dir.filePath("store").toStdString()};
    // The engine's piece size: small, so that a move has many mails to be cut at.
    uint8_t BlockSize = 16;
    size_t Frames = 0;
    // The address of every memory write of the last run, in order.
    std::vector<int> Writes;
    // The number of the mail of each of them.
    std::vector<size_t> WriteMails;

    // The mail of the first write at the address in the last run.
    size_t MailOfWrite(int address) const {
        const auto at = std::find(Writes.begin(), Writes.end(), address);
        return at == Writes.end() ? 0 : WriteMails[size_t(at - Writes.begin())];
    }
    std::string LastDetail;
    // The last run moved the SIM but left a step to take (the handset's erase, or a step of the records).
    bool LastPending = false;
    // The records a run goes through instead of Store, when set.
    TRecordEngine* Engine = nullptr;
};
