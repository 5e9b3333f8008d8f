#include "vsim/SimTransfer.h"

#include "link/EngineSettings.h"
#include "link/StopRequest.h"
#include "link/Timing.h"
#include "platform/ChangeLog.h"
#include "platform/TextFormat.h"
#include "platform/Texts.h"
#include "vsim/VirtualSim.h"

#include <QFileInfo>

namespace {

// Whether a transfer that ended with the code may have written to the handset: the codes given before
// the first write say no, and so does a save from a handset without serial number that found no mark to
// clear (Detail empty).
bool MayHaveChangedHandset(std::optional<TSimResult> code, const std::string& detail) {
    if (!code)
        return false;
    switch (*code) {
    case TSimResult::NoHandset:
    case TSimResult::NotRead:
    case TSimResult::NotSupported:
    case TSimResult::NotValid:
    case TSimResult::NotOpened:
    case TSimResult::OtherSoftware:
    case TSimResult::NotCompatible:
    case TSimResult::WrongSize:
    case TSimResult::HandsetHoldsSim:
    case TSimResult::MoveBusy:
    case TSimResult::Stopped:
        return false;
    case TSimResult::NoSerialNumber:
        return !detail.empty();
    default:
        return true;
    }
}

} // namespace

TSimTransfer::TSimTransfer(THandsetConnection& link, TUserInteraction& ui, TSimRecords& records,
                           std::string listPath)
    : Link(link)
    , Ui(ui)
    , Records(records)
    , ListPath(std::move(listPath)) {}

bool TSimTransfer::SimToFile() {
    return Run(true);
}

bool TSimTransfer::FileToSim() {
    return Run(false);
}

const char* SimStateName(const TSimJournal& journal) {
    if (journal.State == SimMoveState::MovingOut)
        return Texts::SimStateMovingOut;
    if (journal.State == SimMoveState::MovingIn)
        return Texts::SimStateMovingIn;
    return Texts::SimStateInFile;
}

std::string SimMoveAdvice(const std::string& serialNumber, const TSimJournal& journal) {
    if (journal.State == SimMoveState::MovingOut)
        return FormatText(Texts::SimMoveOutUnfinished, serialNumber.c_str());
    if (journal.State == SimMoveState::MovingIn)
        return FormatText(Texts::SimMoveInUnfinished, serialNumber.c_str(),
                          PrintableText(journal.Mark).c_str());
    if (!journal.Mark.empty())
        return FormatText(Texts::SimAdviceErasePending, PrintableText(journal.Mark).c_str());
    return Texts::SimAdviceInFile;
}

std::string SimRecordAdvice(const TSimRecord& record) {
    if (record.Retired.empty())
        return SimMoveAdvice(record.SerialNumber, record.Journal);
    std::string advice = "This store does not take its file: " + PrintableText(record.Retired) + ".";
    if (!record.CopyOf.empty())
        advice += " \"quorvel-cli records activate\" takes it once " + PrintableText(record.CopyOf) +
                  " has given the SIM up.";
    return advice;
}

std::string SimStepAuthorText(const TStepAuthor& author) {
    if (author.User.empty() && author.Host.empty())
        return {};
    return PrintableText(author.User) + " on " + PrintableText(author.Host) + ", " +
           PrintableText(author.Time);
}

bool ReleaseUnfinishedMove(TUserInteraction& ui, TSimRecords& records, const std::string& serialNumber) {
    try {
        // A move of the SIM running now is not one that was left unfinished.
        const std::unique_ptr<TMoveClaim> claim = records.ClaimMove(serialNumber);
        if (!claim) {
            ui.Message(TMessageKind::Error, FormatText(Texts::SimMoveBusy, serialNumber.c_str()),
                       TButtons::Ok);
            return false;
        }
        const TSimJournal journal = records.Journal(serialNumber);
        if (journal.State.empty()) {
            ui.Message(TMessageKind::Information,
                       FormatText(Texts::SimNothingToRelease, serialNumber.c_str()), TButtons::Ok);
            return false;
        }
        const char* direction =
            journal.State == SimMoveState::MovingOut ? Texts::SimReleaseOutOf : Texts::SimReleaseInto;
        if (ui.Message(TMessageKind::Confirmation,
                       FormatText(Texts::SimReleaseQuestion, serialNumber.c_str(), direction),
                       TButtons::OkCancel) != TAnswer::Ok)
            return false;
        // The mark goes with the move: a handset still showing it is cleared by its next save.
        if (!records.SetJournal(serialNumber,
                                {"", journal.File, "", "", RecordTime() + ", " + journal.State})) {
            ui.Message(TMessageKind::Error, FormatText(Texts::SimStoreProblem, records.LastError().c_str()),
                       TButtons::Ok);
            return false;
        }
        ui.Message(TMessageKind::Information,
                   FormatText(Texts::SimReleased, serialNumber.c_str(), PrintableText(journal.File).c_str()),
                   TButtons::Ok);
        return true;
    } catch (const EStoreError& e) {
        ui.Message(TMessageKind::Error, FormatText(Texts::SimStoreProblem, PrintableText(e.what()).c_str()),
                   TButtons::Ok);
    } catch (const ESimRecordError& e) {
        ui.Message(TMessageKind::Error, FormatText(Texts::SimStoreProblem, PrintableText(e.what()).c_str()),
                   TButtons::Ok);
    }
    return false;
}

std::string TSimTransfer::FailureText(std::optional<TSimResult> code, bool toFile) {
    if (code == TSimResult::NoHandset)
        return Texts::CouldNotConnect;
    if (code == TSimResult::NotSupported)
        return Texts::SimSoftwareNotSupported;
    if (!toFile && code) {
        switch (*code) {
        case TSimResult::NoSerialNumber:
            return Texts::SimFileCorrupted;
        case TSimResult::NotValid:
            return Texts::SimFileNotValid;
        case TSimResult::NotOpened:
            return Texts::SimFileNotOpened;
        case TSimResult::OtherSoftware:
            return Texts::SimFileOtherSoftware;
        case TSimResult::NotCompatible:
            return Texts::SimHandsetNotCompatible;
        default:
            break;
        }
    }
    // Only reads come before a read fails: say so rather than leave the handset's state to guesses.
    const std::string untouched =
        code == TSimResult::NotRead ? std::string("\r") + Texts::SimNothingWritten : "";
    return std::string(toFile ? Texts::CouldNotTransferSimFromHandset : Texts::CouldNotTransferSimToHandset) +
           "\r" + FormatText(Texts::SimErrorNumber, code ? int(*code) : -1) + untouched;
}

bool TSimTransfer::Run(bool toFile) {
    Code.reset();
    SerialNumberText.clear();
    WrittenFile.clear();
    Pending = false;
    bool moved = false;
    bool started = false;
    std::string simDetail;
    const bool raised = !RunBusy(Ui, [&] {
        if (!Link.ConnectOrTell(Ui, toFile ? Texts::CouldNotTransferSimFromHandset
                                           : Texts::CouldNotTransferSimToHandset))
            return;
        if (Ui.Message(TMessageKind::Confirmation,
                       toFile ? Texts::SimToFileQuestion : Texts::SimToHandsetQuestion,
                       TButtons::OkCancel) != TAnswer::Ok) {
            if (!toFile)
                Ui.ShowStatus("");
            return;
        }
        const std::string file = Ui.AskFileName(toFile, Texts::SimFilter, Texts::SimExtension);
        if (file.empty()) {
            if (!toFile)
                Ui.ShowStatus("");
            return;
        }
        if (!toFile &&
            QFileInfo(QString::fromStdString(file)).suffix().toStdString() != Texts::SimExtension) {
            Ui.ShowStatus("");
            Ui.Message(TMessageKind::Error, Texts::NotASimFile, TButtons::Ok);
            return;
        }
        const int64_t start = GetTick();
        Ui.ShowStatus(toFile ? Texts::TransferringSimToFile : Texts::TransferringSimToHandset);
        Ui.ProgressAnimated();
        TMailControl& engine = Link.Engine();
        const TEngineSettings settings(engine, Link.Profile(TEngineUse::Questions));
        TVirtualSim sim(engine, ListPath, Records);
        sim.ReadyPause = ReadyPause;
        sim.UnreadyPause = UnreadyPause;
        try {
            started = true;
            Code = toFile ? sim.TransferSimToFile(file) : sim.TransferFileToSim(file);
        } catch (...) {
            // Whatever went wrong, the window comes back as it was before the transfer.
            Ui.ProgressEnd();
            Ui.ShowStatus("");
            throw;
        }
        Ui.ProgressEnd();
        Ui.ShowStatus("");
        SerialNumberText = sim.SerialNumberText;
        WrittenFile = sim.WrittenFile;
        Pending = sim.ErasePending || sim.RecordPending;
        simDetail = sim.Detail;
        const std::string detail = sim.Detail.empty() ? "" : "\r\r" + sim.Detail;
        if (Code == TSimResult::Stopped) {
            Ui.ShowStatus(Texts::StoppedAsAsked);
            return;
        }
        if (Code != TSimResult::Done) {
            Ui.Message(TMessageKind::Error, FailureText(Code, toFile) + detail, TButtons::Ok);
            return;
        }
        moved = true;
        const int seconds = int((TicksToMs(GetTick(), start) + 999) / 1000);
        Ui.ShowStatus(
            FormatText(toFile ? Texts::SimTransferredToFile : Texts::SimTransferredToHandset, seconds));
        if (!toFile)
            Ui.Message(TMessageKind::Information,
                       FormatText(Texts::SimChangeLabel, SerialNumberText.c_str()) + detail, TButtons::Ok);
        else if (!detail.empty())
            Ui.Message(TMessageKind::Information, sim.Detail, TButtons::Ok);
    });
    // The line names the SIM that moved, which a restore's handset did not hold when it was connected.
    THandsetIdentity handset = Link.Identity();
    if (!SerialNumberText.empty())
        handset.serial = SerialNumberText;
    NoteHandsetChange(Ui, handset,
                      (raised ? started : MayHaveChangedHandset(Code, simDetail))
                          ? (toFile ? "sim save" : "sim restore")
                          : nullptr,
                      nullptr, WrittenFile,
                      ChangeOutcome(moved, StopRequested(), raised || Code == TSimResult::EraseUnknown),
                      // A SIM that moved with a step still to take says which in the row's failure.
                      raised  ? ""
                      : moved ? (Pending ? "pending: " + simDetail : "")
                              : FailureText(Code, toFile) + "\r" + simDetail);
    return moved;
}
