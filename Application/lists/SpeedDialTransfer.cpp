#include "lists/SpeedDialTransfer.h"

#include "link/EngineSettings.h"
#include "link/HandsetCapabilities.h"
#include "link/StopRequest.h"
#include "lists/SpeedDialPlan.h"
#include "platform/Backups.h"
#include "platform/ChangeLog.h"
#include "platform/TextFile.h"
#include "platform/TextFormat.h"
#include "platform/Texts.h"

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

bool TSpeedDialTransfer::ReadBlock(TPP5SpeedDial::TBlock& block, bool stoppable) {
    TMailControl& engine = Link.Engine();
    const TEngineSettings settings(engine, Link.Profile(TEngineUse::Questions));
    const TStoppableStretch stretch(engine, stoppable);
    return engine.ReadBlock(block, TPP5SpeedDial::BlockBytes, TPP5SpeedDial::Address) ==
               TPP5SpeedDial::BlockBytes &&
           !(stoppable && StopRequested());
}

int TSpeedDialTransfer::WriteBlock(const TPP5SpeedDial::TBlock& block) {
    TMailControl& engine = Link.Engine();
    const TEngineSettings settings(engine, Link.Profile(TEngineUse::Questions));
    return engine.WriteBlock(TPP5SpeedDial::Address, block, TPP5SpeedDial::BlockBytes);
}

// Empties key k: the first byte of its slot becomes FF.
bool TSpeedDialTransfer::EraseKey(int k) {
    TMailControl& engine = Link.Engine();
    const TEngineSettings settings(engine, Link.Profile(TEngineUse::Questions));
    const uint8_t erased[] = {0xFF};
    const int address = TPP5SpeedDial::Address + k * TPP5SpeedDial::SlotBytes;
    return engine.WriteMemory(uint8_t(address & 0xFF), uint8_t(address >> 8), 1, erased);
}

bool TSpeedDialTransfer::ReadHandsetList(TPP5SpeedDial& held) {
    TPP5SpeedDial::TBlock block{};
    if (!ReadBlock(block, true)) {
        if (StopRequested()) {
            Ui.ShowStatus(Texts::StoppedNothingChanged);
            return false;
        }
        Ui.ShowStatus(Texts::SpeedDialNotRead);
        Ui.Message(TMessageKind::Error, Texts::SpeedDialNotRead, TButtons::Ok);
        return false;
    }
    held.Decode(block);
    HeldBlock = block;
    return true;
}

bool TSpeedDialTransfer::KeepBackupOf(const TPP5SpeedDial& held) {
    Backup.clear();
    HeldKeys = int(std::count_if(held.Numbers.begin(), held.Numbers.end(),
                                 [](const std::string& number) { return !number.empty(); }));
    try {
        // The block as read: a restore of the backup puts back its bytes beyond the numbers too.
        Backup = KeepBackup(BackupKind, Texts::SpeedDialExtension, SpeedDialBackupText(HeldBlock),
                            Link.Identity());
    } catch (const EFileError& e) {
        Ui.Message(TMessageKind::Error, FormatText(Texts::SpeedDialNotKept, e.what()), TButtons::Ok);
        return false;
    }
    return true;
}

// The read after a write or delete: what the handset holds now, against what it held before and what was
// wanted. Where it cannot be read, the keys wholly in the pieces read back as written are the ones known
// (bytes: how many bytes of the block were, -1 for none).
THandsetOutcome TSpeedDialTransfer::ReadBack(const TPP5SpeedDial& held, const TPP5SpeedDial& wanted,
                                             int bytes, TPP5SpeedDial& now) {
    THandsetOutcome outcome;
    outcome.Stopped = StopRequested();
    outcome.Backup = Backup;
    TPP5SpeedDial::TBlock block{};
    if (!ReadBlock(block, false)) {
        outcome.Result = TChangeResult::Unknown;
        int written = 0;
        for (int k = 0; k < TPP5SpeedDial::Keys; ++k)
            written += held.Numbers[size_t(k)] != wanted.Numbers[size_t(k)] &&
                       (k + 1) * TPP5SpeedDial::SlotBytes <= bytes;
        Written = written;
        if (Plan)
            outcome.Known = TChangeCounts{written, 0, 0, 0, Plan->Changes() - written};
        return outcome;
    }
    now.Decode(block);
    const TWritePlan lacking = PlanSpeedDialWrite(now, wanted, Link.Engine().BlockSize, &block);
    outcome.Held = MeasuredCounts(PlanSpeedDialWrite(held, now, Link.Engine().BlockSize), lacking);
    outcome.Lacking = lacking;
    outcome.Result = lacking.Changes() == 0 ? TChangeResult::Done : TChangeResult::Partial;
    int written = 0;
    for (int k = 0; k < TPP5SpeedDial::Keys; ++k)
        written += held.Numbers[size_t(k)] != wanted.Numbers[size_t(k)] &&
                   now.Numbers[size_t(k)] == wanted.Numbers[size_t(k)];
    Written = written;
    return outcome;
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
        if (!ReadBlock(block, true)) {
            if (StopRequested())
                return Ui.ShowStatus(Texts::StoppedAsAsked);
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
    Backup.clear();
    Plan.reset();
    Written.reset();
    THandsetChange change(Link, Ui);
    Outcome = change.NothingChanged();
    const bool raised = !RunBusy(Ui, [this, &change] {
        Ui.ShowStatus("");
        // A number the handset cannot store would stop the write half-way: refuse before anything is sent.
        if (const auto bad = List.FirstUnsendable()) {
            const std::string text = FormatText(Texts::SpeedDialUnsendable, SpeedDialKeyName(bad->first),
                                                PrintableText(std::string(1, bad->second)).c_str());
            Ui.ShowStatus(text);
            Ui.Message(TMessageKind::Error, text, TButtons::Ok);
            Outcome = change.NothingChanged(text);
            return;
        }
        Outcome = Connect(Texts::CouldNotWriteSpeedDial)
                      ? PlanAndWrite(change)
                      : change.NothingChanged(Texts::CouldNotWriteSpeedDial);
    });
    if (raised && change.Begun())
        Outcome.Result = TChangeResult::Unknown;
    change.End(Outcome);
    return Outcome.Ok();
}

// Reads what the handset holds (the list the backup keeps), works out the plan and shows it as the
// question; the write then puts the whole block in the handset, unless no key would change, and the read
// after it tells what the handset holds.
THandsetOutcome TSpeedDialTransfer::PlanAndWrite(THandsetChange& change) {
    TPP5SpeedDial held;
    if (!ReadHandsetList(held))
        return change.NothingChanged(Texts::SpeedDialNotRead);
    Plan = PlanSpeedDialWrite(held, List, Link.Engine().BlockSize, &HeldBlock);
    Plan->Baud = Link.Baud();
    Plan->Pace = Link.Engine().Pace(Plan->Baud);
    Plan->Question = Texts::ReplaceSpeedDialQuestion;
    if (!change.Confirm(*Plan))
        return change.NothingChanged();
    if (!Plan->ChangesHandset()) {
        THandsetOutcome outcome = change.NothingChanged();
        outcome.Result = TChangeResult::AlreadyHeld;
        outcome.Held = TChangeCounts{0, 0, 0, Plan->Count(TPlanStep::Keep), 0};
        outcome.Lacking = Plan;
        Ui.ShowStatus(Texts::SpeedDialAlreadyHeld);
        return outcome;
    }
    if (!KeepBackupOf(held) || !change.Begin("speed-dial write", &*Plan, Backup))
        return change.NothingChanged(Texts::CouldNotWriteSpeedDial);
    Ui.ShowStatus(Texts::WritingToHandset);
    // Each piece is read back, and memory is read with short answers.
    const int bytes = WriteBlock(List.Encode());
    TPP5SpeedDial now;
    THandsetOutcome outcome = ReadBack(held, List, bytes, now);
    if (bytes == TPP5SpeedDial::BlockBytes && outcome.Result == TChangeResult::Done) {
        Ui.ShowStatus(Texts::FinishedWriting);
        return outcome;
    }
    if (outcome.Result == TChangeResult::Done)
        outcome.Result = TChangeResult::Partial;
    const std::string heldNow = outcome.Held
                                    ? FormatText(Texts::SpeedDialPartlyWritten, *Written, Plan->Changes())
                                    : std::string(Texts::PhoneBookNowUnknown);
    outcome.Message = Texts::CouldNotWriteSpeedDial;
    Ui.ShowStatus(Texts::CouldNotWriteSpeedDial);
    Ui.Message(TMessageKind::Error,
               std::string(Texts::CouldNotWriteSpeedDial) + "\r" + heldNow + KeptInText(), TButtons::Ok);
    return outcome;
}

bool TSpeedDialTransfer::DeleteInHandset() {
    Ui.ShowStatus("");
    Backup.clear();
    Plan.reset();
    Written.reset();
    THandsetChange change(Link, Ui);
    Outcome = change.NothingChanged();
    const bool raised = !RunBusy(Ui, [this, &change] {
        TPP5SpeedDial held;
        if (!Connect(Texts::SpeedDialNotDeleted) || !ReadHandsetList(held)) {
            Outcome = change.NothingChanged(Texts::SpeedDialNotDeleted);
            return;
        }
        const TPP5SpeedDial none;
        Plan = PlanSpeedDialWrite(held, none, Link.Engine().BlockSize);
        Plan->Baud = Link.Baud();
        Plan->Pace = Link.Engine().Pace(Plan->Baud);
        Plan->Delete = true;
        Plan->Question = Texts::DeleteSpeedDialQuestion;
        if (!change.Confirm(*Plan) || !KeepBackupOf(held) ||
            !change.Begin("speed-dial delete", &*Plan, Backup)) {
            Outcome = change.NothingChanged(Texts::SpeedDialNotDeleted);
            return;
        }
        Ui.ShowStatus(Texts::DeletingSpeedDial);
        Ui.ProgressStart(1, TPP5SpeedDial::Keys, 1);
        Ui.ProgressWords("Deleting", "key");
        bool erased = true;
        for (int k = 0; k < TPP5SpeedDial::Keys && erased; ++k) {
            // Between keys: a stop asked for ends the delete here, and the read tells what is left.
            if (StopRequested()) {
                erased = false;
                break;
            }
            Ui.ProgressStep();
            erased = EraseKey(k);
        }
        Ui.ProgressEnd();
        TPP5SpeedDial now;
        Outcome = ReadBack(held, none, -1, now);
        if (Outcome.Result == TChangeResult::Done) {
            Ui.ShowStatus(Texts::SpeedDialDeleted);
            return;
        }
        // Keys before the failed one are empty now, and that one may be: the read tells what is left, and
        // where it cannot, the message says so rather than guess.
        const long left = std::count_if(now.Numbers.begin(), now.Numbers.end(),
                                        [](const std::string& number) { return !number.empty(); });
        Outcome.Message = Texts::SpeedDialNotDeleted;
        Ui.Message(TMessageKind::Error,
                   (Outcome.Held ? FormatText(Texts::SpeedDialPartlyDeleted, int(left))
                                 : std::string(Texts::SpeedDialNowUnknown)) +
                       KeptInText(),
                   TButtons::Ok);
    });
    if (raised && change.Begun())
        Outcome.Result = TChangeResult::Unknown;
    change.End(Outcome, HeldKeys);
    return Outcome.Ok();
}
