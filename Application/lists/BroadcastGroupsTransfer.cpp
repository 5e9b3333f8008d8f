#include "lists/BroadcastGroupsTransfer.h"

#include "link/EngineSettings.h"
#include "link/MailCodes.h"
#include "link/NumberConverting.h"
#include "link/StopRequest.h"
#include "link/Timing.h"
#include "lists/BroadcastGroupsPlan.h"
#include "platform/Backups.h"
#include "platform/ChangeLog.h"
#include "platform/TextFile.h"
#include "platform/TextFormat.h"
#include "platform/Texts.h"

#include <algorithm>

namespace {

using TAnswerBuffer = std::array<uint8_t, TGroupMails::AnswerBytes>;

// What a group mail asks of the handset, for a person.
std::string Purpose(const TPhonebookBuffer& mail) {
    if (mail.size() >= 3 && mail[1] == 0x22)
        return "add group " + std::to_string(mail[2]);
    return mail.size() >= 2 && mail[1] == 0x21 ? "delete all groups" : "read the groups";
}

TBroadcastGroups HeldGroups(const TReadAllGroupsCfm& record) {
    TBroadcastGroups held;
    for (int i = 0; i < record.Count; ++i)
        held.SetGroup(i, record.Groups[size_t(i)]);
    return held;
}

// The plan's line of a slot (1 for the first); none for an empty slot or a group an earlier slot holds.
const TPlanLine* LineOfSlot(const TWritePlan& plan, int row) {
    for (const TPlanLine& line : plan.Lines)
        if (line.Row == row)
            return &line;
    return nullptr;
}

} // namespace

TBroadcastGroupsTransfer::TBroadcastGroupsTransfer(THandsetConnection& link, TUserInteraction& ui,
                                                   TBroadcastGroups& groups)
    : Link(link)
    , Ui(ui)
    , List(groups) {}

bool TBroadcastGroupsTransfer::Connect(const char* consequence) {
    return Link.ConnectOrTell(Ui, consequence);
}

size_t TBroadcastGroupsTransfer::Exchange(const TPhonebookBuffer& mail, TAnswerBuffer& answer) {
    TMailControl& engine = Link.Engine();
    const TEngineSettings settings(engine, Link.Profile(TEngineUse::Read));
    return engine.SendArrayMail(mail, int(mail.size()), answer);
}

void TBroadcastGroupsTransfer::NoteNoAnswer(const TPhonebookBuffer& mail) {
    Failure = FormatText(Texts::GroupMailNoAnswer, SpacedHex(mail).c_str(), Purpose(mail).c_str());
}

void TBroadcastGroupsTransfer::NoteMalformed(const TPhonebookBuffer& mail, std::span<const uint8_t> answer) {
    Failure = FormatText(Texts::GroupMailMalformed, SpacedHex(answer).c_str(), SpacedHex(mail).c_str(),
                         Purpose(mail).c_str());
}

std::optional<TReadAllGroupsCfm> TBroadcastGroupsTransfer::ReadAllGroups() {
    TPhonebookBuffer mail;
    Mails.ReadAllGroupsReq(mail);
    TAnswerBuffer answer{};
    const size_t length = Exchange(mail, answer);
    if (length == 0) {
        NoteNoAnswer(mail);
        return std::nullopt;
    }
    const auto record = Mails.ParseReadAllGroupsCfm(std::span(answer.data(), length));
    if (!record)
        NoteMalformed(mail, std::span(answer.data(), length));
    return record;
}

std::optional<bool> TBroadcastGroupsTransfer::DeleteAllGroups() {
    TPhonebookBuffer mail;
    Mails.DeleteAllGroupsReq(mail);
    TAnswerBuffer answer{};
    const size_t length = Exchange(mail, answer);
    if (length == 0) {
        NoteNoAnswer(mail);
        return std::nullopt;
    }
    const auto deleted = Mails.ParseDeleteAllGroupsCfm(std::span(answer.data(), length));
    if (!deleted)
        NoteMalformed(mail, std::span(answer.data(), length));
    return deleted;
}

std::optional<TReadAllGroupsCfm> TBroadcastGroupsTransfer::ReadAfterFailure() {
    const std::string failure = Failure;
    std::optional<TReadAllGroupsCfm> record = ReadAllGroups();
    Failure = failure;
    return record;
}

std::optional<bool> TBroadcastGroupsTransfer::DeleteFindingOut(std::optional<TReadAllGroupsCfm>& held,
                                                               bool& answerLost) {
    const std::optional<bool> deleted = DeleteAllGroups();
    answerLost = !deleted;
    if (deleted)
        return deleted;
    held = ReadAfterFailure();
    if (held && held->Status == 0 && held->Count == 0)
        return true;
    return std::nullopt;
}

std::optional<uint8_t> TBroadcastGroupsTransfer::AddGroup(uint8_t group) {
    TPhonebookBuffer mail;
    Mails.AddGroupReq(group, mail);
    TAnswerBuffer answer{};
    const size_t length = Exchange(mail, answer);
    if (length == 0) {
        NoteNoAnswer(mail);
        return std::nullopt;
    }
    const auto status = Mails.ParseAddGroupCfm(std::span(answer.data(), length));
    if (!status)
        NoteMalformed(mail, std::span(answer.data(), length));
    else if (*status != TGroupMails::Added && *status != TGroupMails::NoFreeSlot &&
             *status != TGroupMails::AlreadyPresent)
        Failure = FormatText(Texts::GroupMailUnknownStatus, SpacedHex(mail).c_str(), Purpose(mail).c_str(),
                             int(*status));
    return status;
}

void TBroadcastGroupsTransfer::WaitGroupsReady() {
    TMailControl& engine = Link.Engine();
    const TEngineSettings settings(engine, Link.Profile(TEngineUse::Questions));
    for (int poll = 0; poll < ReadyPolls && !engine.LineLost(); ++poll) {
        engine.Pause(ReadyPollPause);
        TAnswerBuffer answer{};
        // No answer counts as "not ready".
        if (engine.SendMailToArray(MailCode::Ready, answer) > 0 && answer[0] == 0x01)
            break;
    }
}

void TBroadcastGroupsTransfer::Fail(const std::string& text) {
    LastFailure = text;
    Ui.ProgressEnd();
    Ui.Message(TMessageKind::Error, text, TButtons::Ok);
}

bool TBroadcastGroupsTransfer::KeepBackupOf(const TReadAllGroupsCfm& record) {
    Backup.clear();
    HeldBefore = record.Count;
    if (record.Count == 0)
        return true;
    try {
        Backup = KeepBackup(BackupKind, Texts::GroupsExtension, BroadcastGroupsText(HeldGroups(record)),
                            Link.Identity());
    } catch (const EFileError& e) {
        Fail(FormatText(Texts::GroupsNotKept, e.what()));
        return false;
    }
    return true;
}

std::string TBroadcastGroupsTransfer::KeptInText() const {
    return Backup.empty() ? std::string() : " " + FormatText(Texts::GroupsKeptIn, Backup.c_str());
}

std::string TBroadcastGroupsTransfer::HeldText(const std::optional<TReadAllGroupsCfm>& record) const {
    std::string text;
    if (!record || record->Status != 0)
        text = Texts::GroupsNowUnknown;
    else if (record->Count == 0)
        text = Texts::GroupsNowNone;
    else
        text = FormatText(Texts::GroupsNowHeld, GroupListText(HeldGroups(*record)).c_str());
    return "\r\r" + text + KeptInText();
}

std::string TBroadcastGroupsTransfer::AfterChangeText() {
    return HeldText(ReadAfterFailure());
}

bool TBroadcastGroupsTransfer::LoadFromHandset() {
    bool ok = false;
    RunBusy(Ui, [this, &ok] {
        // The list (and the grid) stays as it is until the read has something to put in its place.
        Ui.ShowStatus("");
        if (!Connect(Texts::CouldNotReadGroups))
            return;
        Ui.ShowStatus(Texts::ReadingFromHandset);
        const TStoppableStretch stoppable(Link.Engine());
        const std::optional<TReadAllGroupsCfm> record = ReadAllGroups();
        if (StopRequested()) {
            Ui.ShowStatus(Texts::StoppedAsAsked);
            return;
        }
        if (!record || record->Status != 0) {
            Ui.ShowStatus(Texts::NoAnswerFromHandset);
            Fail(std::string(Texts::NoAnswerFromHandset) + (record ? "" : "\r\r" + Failure));
            return;
        }
        List = HeldGroups(*record);
        Ui.ShowListEntry(TListKind::BroadcastGroups, AllEntries);
        Ui.ShowStatus(Texts::FinishedReading);
        ok = true;
    });
    return ok;
}

// After an add whose answer was lost: whether the handset now belongs to the group, as one read tells.
bool TBroadcastGroupsTransfer::NowHeld(uint8_t group) {
    const std::optional<TReadAllGroupsCfm> record = ReadAfterFailure();
    if (!record || record->Status != 0)
        return false;
    return std::any_of(record->Groups.begin(), record->Groups.begin() + record->Count,
                       [&](const std::string& held) { return GroupNumber(held) == group; });
}

bool TBroadcastGroupsTransfer::IgnoreExisting(const std::string& text) {
    const std::string exists = FormatText(Texts::GroupExists, PrintableText(text).c_str());
    if (Ui.Message(TMessageKind::Error, exists, TButtons::AbortIgnore) == TAnswer::Ignore) {
        ++IgnoredGroups;
        return true;
    }
    Ui.ShowStatus(AfterChangeText().substr(2));
    return false;
}

// Goes through the list's slots in order and does what the plan says of each: a group to add is added
// after the handset says it is ready; a group the handset holds already in an add, or one an earlier slot
// holds, is asked about; a group that does not fit ends the write. True when all went in.
bool TBroadcastGroupsTransfer::WriteSlots(bool replace) {
    for (int i = 0; i < TBroadcastGroups::Slots; ++i) {
        const std::string& text = List.GetGroup(i);
        if (text.empty())
            continue;
        Ui.ProgressStep();
        // Between groups: a stop asked for ends the write, and says what the handset holds.
        if (StopRequested()) {
            Ui.ShowStatus(Texts::CouldNotWriteGroups);
            Fail(std::string(Texts::CouldNotWriteGroups) + AfterChangeText());
            return false;
        }
        const TPlanLine* line = LineOfSlot(*Plan, i + 1);
        if (!line || (!replace && line->Step == TPlanStep::Keep)) {
            if (!IgnoreExisting(text))
                return false;
            continue;
        }
        if (line->Step == TPlanStep::NotWritten) {
            Ui.ShowStatus(Texts::GroupsFull);
            Fail(Texts::GroupsFull + AfterChangeText());
            return false;
        }
        WaitGroupsReady();
        const std::optional<uint8_t> status = AddGroup(*GroupNumber(text));
        if (status == TGroupMails::Added || (!status && NowHeld(*GroupNumber(text)))) {
            ++WrittenGroups;
            continue;
        }
        if (status == TGroupMails::NoFreeSlot) {
            Ui.ShowStatus(Texts::GroupsFull);
            Fail(Texts::GroupsFull + AfterChangeText());
            return false;
        }
        if (status == TGroupMails::AlreadyPresent) {
            if (!IgnoreExisting(text))
                return false;
            continue;
        }
        Ui.ShowStatus(Texts::CouldNotWriteGroups);
        Fail(std::string(Texts::CouldNotWriteGroups) + "\r\r" + Failure + AfterChangeText());
        return false;
    }
    return true;
}

// A replace deletes the handset's groups before it adds the list's; false, with the person told, when
// they did not go.
bool TBroadcastGroupsTransfer::DeleteForReplace() {
    Ui.ShowStatus(Texts::DeletingGroups);
    std::optional<TReadAllGroupsCfm> held;
    bool answerLost = false;
    const std::optional<bool> deleted = DeleteFindingOut(held, answerLost);
    if (deleted != true) {
        Ui.ShowStatus(Texts::GroupsNotDeleted);
        Fail(std::string(Texts::GroupsNotDeleted) + "\r" + " " + Texts::CouldNotWriteGroups +
             (answerLost ? "\r\r" + Failure : "") + (answerLost ? HeldText(held) : AfterChangeText()));
        return false;
    }
    Ui.ShowStatus(Texts::GroupsDeleted);
    return true;
}

// The read after a write or delete: what the handset holds now, against what it held before and what was
// wanted.
THandsetOutcome TBroadcastGroupsTransfer::ReadBack(const TBroadcastGroups& held,
                                                   const TBroadcastGroups& wanted, bool replace) {
    THandsetOutcome outcome;
    outcome.Stopped = StopRequested();
    outcome.Backup = Backup;
    const std::optional<TReadAllGroupsCfm> record = ReadAfterFailure();
    if (!record || record->Status != 0) {
        outcome.Result = TChangeResult::Unknown;
        return outcome;
    }
    const TBroadcastGroups now = HeldGroups(*record);
    const TWritePlan lacking = PlanBroadcastGroupsWrite(now, wanted, replace);
    outcome.Held = MeasuredCounts(PlanBroadcastGroupsWrite(held, now, true), lacking);
    outcome.Lacking = lacking;
    const bool whole = lacking.Count(TPlanStep::Add) + lacking.Count(TPlanStep::Remove) +
                           lacking.Count(TPlanStep::NotWritten) ==
                       0;
    outcome.Result = whole ? TChangeResult::Done : TChangeResult::Partial;
    return outcome;
}

// Reads the handset's groups once (what a replace keeps in the backup), works out the plan and shows it
// as the question; the write then does what it says, and the read after it tells what the handset holds.
// A write that would change nothing and leaves nothing out sends nothing.
THandsetOutcome TBroadcastGroupsTransfer::PlanAndWrite(THandsetChange& change, bool replace) {
    const std::optional<TReadAllGroupsCfm> record = ReadAllGroups();
    if (!record || record->Status != 0) {
        const std::string text = replace ? Texts::GroupsNotRead : Texts::GroupsNotReadForAdd;
        Ui.ShowStatus(text);
        Fail(text + (record ? "" : "\r\r" + Failure));
        return change.NothingChanged(text);
    }
    const TBroadcastGroups held = HeldGroups(*record);
    Plan = PlanBroadcastGroupsWrite(held, List, replace);
    Plan->Baud = Link.Baud();
    Plan->Pace = Link.Engine().Pace(Plan->Baud);
    const long groups = std::count_if(List.Groups.begin(), List.Groups.end(),
                                      [](const std::string& group) { return !group.empty(); });
    Plan->Question = !replace     ? std::string(Texts::AddGroups) + "?"
                     : groups > 0 ? FormatText(Texts::ReplaceGroupsQuestion, int(groups))
                                  : std::string(Texts::ReplaceGroupsWithNothingQuestion);
    if (!change.Confirm(*Plan))
        return change.NothingChanged();
    if (!Plan->ChangesHandset() && Plan->Count(TPlanStep::NotWritten) == 0) {
        IgnoredGroups = int(groups);
        THandsetOutcome outcome = change.NothingChanged();
        outcome.Result = TChangeResult::AlreadyHeld;
        outcome.Held = TChangeCounts{0, 0, 0, Plan->Count(TPlanStep::Keep), 0};
        outcome.Lacking = Plan;
        outcome.Skipped = IgnoredGroups;
        Ui.ShowStatus(Texts::GroupsAlreadyHeld);
        return outcome;
    }
    if (replace && !KeepBackupOf(*record))
        return change.NothingChanged(LastFailure);
    // A replace deletes the handset's groups first; an add sends only the groups its plan adds.
    if ((replace || Plan->ChangesHandset()) && !change.Begin("groups write", &*Plan, Backup))
        return change.NothingChanged();
    bool written = !replace || DeleteForReplace();
    if (written) {
        Ui.ShowStatus(Texts::WritingToHandset);
        Ui.ProgressStart(1, int(groups), 1);
        Ui.ProgressWords("Writing", "group");
        written = WriteSlots(replace);
        Ui.ProgressEnd();
    }
    THandsetOutcome outcome = ReadBack(held, List, replace);
    outcome.Skipped = IgnoredGroups;
    if (written && outcome.Result == TChangeResult::Partial && IgnoredGroups > 0)
        outcome.Result = TChangeResult::Done;
    if (!written && outcome.Result == TChangeResult::Done)
        outcome.Result = TChangeResult::Partial;
    if (written && outcome.Result == TChangeResult::Unknown)
        Fail(std::string(Texts::GroupsNowUnknown) + KeptInText());
    else if (written)
        Ui.ShowStatus(Texts::FinishedWriting);
    return outcome;
}

bool TBroadcastGroupsTransfer::SaveToHandset() {
    Backup.clear();
    IgnoredGroups = 0;
    WrittenGroups = 0;
    Plan.reset();
    LastFailure.clear();
    THandsetChange change(Link, Ui);
    Outcome = change.NothingChanged();
    const bool raised = !RunBusy(Ui, [this, &change] {
        Ui.ShowStatus("");
        // A slot the handset cannot take would stop the write half-way: refuse before anything is sent.
        if (const std::optional<int> bad = List.FirstUnsendable()) {
            const std::string text =
                FormatText(Texts::GroupUnsendable, *bad + 1, QuotedText(List.GetGroup(*bad)).c_str());
            Ui.ShowStatus(text);
            Fail(text);
            Outcome = change.NothingChanged(text);
            return;
        }
        const TWriteMode mode = Ui.AskWriteMode(Texts::AddGroups, Texts::ReplaceGroups);
        if (mode == TWriteMode::Cancel)
            return;
        Outcome = Connect(Texts::CouldNotWriteGroups) ? PlanAndWrite(change, mode == TWriteMode::Replace)
                                                      : change.NothingChanged(Texts::CouldNotWriteGroups);
    });
    if (raised && change.Begun())
        Outcome.Result = TChangeResult::Unknown;
    if (Outcome.Message.empty())
        Outcome.Message = LastFailure;
    change.End(Outcome);
    return Outcome.Ok();
}

bool TBroadcastGroupsTransfer::DeleteInHandset() {
    Ui.ShowStatus("");
    Backup.clear();
    LastFailure.clear();
    Plan.reset();
    THandsetChange change(Link, Ui);
    Outcome = change.NothingChanged();
    const bool raised = !RunBusy(Ui, [this, &change] {
        if (!Connect(Texts::GroupsNotDeleted)) {
            Outcome = change.NothingChanged(Texts::GroupsNotDeleted);
            return;
        }
        const std::optional<TReadAllGroupsCfm> record = ReadAllGroups();
        if (!record || record->Status != 0) {
            Ui.ShowStatus(Texts::GroupsNotRead);
            Fail(std::string(Texts::GroupsNotRead) + (record ? "" : "\r\r" + Failure));
            Outcome = change.NothingChanged(LastFailure);
            return;
        }
        const TBroadcastGroups held = HeldGroups(*record);
        const TBroadcastGroups none;
        Plan = PlanBroadcastGroupsWrite(held, none, true);
        Plan->Baud = Link.Baud();
        Plan->Pace = Link.Engine().Pace(Plan->Baud);
        Plan->Delete = true;
        Plan->Question = Texts::DeleteGroupsQuestion;
        if (!change.Confirm(*Plan) || !KeepBackupOf(*record) ||
            !change.Begin("groups delete", &*Plan, Backup)) {
            Outcome = change.NothingChanged(LastFailure);
            return;
        }
        Ui.ShowStatus(Texts::DeletingGroups);
        std::optional<TReadAllGroupsCfm> after;
        bool answerLost = false;
        const std::optional<bool> deleted = DeleteFindingOut(after, answerLost);
        Outcome = ReadBack(held, none, true);
        if (Outcome.Result == TChangeResult::Done) {
            Ui.ShowStatus(answerLost ? Texts::GroupsDeletedAnswerLost : Texts::GroupsDeleted);
            return;
        }
        if (Outcome.Result == TChangeResult::Unknown) {
            // The handset said it deleted them, but no read after it came back.
            if (deleted == true)
                Outcome.Known = TChangeCounts{0, HeldBefore, 0, 0, 0};
            Ui.ShowStatus(Texts::GroupsNowUnknown);
            Fail(std::string(Texts::GroupsNowUnknown) + KeptInText());
            return;
        }
        Ui.ShowStatus(Texts::GroupsNotDeleted);
        if (!answerLost || deleted)
            Fail(Texts::GroupsNotDeleted + AfterChangeText());
        else
            Fail(std::string(Texts::GroupsNotDeleted) + "\r\r" + Failure + HeldText(after));
    });
    if (raised && change.Begun())
        Outcome.Result = TChangeResult::Unknown;
    Outcome.Message = LastFailure;
    change.End(Outcome, HeldBefore);
    return Outcome.Ok();
}
