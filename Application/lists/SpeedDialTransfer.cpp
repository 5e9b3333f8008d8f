#include "lists/SpeedDialTransfer.h"

#include "link/EngineSettings.h"
#include "link/HandsetCapabilities.h"
#include "link/StopRequest.h"
#include "lists/SpeedDialPlan.h"
#include "platform/Backups.h"
#include "platform/ChangeLog.h"
#include "platform/PhoneBookResourceStrings.h"
#include "platform/TextFile.h"
#include "platform/TextFormat.h"

#include <algorithm>

TSpeedDialTransfer::TSpeedDialTransfer(THandsetConnection& link, TUserInteraction& ui, TPP5SpeedDial& list)
    : Link(link)
    , Ui(ui)
    , List(list) {}

bool TSpeedDialTransfer::Connect(const char* consequence) {
    if (!Link.ConnectOrTell(Ui, consequence))
        return false;
    const std::optional<uint8_t> level = Link.HandsetLevelNow();
    if (!level || !HandsetCapabilities::HasAdvancedSettings(*level)) {
        Ui.ShowStatus(Texts::SpeedDialNotSupported);
        Ui.Message(TMessageKind::Error, Texts::SpeedDialNotSupported, TButtons::Ok);
        return false;
    }
    return true;
}

bool TSpeedDialTransfer::ReadBlock(TPP5SpeedDial::TBlock& block) {
    TMailControl& engine = Link.Engine();
    TEngineSettings settings(engine);
    settings.ShortAnswers();
    return engine.ReadBlock(block, TPP5SpeedDial::BlockBytes, TPP5SpeedDial::Address) ==
           TPP5SpeedDial::BlockBytes;
}

int TSpeedDialTransfer::WriteBlock(const TPP5SpeedDial::TBlock& block) {
    TMailControl& engine = Link.Engine();
    TEngineSettings settings(engine);
    settings.ShortAnswers();
    return engine.WriteBlock(TPP5SpeedDial::Address, block, TPP5SpeedDial::BlockBytes);
}

// Empties key k: the first byte of its slot becomes FF.
bool TSpeedDialTransfer::EraseKey(int k) {
    TMailControl& engine = Link.Engine();
    TEngineSettings settings(engine);
    settings.ShortAnswers();
    const uint8_t erased[] = {0xFF};
    const int address = TPP5SpeedDial::Address + k * TPP5SpeedDial::SlotBytes;
    return engine.WriteMemory(uint8_t(address & 0xFF), uint8_t(address >> 8), 1, erased);
}

bool TSpeedDialTransfer::ReadHandsetList(TPP5SpeedDial& held) {
    TPP5SpeedDial::TBlock block{};
    if (!ReadBlock(block)) {
        Ui.ShowStatus(Texts::SpeedDialNotRead);
        Ui.Message(TMessageKind::Error, Texts::SpeedDialNotRead, TButtons::Ok);
        return false;
    }
    held.Decode(block);
    return true;
}

bool TSpeedDialTransfer::KeepBackupOf(const TPP5SpeedDial& held) {
    Backup.clear();
    HeldKeys = int(std::count_if(held.Numbers.begin(), held.Numbers.end(),
                                 [](const std::string& number) { return !number.empty(); }));
    try {
        Backup = KeepBackup(BackupKind, Texts::SpeedDialExtension, SpeedDialListText(held), Link.Identity());
    } catch (const EFileError& e) {
        Ui.Message(TMessageKind::Error, FormatText(Texts::SpeedDialNotKept, e.what()), TButtons::Ok);
        return false;
    }
    return true;
}

bool TSpeedDialTransfer::KeepHandsetList() {
    Backup.clear();
    TPP5SpeedDial held;
    return ReadHandsetList(held) && KeepBackupOf(held);
}

// The pieces before the failed one went in (bytes of the block were read back as written), and the
// failed one may have: one read tells which keys hold what the list has. Where it cannot, the keys wholly
// in the pieces read back are the ones known, and the text says no more.
std::string TSpeedDialTransfer::WrittenSoFarText(const TPP5SpeedDial& held, int bytes) {
    TPP5SpeedDial::TBlock block{};
    const bool read = ReadBlock(block);
    TPP5SpeedDial now;
    now.Decode(block);
    int written = 0;
    for (int k = 0; k < TPP5SpeedDial::Keys; ++k)
        if (held.Numbers[size_t(k)] != List.Numbers[size_t(k)])
            written += read ? now.Numbers[size_t(k)] == List.Numbers[size_t(k)]
                            : (k + 1) * TPP5SpeedDial::SlotBytes <= bytes;
    Written = written;
    if (!read)
        return Texts::PhoneBookNowUnknown;
    return FormatText(Texts::SpeedDialPartlyWritten, written, Plan ? Plan->Changes() : written);
}

std::string TSpeedDialTransfer::KeptInText() const {
    return Backup.empty() ? std::string() : "\r\r" + FormatText(Texts::SpeedDialKeptIn, Backup.c_str());
}

bool TSpeedDialTransfer::LoadFromHandset() {
    bool ok = false;
    RunBusy(Ui, [this, &ok] {
        // The list (and the grid) stays as it is until the read has something to put in its place.
        Ui.ShowStatus("");
        if (!Connect(Texts::CouldNotReadSpeedDial))
            return;
        Ui.ShowStatus(Texts::ReadingFromHandset);
        TPP5SpeedDial::TBlock block{};
        if (!ReadBlock(block)) {
            Ui.ShowStatus(Texts::CouldNotReadSpeedDial);
            Ui.Message(TMessageKind::Warning, Texts::CouldNotReadSpeedDial, TButtons::Ok);
            return;
        }
        List.Decode(block);
        Ui.ShowListEntry(TListKind::SpeedDial, AllEntries);
        Ui.ShowStatus(Texts::FinishedReading);
        ok = true;
    });
    return ok;
}

bool TSpeedDialTransfer::SaveToHandset() {
    bool ok = false;
    Backup.clear();
    Plan.reset();
    Changing = nullptr;
    Written.reset();
    const bool raised = !RunBusy(Ui, [this, &ok] {
        Ui.ShowStatus("");
        // A number the handset cannot store would stop the write half-way: refuse before anything is sent.
        if (const auto bad = List.FirstUnsendable()) {
            const std::string text = FormatText(Texts::SpeedDialUnsendable, SpeedDialKeyName(bad->first),
                                                PrintableText(std::string(1, bad->second)).c_str());
            Ui.ShowStatus(text);
            Ui.Message(TMessageKind::Error, text, TButtons::Ok);
            return;
        }
        if (Ui.Message(TMessageKind::Confirmation, Texts::ReplaceSpeedDialQuestion, TButtons::OkCancel) !=
            TAnswer::Ok)
            return;
        ok = Connect(Texts::CouldNotWriteSpeedDial) && PlanAndWrite();
    });
    NoteHandsetChange(Ui, Link.Identity(), Changing, Plan ? &*Plan : nullptr, Backup,
                      ChangeOutcome(ok, StopRequested(), raised), ok ? "" : Texts::CouldNotWriteSpeedDial);
    return ok;
}

// Reads what the handset holds (the list the backup keeps), works out the plan and shows it; the write
// then puts the whole block in the handset, unless no key would change.
bool TSpeedDialTransfer::PlanAndWrite() {
    TPP5SpeedDial held;
    if (!ReadHandsetList(held))
        return false;
    Plan = PlanSpeedDialWrite(held, List, Link.Engine().BlockSize);
    Plan->Baud = Link.Baud();
    if (!Ui.ConfirmPlan(*Plan)) {
        Ui.ShowStatus(Texts::PlanNotCarriedOut);
        return false;
    }
    if (!Plan->ChangesHandset()) {
        Ui.ShowStatus(Texts::SpeedDialAlreadyHeld);
        return true;
    }
    if (!KeepBackupOf(held))
        return false;
    Changing = "speed-dial write";
    Ui.ShowStatus(Texts::WritingToHandset);
    // Each piece is read back, and memory is read with short answers.
    if (const int bytes = WriteBlock(List.Encode()); bytes != TPP5SpeedDial::BlockBytes) {
        Ui.ShowStatus(Texts::CouldNotWriteSpeedDial);
        Ui.Message(TMessageKind::Error,
                   std::string(Texts::CouldNotWriteSpeedDial) + "\r" + WrittenSoFarText(held, bytes) +
                       KeptInText(),
                   TButtons::Ok);
        return false;
    }
    Ui.ShowStatus(Texts::FinishedWriting);
    return true;
}

bool TSpeedDialTransfer::DeleteInHandset() {
    Ui.ShowStatus("");
    Backup.clear();
    Changing = nullptr;
    if (Ui.Message(TMessageKind::Warning, Texts::DeleteSpeedDialQuestion, TButtons::OkCancel) != TAnswer::Ok)
        return false;
    bool ok = false;
    const bool raised = !RunBusy(Ui, [this, &ok] {
        if (!Connect(Texts::SpeedDialNotDeleted) || !KeepHandsetList())
            return;
        Changing = "speed-dial delete";
        Ui.ShowStatus(Texts::DeletingSpeedDial);
        Ui.ProgressStart(1, TPP5SpeedDial::Keys, 1);
        Ui.ProgressWords("Deleting", "key");
        for (int k = 0; k < TPP5SpeedDial::Keys; ++k) {
            Ui.ProgressStep();
            if (!EraseKey(k)) {
                Ui.ProgressEnd();
                // Keys before this one are empty now, and this one may be: one read tells what is left,
                // and where it cannot, the message says so rather than guess.
                TPP5SpeedDial::TBlock block{};
                std::string text = Texts::SpeedDialNowUnknown;
                if (ReadBlock(block)) {
                    TPP5SpeedDial held;
                    held.Decode(block);
                    const long left =
                        std::count_if(held.Numbers.begin(), held.Numbers.end(),
                                      [](const std::string& number) { return !number.empty(); });
                    if (left == 0) {
                        Ui.ShowStatus(Texts::SpeedDialDeleted);
                        ok = true;
                        return;
                    }
                    text = FormatText(Texts::SpeedDialPartlyDeleted, int(left));
                }
                Ui.Message(TMessageKind::Error, text + KeptInText(), TButtons::Ok);
                return;
            }
            Ui.ShowStatus(Texts::SpeedDialDeleted);
        }
        Ui.ProgressEnd();
        ok = true;
    });
    NoteHandsetChange(Ui, Link.Identity(), Changing, nullptr, Backup,
                      ChangeOutcome(ok, StopRequested(), raised), ok ? "" : Texts::SpeedDialNotDeleted,
                      HeldKeys);
    return ok;
}
