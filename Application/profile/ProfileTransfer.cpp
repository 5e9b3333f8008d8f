#include "profile/ProfileTransfer.h"

#include "link/EngineSettings.h"
#include "link/StopRequest.h"
#include "platform/Backups.h"
#include "platform/ChangeLog.h"
#include "platform/TextFile.h"
#include "platform/TextFormat.h"
#include "platform/Texts.h"
#include "profile/ProfileLists.h"

#include <array>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

// A copy of every setting the handset has, kept before the write changes them. False, with the person
// told why, when no copy could be kept: then nothing may be written.
bool TProfileTransfer::KeepProfile(TProfileSettings& settings, uint32_t handsetHas) {
    const uint32_t changed = settings.Changed;
    settings.Changed = handsetHas;
    std::string reason;
    std::string path;
    try {
        path = NewBackupPath(Kind, Texts::ProfileExtension, Link.Identity());
        settings.SaveToFile(path);
    } catch (const std::exception& e) {
        reason = e.what();
    }
    settings.Changed = changed;
    if (reason.empty()) {
        Backup = path;
        return true;
    }
    if (!path.empty())
        std::remove(path.c_str());
    Ui.Message(TMessageKind::Error, FormatText(Texts::ProfileNotKept, reason.c_str()), TButtons::Ok);
    Ui.ShowStatus("");
    return false;
}

// The read after the writes: which of the settings the plan changes have their new value (arrived of
// toWrite), and the counts of what the handset holds against what it held before.
THandsetOutcome TProfileTransfer::ReadBack(const TProfileSettings& held, const TProfileValues& wanted,
                                           uint32_t handsetHas, int& arrived, int& toWrite) {
    THandsetOutcome outcome;
    outcome.Stopped = StopRequested();
    outcome.Backup = Backup;
    TProfileSettings now(Link.Engine());
    if (now.ReadFromHandset() != TProfileResult::Done) {
        outcome.Result = TChangeResult::Unknown;
        return outcome;
    }
    TProfileValues nowValues;
    for (const TProfileField& field : TProfileSettings::Fields()) {
        const std::optional<int>& value = wanted[size_t(field.Setting)];
        if (value && (handsetHas & field.Bit()) != 0)
            nowValues[size_t(field.Setting)] = now.Get(field.Setting);
        if (!value || (handsetHas & field.Bit()) == 0)
            continue;
        const int stored = StoredProfileValue(field.Setting, *value);
        if (held.Get(field.Setting) == stored)
            continue;
        ++toWrite;
        arrived += now.Get(field.Setting) == stored;
    }
    const TWritePlan lacking = PlanProfileWrite(now.Image, wanted, handsetHas);
    outcome.Held = MeasuredCounts(PlanProfileWrite(held.Image, nowValues, handsetHas), lacking);
    outcome.Lacking = lacking;
    // Settings the handset does not have were known not to be written before the write began.
    outcome.Result = lacking.Changes() == 0 ? TChangeResult::Done : TChangeResult::Partial;
    return outcome;
}

TProfileTransfer::TProfileTransfer(THandsetConnection& link, TUserInteraction& ui)
    : Link(link)
    , Ui(ui) {}

std::optional<TProfileValues> TProfileTransfer::ReadFromHandset() {
    std::optional<TProfileValues> values;
    RunBusy(Ui, [this, &values] {
        if (!Link.ConnectOrTell(Ui, Texts::CouldNotReadProfile))
            return;
        Ui.ShowStatus(Texts::ReadingFromHandset);
        // The profile is read and written with short answers.
        const TEngineSettings questions(Link.Engine(), Link.Profile(TEngineUse::Questions));
        const TStoppableStretch stoppable(Link.Engine());
        TProfileSettings settings(Link.Engine());
        const TProfileResult read = settings.ReadFromHandset();
        if (StopRequested()) {
            Ui.ShowStatus(Texts::StoppedAsAsked);
            return;
        }
        if (read != TProfileResult::Done) {
            Ui.Message(TMessageKind::Error, Texts::CouldNotReadProfile, TButtons::Ok);
            Ui.ShowStatus("");
            return;
        }
        values.emplace();
        for (const TProfileField& field : TProfileSettings::Fields())
            (*values)[size_t(field.Setting)] = settings.Get(field.Setting);
        Ui.ShowStatus(Texts::ProfileRead);
    });
    return values;
}

std::optional<uint32_t> TProfileTransfer::WriteToHandset(const TProfileValues& wanted) {
    Plan.reset();
    Backup.clear();
    THandsetChange change(Link, Ui);
    Outcome = change.NothingChanged();
    std::optional<uint32_t> written;
    const bool raised =
        !RunBusy(Ui, [this, &change, &wanted, &written] { written = PlanAndWrite(change, wanted); });
    if (raised && change.Begun())
        Outcome.Result = TChangeResult::Unknown;
    if (!written && Outcome.Message.empty())
        Outcome.Message = Texts::CouldNotWriteProfile;
    change.End(Outcome);
    return written;
}

// Reads the profile the handset holds (the copy kept as the backup), works out the plan and shows it as
// the question; the write then sends the bytes the plan changes, and nothing when it changes none. The
// read after it tells what the handset holds.
std::optional<uint32_t> TProfileTransfer::PlanAndWrite(THandsetChange& change, const TProfileValues& wanted) {
    if (!Link.ConnectOrTell(Ui, Texts::CouldNotWriteProfile))
        return std::nullopt;
    const std::optional<uint8_t> level = Link.HandsetLevelNow();
    if (!level) {
        Ui.Message(TMessageKind::Error, Texts::HandsetLevelUnknown, TButtons::Ok);
        return std::nullopt;
    }
    Ui.ShowStatus(Texts::ReadingFromHandset);
    // The profile is read and written with short answers.
    const TEngineSettings questions(Link.Engine(), Link.Profile(TEngineUse::Questions));
    TProfileSettings held(Link.Engine());
    if (held.ReadFromHandset() != TProfileResult::Done) {
        Ui.Message(TMessageKind::Error, Texts::CouldNotWriteProfile, TButtons::Ok);
        Ui.ShowStatus("");
        return std::nullopt;
    }
    const uint32_t handsetHas = SettingsOfLevel(*level);
    Plan = PlanProfileWrite(held.Image, wanted, handsetHas);
    Plan->Baud = Link.Baud();
    Plan->Pace = Link.Engine().Pace(Plan->Baud);
    Plan->Question = Texts::ReplaceProfileQuestion;
    if (!change.Confirm(*Plan)) {
        Outcome = change.NothingChanged();
        return std::nullopt;
    }
    uint32_t wantedHas = 0;
    for (const TProfileField& field : TProfileSettings::Fields())
        if (wanted[size_t(field.Setting)] && (handsetHas & field.Bit()) != 0)
            wantedHas |= field.Bit();
    if (!Plan->ChangesHandset()) {
        Outcome.Result = TChangeResult::AlreadyHeld;
        Outcome.Held =
            TChangeCounts{0, 0, 0, Plan->Count(TPlanStep::Keep), Plan->Count(TPlanStep::NotWritten)};
        Outcome.Lacking = Plan;
        Ui.ShowStatus(Plan->Count(TPlanStep::NotWritten) == 0 ? Texts::ProfileAlreadyHeld
                                                              : Texts::ProfileHeldOrLacking);
        return wantedHas;
    }
    if (!KeepProfile(held, handsetHas))
        return std::nullopt;
    if (!change.Begin(std::string_view(Kind) == BackupBeforeRestoreKind ? "profile restore" : "profile write",
                      &*Plan, Backup)) {
        Outcome = change.NothingChanged();
        return std::nullopt;
    }
    Ui.ShowStatus(Texts::WritingToHandset);
    // The bytes the plan was worked out from: the handset's profile as just read, not read again.
    const std::vector<TProfileByteChange> bytes = ProfileBytesToWrite(held.Image, wanted, handsetHas);
    Ui.ProgressStart(1, int(bytes.size()), 1);
    Ui.ProgressWords("Writing", "profile byte");
    bool sent = true;
    for (const TProfileByteChange& byte : bytes) {
        // Between bytes: a stop asked for ends the write here.
        if (StopRequested()) {
            sent = false;
            break;
        }
        Ui.ProgressStep();
        const std::array<uint8_t, 1> data{byte.Value};
        if (!Link.Engine().WriteMemory(uint8_t(byte.Address & 0xFF), uint8_t(byte.Address >> 8), 1, data)) {
            sent = false;
            break;
        }
    }
    Ui.ProgressEnd();
    int arrived = 0;
    int toWrite = 0;
    Outcome = ReadBack(held, wanted, handsetHas, arrived, toWrite);
    if (sent && Outcome.Result == TChangeResult::Done) {
        Ui.ShowStatus(Texts::ProfileWritten);
        return wantedHas;
    }
    if (Outcome.Result == TChangeResult::Done)
        Outcome.Result = TChangeResult::Partial;
    std::string text = Texts::CouldNotWriteProfile;
    text += "\r\r" + (Outcome.Held ? FormatText(Texts::ProfileSettingsArrived, arrived, toWrite)
                                   : std::string(Texts::ProfileNowUnknown));
    text += "\r\r" + FormatText(Texts::ProfileKeptIn, Backup.c_str());
    Outcome.Message = Texts::CouldNotWriteProfile;
    Ui.Message(TMessageKind::Error, text, TButtons::Ok);
    Ui.ShowStatus("");
    return std::nullopt;
}
