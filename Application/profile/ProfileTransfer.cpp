#include "profile/ProfileTransfer.h"

#include "link/EngineSettings.h"
#include "platform/Backups.h"
#include "platform/PhoneBookResourceStrings.h"
#include "platform/TextFile.h"
#include "platform/TextFormat.h"
#include "profile/ProfileLists.h"

#include <cstdio>
#include <string>

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

// The write stopped part-way: one read tells which of the settings to write have their new value.
void TProfileTransfer::ReportWriteFailure(const TProfileSettings& wanted) {
    std::string text = Texts::CouldNotWriteProfile;
    TProfileSettings now(Link.Engine());
    if (now.ReadFromHandset() == TProfileSettings::Done) {
        int toWrite = 0;
        int arrived = 0;
        for (const TProfileField& field : TProfileSettings::Fields()) {
            if ((wanted.Changed & field.Bit()) == 0)
                continue;
            ++toWrite;
            if (now.Get(field.Setting) == wanted.Get(field.Setting))
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
    if (Ui.Message(TMessageKind::Confirmation, Texts::ReplaceProfileQuestion, TButtons::OkCancel) !=
        TAnswer::Ok)
        return std::nullopt;
    std::optional<uint32_t> written;
    Backup.clear();
    RunBusy(Ui, [this, &wanted, &written] {
        if (!Link.ConnectOrTell(Ui, Texts::CouldNotWriteProfile))
            return;
        const std::optional<uint8_t> level = Link.HandsetLevelNow();
        if (!level) {
            Ui.Message(TMessageKind::Error, Texts::HandsetLevelUnknown, TButtons::Ok);
            return;
        }
        Ui.ShowStatus(Texts::WritingToHandset);
        // The profile is read and written with short answers.
        TEngineSettings shortAnswers(Link.Engine());
        shortAnswers.ShortAnswers();
        TProfileSettings settings(Link.Engine());
        if (settings.ReadFromHandset() != TProfileSettings::Done) {
            Ui.Message(TMessageKind::Error, Texts::CouldNotWriteProfile, TButtons::Ok);
            Ui.ShowStatus("");
            return;
        }
        const uint32_t handsetHas = SettingsOfLevel(*level);
        if (!KeepProfile(settings, handsetHas))
            return;
        for (const TProfileField& field : TProfileSettings::Fields())
            if (const std::optional<int>& value = wanted[size_t(field.Setting)];
                value && (handsetHas & field.Bit()) != 0)
                settings.Set(field.Setting, *value);
        if (settings.WriteToHandset() == TProfileSettings::Done) {
            Ui.ShowStatus(Texts::ProfileWritten);
            written = settings.Changed;
            return;
        }
        ReportWriteFailure(settings);
    });
    return written;
}
