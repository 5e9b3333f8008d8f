#pragma once

#include "link/HandsetConnection.h"
#include "platform/UserInteraction.h"
#include "profile/ProfileSettings.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

// The twenty settings' values as the profile operations give and take them, indexed by setting; a
// setting without a value is left as the handset has it.
using TProfileValues = std::array<std::optional<int>, ProfileSettingCount>;

// Reading and writing the connected handset's profile, with the person told how it went. The window
// takes the values from its lists and shows them there, the command line from and in a file.
class TProfileTransfer {
public:
    TProfileTransfer(THandsetConnection& link, TUserInteraction& ui);

    // "Read from Handset": every setting's value; nothing when no profile could be read.
    std::optional<TProfileValues> ReadFromHandset();
    // "Write to Handset": asks first, then sets each setting of `wanted` that has a value and that
    // the connected handset has; every other bit of the profile stays. Gives the settings written
    // (bits as TProfileSettings::Changed); nothing when it failed or the person declined.
    std::optional<uint32_t> WriteToHandset(const TProfileValues& wanted);

    // Where the settings the handset had before the last write are kept; empty when none were kept.
    const std::string& BackupPath() const { return Backup; }
    // The kind of the copies kept before a write (see Backups.h), and of those kept before a copy is
    // written back, which a later restore does not take.
    static constexpr const char* BackupKind = "profile";
    static constexpr const char* BackupBeforeRestoreKind = "profile-before-restore";
    void SetBackupKind(const char* kind) { Kind = kind; }

private:
    bool KeepProfile(TProfileSettings& settings, uint32_t handsetHas);
    void ReportWriteFailure(const TProfileSettings& wanted);

    THandsetConnection& Link;
    TUserInteraction& Ui;
    const char* Kind = BackupKind;
    std::string Backup;
};
