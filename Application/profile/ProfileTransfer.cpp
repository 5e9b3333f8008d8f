#include "profile/ProfileTransfer.h"

#include "link/EngineSettings.h"
#include "link/StopRequest.h"
#include "platform/Backups.h"
#include "platform/ChangeLog.h"
#include "platform/PhoneBookResourceStrings.h"
#include "platform/TextFile.h"
#include "platform/TextFormat.h"
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

// The write stopped part-way: one read tells which of the settings the plan changes have their new
// value.
void TProfileTransfer::ReportWriteFailure(const TProfileSettings& held, const TProfileValues& wanted,
                                          uint32_t handsetHas) {
    std::string text = Texts::CouldNotWriteProfile;
    TProfileSettings now(Link.Engine());
    if (now.ReadFromHandset() == TProfileSettings::Done) {
        int toWrite = 0;
        int arrived = 0;
        for (const TProfileField& field : TProfileSettings::Fields()) {
            const std::optional<int>& value = wanted[size_t(field.Setting)];
            if (!value || (handsetHas & field.Bit()) == 0)
                continue;
            const int stored = StoredProfileValue(field.Setting, *value);
            if (held.Get(field.Setting) == stored)
                continue;
            ++toWrite;
            if (now.Get(field.Setting) == stored)
                ++arrived;
        }
        text += "\r\r" + FormatText(Texts::ProfileSettingsArrived, arrived, toWrite);
    } else {
        text += "\r\r" + std::string(Texts::ProfileNowUnknown);
    }
    text += "\r\r" + FormatText(Texts::ProfileKeptIn, Backup.c_str());
    Ui.Message(TMessageKind::Error, text, TButtons::Ok);
    Ui.ShowStatus("");
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
        TEngineSettings shortAnswers(Link.Engine());
        shortAnswers.ShortAnswers();
        TProfileSettings settings(Link.Engine());
        if (settings.ReadFromHandset() != TProfileSettings::Done) {
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
    if (Ui.Message(TMessageKind::Confirmation, Texts::ReplaceProfileQuestion, TButtons::OkCancel) !=
        TAnswer::Ok)
        return std::nullopt;
    Backup.clear();
    Changing = nullptr;
    std::optional<uint32_t> written;
    const bool raised = !RunBusy(Ui, [this, &wanted, &written] { written = PlanAndWrite(wanted); });
    NoteHandsetChange(Ui, Link.Identity(), Changing, Plan ? &*Plan : nullptr, Backup,
                      ChangeOutcome(written.has_value(), StopRequested(), raised),
                      written ? "" : Texts::CouldNotWriteProfile);
    return written;
}

// Reads the profile the handset holds (the copy kept as the backup), works out the plan and shows it;
// the write then sends the bytes the plan changes, and nothing when it changes none.
std::optional<uint32_t> TProfileTransfer::PlanAndWrite(const TProfileValues& wanted) {
    if (!Link.ConnectOrTell(Ui, Texts::CouldNotWriteProfile))
        return std::nullopt;
    const std::optional<uint8_t> level = Link.HandsetLevelNow();
    if (!level) {
        Ui.Message(TMessageKind::Error, Texts::HandsetLevelUnknown, TButtons::Ok);
        return std::nullopt;
    }
    Ui.ShowStatus(Texts::ReadingFromHandset);
    // The profile is read and written with short answers.
    TEngineSettings shortAnswers(Link.Engine());
    shortAnswers.ShortAnswers();
    TProfileSettings held(Link.Engine());
    if (held.ReadFromHandset() != TProfileSettings::Done) {
        Ui.Message(TMessageKind::Error, Texts::CouldNotWriteProfile, TButtons::Ok);
        Ui.ShowStatus("");
        return std::nullopt;
    }
    const uint32_t handsetHas = SettingsOfLevel(*level);
    Plan = PlanProfileWrite(held.Image, wanted, handsetHas);
    Plan->Baud = Link.Baud();
    if (!Ui.ConfirmPlan(*Plan)) {
        Ui.ShowStatus(Texts::PlanNotCarriedOut);
        return std::nullopt;
    }
    uint32_t wantedHas = 0;
    for (const TProfileField& field : TProfileSettings::Fields())
        if (wanted[size_t(field.Setting)] && (handsetHas & field.Bit()) != 0)
            wantedHas |= field.Bit();
    if (!Plan->ChangesHandset()) {
        Ui.ShowStatus(Plan->Count(TPlanStep::NotWritten) == 0 ? Texts::ProfileAlreadyHeld
                                                              : Texts::ProfileHeldOrLacking);
        return wantedHas;
    }
    if (!KeepProfile(held, handsetHas))
        return std::nullopt;
    Changing = std::string_view(Kind) == BackupBeforeRestoreKind ? "profile restore" : "profile write";
    Ui.ShowStatus(Texts::WritingToHandset);
    // The bytes the plan was worked out from: the handset's profile as just read, not read again.
    const std::vector<TProfileByteChange> bytes = ProfileBytesToWrite(held.Image, wanted, handsetHas);
    Ui.ProgressStart(1, int(bytes.size()), 1);
    Ui.ProgressWords("Writing", "profile byte");
    for (const TProfileByteChange& byte : bytes) {
        Ui.ProgressStep();
        const std::array<uint8_t, 1> data{byte.Value};
        if (!Link.Engine().WriteMemory(uint8_t(byte.Address & 0xFF), uint8_t(byte.Address >> 8), 1, data)) {
            Ui.ProgressEnd();
            ReportWriteFailure(held, wanted, handsetHas);
            return std::nullopt;
        }
    }
    Ui.ProgressEnd();
    Ui.ShowStatus(Texts::ProfileWritten);
    return wantedHas;
}
