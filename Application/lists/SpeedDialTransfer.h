#pragma once

#include "link/HandsetChange.h"
#include "link/HandsetConnection.h"
#include "lists/SpeedDial.h"
#include "platform/UserInteraction.h"
#include "platform/WritePlan.h"

#include <optional>
#include <string>

// The speed dial tab's three handset operations, reaching the person only through the user interaction.
// Before a write or a delete changes the handset's list, the list is read and kept in the backups folder.
// A write shows its plan (what each key holds and will hold) from that one read before it sends anything,
// and sends nothing when no key would change.
class TSpeedDialTransfer {
public:
    TSpeedDialTransfer(THandsetConnection& link, TUserInteraction& ui, TPP5SpeedDial& list);

    // True when the handset's list is in `list`.
    bool LoadFromHandset();
    // Asks first; true when the whole block was written, or the handset held it already.
    bool SaveToHandset();
    // Asks first; true when every key's slot was emptied.
    bool DeleteInHandset();

    // The copy kept before the last write or delete; empty when none was kept.
    const std::string& BackupPath() const { return Backup; }
    static constexpr const char* BackupKind = "speeddial";
    // What the last write or delete did, as the read after it found the handset.
    const THandsetOutcome& LastOutcome() const { return Outcome; }
    // The plan of the last write, once the handset's list was read for it.
    const std::optional<TWritePlan>& LastPlan() const { return Plan; }
    // After a write that failed part-way: how many of the keys it changes the handset is known to hold
    // as the list has them (by one read, or else by the pieces read back as written).
    std::optional<int> KeysWritten() const { return Written; }

private:
    // Connects and checks the handset's level; false, with the person told, otherwise.
    bool Connect(const char* consequence);
    // A stop ends a stoppable read at once, as one that failed.
    bool ReadBlock(TPP5SpeedDial::TBlock& block, bool stoppable);
    // The bytes of the block written and read back, from its start.
    int WriteBlock(const TPP5SpeedDial::TBlock& block);
    bool EraseKey(int k);
    // Reads the handset's list; false, with the person told, when it cannot be read.
    bool ReadHandsetList(TPP5SpeedDial& held);
    bool KeepBackupOf(const TPP5SpeedDial& held);
    THandsetOutcome PlanAndWrite(THandsetChange& change);
    THandsetOutcome ReadBack(const TPP5SpeedDial& held, const TPP5SpeedDial& wanted, int bytes,
                             TPP5SpeedDial& now);
    std::string KeptInText() const;

    THandsetConnection& Link;
    TUserInteraction& Ui;
    TPP5SpeedDial& List;
    std::string Backup;
    std::optional<TWritePlan> Plan;
    // How many keys the handset held before, and its block as the last read found it.
    int HeldKeys = 0;
    TPP5SpeedDial::TBlock HeldBlock{};
    THandsetOutcome Outcome;
    std::optional<int> Written;
};
