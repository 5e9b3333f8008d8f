#pragma once

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
    // "Write to Handset": asks first, reads the profile the handset holds and shows the plan
    // (ConfirmPlan), then sets each setting of `wanted` that has a value and that the connected
    // handset has; every other bit of the profile stays. Gives the settings that hold their wanted
    // value afterwards, written or held already (bits as TProfileSettings::Changed); nothing when it
    // failed or the person declined the question or the plan.
    std::optional<uint32_t> WriteToHandset(const TProfileValues& wanted);
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
    std::optional<uint32_t> PlanAndWrite(const TProfileValues& wanted);
    bool KeepProfile(TProfileSettings& settings, uint32_t handsetHas);
    void ReportWriteFailure(const TProfileSettings& held, const TProfileValues& wanted, uint32_t handsetHas);

    THandsetConnection& Link;
    TUserInteraction& Ui;
    const char* Kind = BackupKind;
    std::string Backup;
    std::optional<TWritePlan> Plan;
    // The change log's name of what the last write began to change in the handset; null while it has
    // sent nothing that changes it.
    const char* Changing = nullptr;
};
