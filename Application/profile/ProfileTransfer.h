#pragma once

#include "link/HandsetChange.h"
#include "link/HandsetConnection.h"
#include "platform/UserInteraction.h"
#include "platform/WritePlan.h"
#include "profile/ProfilePlan.h"
#include "profile/ProfileSettings.h"

#include <cstdint>
#include <optional>
#include <string>

// Reading and writing the connected handset's profile, with the person told how it went. The window
// takes the values from its lists and shows them there, the command line from and in a file.
class TProfileTransfer {
public:
    TProfileTransfer(THandsetConnection& link, TUserInteraction& ui);

    // "Read from Handset": every setting's value; nothing when no profile could be read.
    std::optional<TProfileValues> ReadFromHandset();
    // "Write to Handset": reads the profile the handset holds and shows the plan as the question
    // (ConfirmPlan), then sets each setting of `wanted` that has a value and that the connected
    // handset has; every other bit of the profile stays. Gives the settings that hold their wanted
    // value afterwards, written or held already (bits as TProfileSettings::Changed); nothing when it
    // failed or the person declined the question or the plan.
    std::optional<uint32_t> WriteToHandset(const TProfileValues& wanted);
    // What the last write did, as the read after it found the handset.
    const THandsetOutcome& LastOutcome() const { return Outcome; }
    // The plan of the last write, once the handset's profile was read for it.
    const std::optional<TWritePlan>& LastPlan() const { return Plan; }

    // Where the settings the handset had before the last write are kept; empty when none were kept.
    const std::string& BackupPath() const { return Backup; }
    // The kind of the copies kept before a write (see Backups.h), and of those kept before a copy is
    // written back, which a later restore does not take.
    static constexpr const char* BackupKind = "profile";
    static constexpr const char* BackupBeforeRestoreKind = "profile-before-restore";
    void SetBackupKind(const char* kind) { Kind = kind; }

private:
    std::optional<uint32_t> PlanAndWrite(THandsetChange& change, const TProfileValues& wanted);
    bool KeepProfile(TProfileSettings& settings, uint32_t handsetHas);
    // The read after the writes: what the handset's profile holds now.
    THandsetOutcome ReadBack(const TProfileSettings& held, const TProfileValues& wanted, uint32_t handsetHas,
                             int& arrived, int& toWrite);

    THandsetConnection& Link;
    TUserInteraction& Ui;
    const char* Kind = BackupKind;
    std::string Backup;
    std::optional<TWritePlan> Plan;
    THandsetOutcome Outcome;
};
