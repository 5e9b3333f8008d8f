#include "lists/PhonebookTransfer.h"

#include "link/EngineSettings.h"
#include "link/MailCodes.h"
#include "link/NumberConverting.h"
#include "link/StopRequest.h"
#include "link/Timing.h"
#include "lists/PhonebookFile.h"
#include "lists/PhonebookPlan.h"
#include "platform/Backups.h"
#include "platform/ChangeLog.h"
#include "platform/TextFile.h"
#include "platform/TextFormat.h"
#include "platform/Texts.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <string_view>

namespace {

bool Starts(const std::string& text, const char* prefix) {
    return text.starts_with(prefix);
}

bool BlankName(const std::string& name) {
    for (const char c : name)
        if (uint8_t(c) > ' ')
            return false;
    return true;
}

} // namespace

TPhonebookTransfer::TPhonebookTransfer(THandsetConnection& link, TUserInteraction& ui, TPP5Phonebook& book)
    : Link(link)
    , Ui(ui)
    , Book(book) {}

std::string TPhonebookTransfer::FinishedText(const char* format, int64_t startTick) const {
    return FormatText(format, int(ElapsedSeconds(TicksToMs(GetTick(), startTick))));
}

void TPhonebookTransfer::Fail(const std::string& text) {
    LastFailure = text;
    Ui.ShowStatus(text);
    Ui.Message(TMessageKind::Error, text, TButtons::Ok);
}

void TPhonebookTransfer::ShowException(const std::string& text) {
    if (!text.empty())
        Ui.Message(TMessageKind::Error, text, TButtons::Ok);
}

// ---- reading ----

bool TPhonebookTransfer::ReadLoop(TPP5Phonebook& into, bool show) {
    TMailControl& engine = Link.Engine();
    int failures = 0;
    int nameRepeats = 0;
    bool end = false;
    int i = 0;
    while (failures < FailedAttempts && !end && i < Book.Count()) {
        if (engine.Stoppable && StopRequested())
            return false;
        const std::string index = ByteToHex(uint8_t(i));
        const std::string number = engine.SendMail(MailCode::ReadNumber + index);
        // An answer to another request is no answer to this one.
        if (number.size() < 5 || !Starts(number, MailAnswer::Number) ||
            Starts(number, MailAnswer::NumberRefused)) {
            ++failures;
            continue;
        }
        if (Starts(number, MailAnswer::NoNumber)) {
            end = true;
            continue;
        }
        into.SetNumber(uint16_t(i), Codec.DecodeNumber(number));
        const std::string name = engine.SendMail(MailCode::ReadName + index);
        // An error answer to the name is a failed attempt at the entry, as it is to the number.
        if (Starts(name, MailAnswer::NameRefused)) {
            ++failures;
            continue;
        }
        if (name.size() < 2 || !Starts(name, MailAnswer::Name)) {
            // Asked again for the same entry; a handset that never gives the name ends the read.
            if (++nameRepeats >= NameRepeats)
                ++failures;
            continue;
        }
        if (Starts(name, MailAnswer::NoName))
            end = true;
        else
            into.SetName(uint16_t(i), Codec.DecodeName(name));
        if (show)
            Ui.ShowListEntry(TListKind::PhoneBook, i);
        ++i;
        Ui.ProgressStep();
        failures = 0;
        nameRepeats = 0;
    }
    return failures < FailedAttempts;
}

void TPhonebookTransfer::ReportRead(bool ok, int64_t startTick) {
    if (ok)
        Ui.ShowStatus(FinishedText(Texts::FinishedReadingFromHandset, startTick));
    else if (StopRequested())
        Ui.ShowStatus(Texts::StoppedAsAsked);
    else
        Fail(Texts::CouldNotReadPhoneBook);
}

bool TPhonebookTransfer::ReadPhonebook(TPP5Phonebook& book) {
    book.Clear();
    const int64_t start = GetTick();
    Ui.ShowStatus(Texts::ReadingFromHandset);
    const TEngineSettings settings(Link.Engine(), Link.Profile(TEngineUse::Read));
    const TStoppableStretch stoppable(Link.Engine());
    Ui.ProgressStart(1, Book.Count(), 1);
    const bool ok = ReadLoop(book, false) && !StopRequested();
    Ui.ProgressEnd();
    ReportRead(ok, start);
    return ok;
}

// Reads beside the table: the grid keeps what it shows (perhaps unsaved rows) until the read has
// something to put in its place. A stop ends the read at once and leaves the table as it was: a list
// read in part is no list of the handset's.
bool TPhonebookTransfer::ReadIntoBook(int64_t start) {
    TPP5Phonebook read;
    read.SetCount(uint8_t(Book.Count()));
    Ui.ShowStatus(Texts::ReadingFromHandset);
    const TEngineSettings settings(Link.Engine(), Link.Profile(TEngineUse::Read));
    const TStoppableStretch stoppable(Link.Engine());
    Ui.ProgressStart(1, Book.Count(), 1);
    const bool ok = ReadLoop(read, false) && !StopRequested();
    Ui.ProgressEnd();
    if (ok) {
        Book = read;
        Ui.ShowListEntry(TListKind::PhoneBook, AllEntries);
    }
    ReportRead(ok, start);
    return ok;
}

bool TPhonebookTransfer::LoadFromHandset() {
    Ui.ResetRowColours();
    const int64_t start = GetTick();
    bool ok = false;
    std::string exception;
    RunBusy(Ui, [&] {
        try {
            if (Link.ConnectOrTell(Ui, Texts::CouldNotReadPhoneBook))
                ok = ReadIntoBook(start);
        } catch (const std::exception& e) {
            exception = e.what();
        }
        Ui.ProgressEnd();
    });
    // Shown once the busy state has ended, so that the box is not shown over a busy window.
    ShowException(exception);
    return ok && exception.empty();
}

// ---- writing ----

bool TPhonebookTransfer::WritePhonebookEntry(const std::string& name, const std::string& number) {
    const TEngineSettings settings(Link.Engine(), Link.Profile(TEngineUse::Write));
    TMailControl& engine = Link.Engine();
    if (engine.SendMail(MailCode::AppendNumber + Codec.EncodeNumber(number)) != MailAnswer::NumberTaken)
        return false;
    return engine.SendMail(MailCode::AppendName + Codec.EncodeName(name)) == MailAnswer::NameTaken;
}

bool TPhonebookTransfer::EntryHolds(int index, const std::string& name, const std::string& number) {
    // What a read gives back of a written value: the mail's bytes without their count.
    const auto payload = [](const std::string& encoded) {
        return encoded.size() > 3 ? encoded.substr(3) : "";
    };
    TMailControl& engine = Link.Engine();
    const TEngineSettings settings(engine, Link.Profile(TEngineUse::Read));
    const std::string at = ByteToHex(uint8_t(index));
    const std::string held = engine.SendMail(MailCode::ReadNumber + at);
    if (held.size() < 5 || !Starts(held, MailAnswer::Number) || Starts(held, MailAnswer::NumberRefused) ||
        Starts(held, MailAnswer::NoNumber) ||
        Codec.DecodeNumber(held) != Codec.DecodeNumber("04 " + payload(Codec.EncodeNumber(number))))
        return false;
    const std::string heldName = engine.SendMail(MailCode::ReadName + at);
    return heldName.size() >= 2 && Starts(heldName, MailAnswer::Name) &&
           !Starts(heldName, MailAnswer::NameRefused) && !Starts(heldName, MailAnswer::NoName) &&
           Codec.DecodeName(heldName) == Codec.DecodeName("03 " + payload(Codec.EncodeName(name)));
}

namespace {

bool Storable(char c, bool restore) {
    return StorableInNumber(c) || (restore && (c == 'A' || c == 'E'));
}

} // namespace

int TPhonebookTransfer::FirstUnstorableNumber(const TPP5Phonebook& book, bool restore) {
    for (int i = 0; i < book.Count(); ++i)
        for (const char c : book.GetNumber(uint16_t(i)))
            if (!Storable(c, restore))
                return i;
    return -1;
}

bool TPhonebookTransfer::Restoring() const {
    return std::string_view(Kind) == BackupBeforeRestoreKind;
}

// A character the packed number cannot carry would make the mail text invalid half-way through the
// list, after the handset's list may already have been deleted: refuse before anything is sent.
bool TPhonebookTransfer::RefuseUnstorableNumbers() {
    const int entry = FirstUnstorableNumber(Book, Restoring());
    if (entry < 0)
        return false;
    char bad = 0;
    for (const char c : Book.GetNumber(uint16_t(entry)))
        if (!Storable(c, Restoring())) {
            bad = c;
            break;
        }
    Ui.SetRowColour(entry + 1, TRowColour::Red);
    Fail(FormatText(Texts::UnstorableNumber, entry + 1, PrintableText(std::string(1, bad)).c_str()));
    return true;
}

// ---- what the handset holds ----

bool TPhonebookTransfer::ReadQuietly(TPP5Phonebook& into, bool stoppable) {
    into.Clear();
    into.SetCount(Book.Count());
    const TEngineSettings settings(Link.Engine(), Link.Profile(TEngineUse::Read));
    const TStoppableStretch stretch(Link.Engine(), stoppable);
    return ReadLoop(into, false);
}

// What the handset holds before anything is changed: what the plan is worked out from and the backup
// keeps. A stop asked for during it ends the read (nothing has been changed yet). False, with the person
// told why, when it could not be read.
bool TPhonebookTransfer::ReadHeld(TPP5Phonebook& held, const char* notRead) {
    Ui.ShowStatus(Texts::ReadingFromHandset);
    Ui.ProgressStart(1, Book.Count(), 1);
    const bool read = ReadQuietly(held, true);
    Ui.ProgressEnd();
    if (read)
        return true;
    if (StopRequested())
        Ui.ShowStatus(Texts::StoppedNothingChanged);
    else
        Fail(notRead);
    return false;
}

bool TPhonebookTransfer::KeepList(const TPP5Phonebook& held) {
    Backup.clear();
    BackupEntries = 0;
    if (held.CountNumbers() == 0)
        return true;
    try {
        Backup = KeepBackup(Kind, Texts::PhoneBookExtension, PhonebookFileText(held), Link.Identity());
        BackupEntries = held.CountNumbers();
    } catch (const EFileError& e) {
        Fail(FormatText(Texts::PhoneBookNotKept, e.what()));
        return false;
    }
    return true;
}

std::string TPhonebookTransfer::KeptInText() const {
    if (Backup.empty())
        return {};
    return "\r\r" + FormatText(Texts::PhoneBookKeptIn, BackupEntries, Backup.c_str());
}

// One request tells whether the list is empty: the handset answers "04 FF" for entry 0 of an empty list.
// Nothing when that answer does not come either.
std::optional<bool> TPhonebookTransfer::HandsetListEmpty() {
    const TEngineSettings settings(Link.Engine(), Link.Profile(TEngineUse::Read));
    const std::string answer = Link.Engine().SendMail(std::string(MailCode::ReadNumber) + "00");
    if (Starts(answer, MailAnswer::NoNumber))
        return true;
    if (answer.size() >= 5 && !Starts(answer, MailAnswer::NumberRefused))
        return false;
    return std::nullopt;
}

// Empties the handset's list. An answer other than the good one does not say that nothing happened (it
// may have been lost on its way back), so the handset is asked whether its list is empty.
bool TPhonebookTransfer::DeleteList() {
    const TEngineSettings settings(Link.Engine(), Link.Profile(TEngineUse::Write));
    if (Link.Engine().SendMail(MailCode::PhonebookDelete) == MailAnswer::PhonebookDeleted) {
        Ui.ShowStatus(Texts::PhoneBookDeleted);
        return true;
    }
    if (HandsetListEmpty() == true) {
        Ui.ShowStatus(Texts::PhoneBookDeletedAnswerLost);
        return true;
    }
    return false;
}

void TPhonebookTransfer::NoteUnnamed(int row, const TPP5Phonebook& handset) {
    const std::string& number = Wanted.GetNumber(uint16_t(row - 1));
    if (BlankName(Wanted.GetName(uint16_t(row - 1))))
        return;
    bool held = false;
    for (int i = handset.FindNumber(number); i >= 0; i = handset.FindNumber(number, i + 1)) {
        if (!BlankName(handset.GetName(uint16_t(i))))
            return;
        held = true;
    }
    if (held && std::find(UnnamedRows.begin(), UnnamedRows.end(), row) == UnnamedRows.end())
        UnnamedRows.push_back(row);
}

// The read after the writes: what the handset holds now, against what it held before and what was
// wanted. Not stopped by a stop request: after a stop it is what tells the person where things stand.
THandsetOutcome TPhonebookTransfer::ReadBack(const TPP5Phonebook& held, const TPP5Phonebook& wanted,
                                             bool replace, TPP5Phonebook& now) {
    THandsetOutcome outcome;
    outcome.Stopped = StopRequested();
    outcome.Backup = Backup;
    outcome.Skipped = SkippedEntries;
    now.SetCount(Book.Count());
    if (!ReadQuietly(now, false)) {
        outcome.Result = TChangeResult::Unknown;
        const int beyond = EntriesBeyond();
        outcome.Known =
            TChangeCounts{WrittenEntries, 0, 0, SkippedEntries,
                          std::max(0, wanted.CountNumbers() - WrittenEntries - SkippedEntries) + beyond};
        return outcome;
    }
    TWritePlan lacking = PlanPhonebookWrite(now, wanted, replace);
    // A name without a number is a row the person is told of (NoNumberAttached), not an entry left out.
    std::erase_if(lacking.Lines, [](const TPlanLine& line) {
        return line.Step == TPlanStep::NotWritten && line.After.empty();
    });
    outcome.Held = MeasuredCounts(PlanPhonebookWrite(held, now, true), lacking);
    outcome.Lacking = lacking;
    const bool whole = lacking.Count(TPlanStep::Add) + lacking.Count(TPlanStep::Change) +
                               lacking.Count(TPlanStep::Remove) + lacking.Count(TPlanStep::NotWritten) ==
                           0 &&
                       !(replace && lacking.OrderDiffers);
    // Rows of the file beyond the handset's table never reach it.
    const int beyond = EntriesBeyond();
    outcome.Held->NotWritten += beyond;
    outcome.Result = whole && beyond == 0 ? TChangeResult::Done : TChangeResult::Partial;
    WrittenEntries = outcome.Held->Added + outcome.Held->Changed;
    return outcome;
}

// A write stopped at row: the handset may have taken the entry before its answer was lost, or taken the
// number without the name. The read after it tells what it holds.
void TPhonebookTransfer::ReportWriteFailure(int row, const THandsetOutcome& outcome,
                                            const TPP5Phonebook& now) {
    std::string text = StopRequested() ? Texts::StoppedPhoneBook : Texts::CouldNotWritePhoneBook;
    if (outcome.Held) {
        const int holds = now.CountNumbers();
        int arrived = 0;
        for (int r = 1; r <= row; ++r) {
            const std::string& number = Wanted.GetNumber(uint16_t(r - 1));
            if (number.empty() || !now.HasNumber(number))
                continue;
            ++arrived;
            NoteUnnamed(r, now);
        }
        text += "\r\r" + (holds == 1 ? std::string(Texts::PhoneBookNowHoldsOne)
                                     : FormatText(Texts::PhoneBookNowHolds, holds));
        if (row > 0)
            text += " " + FormatText(Texts::PhoneBookStoppedAt, row, arrived);
        for (const int r : UnnamedRows)
            text += "\r" + FormatText(Texts::PhoneBookUnnamedNumber, r);
        UnnamedRows.clear();
    } else {
        text += "\r\r" + std::string(Texts::PhoneBookNowUnknown);
    }
    // A stop the person asked for is no failure: the box tells what the handset holds, as information.
    if (StopRequested()) {
        LastFailure = text + KeptInText();
        Ui.ShowStatus(Texts::StoppedPhoneBook);
        Ui.Message(TMessageKind::Information, LastFailure, TButtons::Ok);
        return;
    }
    Fail(text + KeptInText());
}

std::string TPhonebookTransfer::RowsBeyondText() const {
    return FormatText("the handset's phone book has %d entries", int(Book.Count()));
}

void TPhonebookTransfer::SetFile(const TPP5Phonebook& file, int rows) {
    File = file;
    FileRows = rows;
}

int TPhonebookTransfer::EntriesBeyond() const {
    int beyond = 0;
    for (int row = Book.Count() + 1; row <= FileRows; ++row)
        beyond += !File.GetNumber(uint16_t(row - 1)).empty();
    return beyond;
}

// A replace whose file holds more entries than the handset's phone book has room for would leave some
// of them out after deleting the list: refused before anything is sent. True when refused.
bool TPhonebookTransfer::RefuseFileBeyond() {
    for (int row = Book.Count() + 1; row <= FileRows; ++row) {
        if (File.GetNumber(uint16_t(row - 1)).empty())
            continue;
        FileRefused = true;
        Fail(FormatText(
            "The file does not fit: the handset's phone book has %d entries, and line %d "
            "(%s) is beyond them. Nothing was written; the handset's list is as it was.",
            int(Book.Count()), row,
            QuotedText(File.GetName(uint16_t(row - 1)) + "," + File.GetNumber(uint16_t(row - 1))).c_str()));
        return true;
    }
    return false;
}

// ---- writing ----

// The writes of the plan, row by row. 0 when every row went as planned, else the row the write stopped
// at (a failure, or a stop asked for between two entries).
int TPhonebookTransfer::WriteRows(bool addMode, const TPP5Phonebook& held, int64_t startTick) {
    int handsetEntries = addMode ? held.CountNumbers() : 0;
    Ui.ShowStatus(Texts::WritingToHandset);
    Ui.ProgressStart(1, Book.Count(), 1);
    for (int row = 1; row <= Book.Count(); ++row) {
        // Between entries the handset holds whole ones only: a stop asked for ends the write here.
        if (StopRequested()) {
            Ui.ProgressEnd();
            return row;
        }
        const std::string& name = Wanted.GetName(uint16_t(row - 1));
        const std::string& number = Wanted.GetNumber(uint16_t(row - 1));
        Ui.SetRowColour(row, TRowColour::Yellow);
        if (number.empty()) {
            if (!BlankName(name))
                MissingNumber = true;
            else
                Ui.SetRowColour(row, TRowColour::Window);
        } else if (addMode && held.HasNumber(number)) {
            // Already held; but a number that came without its name earlier stays without it.
            NoteUnnamed(row, held);
            ++SkippedEntries;
            Ui.SetRowColour(row, TRowColour::Window);
        } else if (handsetEntries < Book.Count()) {
            // An answer lost after the handset took the entry is no failure: one read of it tells.
            if (!WritePhonebookEntry(name, number) && !EntryHolds(handsetEntries, name, number)) {
                Ui.ProgressEnd();
                return row;
            }
            ++handsetEntries;
            ++WrittenEntries;
            Ui.SetRowColour(row, TRowColour::Window);
        } else {
            Ui.SetRowColour(row, TRowColour::Red);
            MemoryFull = true;
            Ui.ShowStatus(FinishedText(Texts::FinishedWritingToHandset, startTick));
        }
        Ui.ProgressStep();
    }
    Ui.ProgressEnd();
    Ui.ShowStatus(FinishedText(Texts::FinishedWritingToHandset, startTick));
    return 0;
}

bool TPhonebookTransfer::SaveToHandset() {
    Ui.ResetRowColours();
    MemoryFull = false;
    MissingNumber = false;
    UnnamedRows.clear();
    Backup.clear();
    WrittenEntries = 0;
    SkippedEntries = 0;
    Plan.reset();
    LastFailure.clear();
    FileRefused = false;
    THandsetChange change(Link, Ui);
    Outcome = change.NothingChanged();
    std::string exception;
    RunBusy(Ui, [&] {
        try {
            const TWriteMode mode = RefuseUnstorableNumbers()
                                        ? TWriteMode::Cancel
                                        : Ui.AskWriteMode(Texts::AddPhoneBook, Texts::ReplacePhoneBook);
            if (mode == TWriteMode::Add || mode == TWriteMode::Replace)
                Outcome = PlanAndWrite(change, mode == TWriteMode::Add);
        } catch (const std::exception& e) {
            exception = e.what();
            if (change.Begun())
                Outcome.Result = TChangeResult::Unknown;
        }
        Ui.ProgressEnd();
        if (MemoryFull)
            Ui.Message(TMessageKind::Error, Texts::PhoneBookMemoryFull, TButtons::Ok);
        if (MissingNumber)
            Ui.Message(TMessageKind::Error, Texts::NoNumberAttached, TButtons::Ok);
        if (!UnnamedRows.empty()) {
            std::string text;
            for (const int row : UnnamedRows)
                text += (text.empty() ? "" : "\r") + FormatText(Texts::PhoneBookUnnamedNumber, row);
            Ui.Message(TMessageKind::Warning, text, TButtons::Ok);
        }
    });
    ShowException(exception);
    Outcome.Message = !exception.empty() ? exception : MemoryFull ? Texts::PhoneBookMemoryFull : LastFailure;
    change.End(Outcome);
    return Outcome.Ok() && !MemoryFull && UnnamedRows.empty() && exception.empty();
}

// Reads what the handset holds, works out the plan and shows it as the question; then the backup, the
// writes the plan says and the read after them. A replace that would leave the handset as it is sends
// nothing.
THandsetOutcome TPhonebookTransfer::PlanAndWrite(THandsetChange& change, bool addMode) {
    if (!Link.ConnectOrTell(Ui, Texts::CouldNotWritePhoneBook))
        return change.NothingChanged(Texts::CouldNotWritePhoneBook);
    if (!addMode && RefuseFileBeyond())
        return change.NothingChanged(LastFailure);
    Wanted = PhonebookAsHeld(Book);
    TPP5Phonebook held;
    held.SetCount(Book.Count());
    if (!ReadHeld(held, addMode ? Texts::PhoneBookNotReadForAdd : Texts::PhoneBookNotRead))
        return change.NothingChanged(LastFailure);
    Plan = PlanPhonebookWrite(held, Wanted, !addMode);
    Plan->Baud = Link.Baud();
    Plan->Pace = Link.Engine().Pace(Plan->Baud);
    // Rows of the file beyond the handset's table, each named with what it holds.
    for (int row = Book.Count() + 1; row <= FileRows; ++row) {
        const TPhonebookEntry entry =
            EntryAsHeld(File.GetName(uint16_t(row - 1)), File.GetNumber(uint16_t(row - 1)));
        if (!entry.Number.empty())
            Plan->Lines.push_back(
                {TPlanStep::NotWritten, entry.Name, {}, entry.Number, RowsBeyondText(), row});
        else if (!BlankName(entry.Name))
            Plan->Lines.push_back({TPlanStep::NotWritten, entry.Name, {}, {}, "no number", row, true});
    }
    const int entries = Book.CountNumbers();
    Plan->Question = addMode       ? std::string(Texts::AddPhoneBook) + "?"
                     : entries > 0 ? FormatText(Texts::ReplacePhoneBookQuestion, entries)
                                   : std::string(Texts::ReplaceWithNothingQuestion);
    if (!change.Confirm(*Plan))
        return change.NothingChanged();
    const int64_t start = GetTick();
    if (!Plan->ChangesHandset()) {
        THandsetOutcome outcome = change.NothingChanged();
        outcome.Result = TChangeResult::AlreadyHeld;
        SkippedEntries = addMode ? Plan->Count(TPlanStep::Keep) : 0;
        outcome.Skipped = SkippedEntries;
        // The read the plan was made from is what the handset holds.
        outcome.Held = TChangeCounts{0, 0, 0, SkippedEntries, Plan->Count(TPlanStep::NotWritten)};
        outcome.Lacking = Plan;
        if (EntriesBeyond() > 0)
            outcome.Result = TChangeResult::NotChanged;
        if (!addMode) {
            Ui.ShowStatus(Texts::PhoneBookAlreadyHeld);
            return outcome;
        }
        // An add that adds nothing still marks the rows that did not fit and the names without numbers.
        WriteRows(addMode, held, start);
        if (MemoryFull)
            outcome.Result = TChangeResult::NotChanged;
        return outcome;
    }
    if (!addMode && !KeepList(held))
        return change.NothingChanged(LastFailure);
    if (!change.Begin(addMode       ? "phonebook add"
                      : Restoring() ? "phonebook restore"
                                    : "phonebook replace",
                      &*Plan, Backup))
        return change.NothingChanged();
    if (!addMode && !DeleteList()) {
        // The delete's answer did not come as it should: the read says whether it went.
        TPP5Phonebook now;
        THandsetOutcome outcome = ReadBack(held, Wanted, !addMode, now);
        if (!outcome.Held || now.CountNumbers() > 0) {
            if (outcome.Held)
                Fail(Texts::PhoneBookNotDeletedReply);
            else
                Fail((Link.Engine().LineLost() ? Texts::PhoneBookDeleteUnknownNoReply
                                               : Texts::PhoneBookDeleteUnknown) +
                     KeptInText());
            if (outcome.Result == TChangeResult::Done)
                outcome.Result = TChangeResult::Partial;
            return outcome;
        }
        Ui.ShowStatus(Texts::PhoneBookDeletedAnswerLost);
    }
    const int stoppedAt = WriteRows(addMode, held, start);
    TPP5Phonebook now;
    THandsetOutcome outcome = ReadBack(held, Wanted, !addMode, now);
    if (stoppedAt > 0) {
        ReportWriteFailure(stoppedAt, outcome, now);
        if (outcome.Result == TChangeResult::Done)
            outcome.Result = TChangeResult::Partial;
    } else if (outcome.Result == TChangeResult::Unknown) {
        Fail(std::string(Texts::PhoneBookNowUnknown) + KeptInText());
    } else if (outcome.Result == TChangeResult::Partial && !MemoryFull && !MissingNumber) {
        // Every mail was answered as it should be, yet the handset does not hold what was written.
        ReportWriteFailure(0, outcome, now);
    }
    return outcome;
}

// ---- deleting ----

bool TPhonebookTransfer::DeleteInHandset() {
    Ui.ResetRowColours();
    Backup.clear();
    BackupEntries = 0;
    LastFailure.clear();
    Plan.reset();
    THandsetChange change(Link, Ui);
    Outcome = change.NothingChanged();
    const bool raised = !RunBusy(Ui, [this, &change] {
        if (!Link.ConnectOrTell(Ui, Texts::PhoneBookNotDeleted)) {
            Outcome = change.NothingChanged(Texts::PhoneBookNotDeleted);
            return;
        }
        TPP5Phonebook held;
        held.SetCount(Book.Count());
        if (!ReadHeld(held, Texts::PhoneBookNotRead)) {
            Outcome = change.NothingChanged(LastFailure);
            return;
        }
        TPP5Phonebook none;
        none.SetCount(Book.Count());
        Plan = PlanPhonebookWrite(held, none, true);
        Plan->Baud = Link.Baud();
        Plan->Pace = Link.Engine().Pace(Plan->Baud);
        Plan->Delete = true;
        Plan->Question = Texts::DeletePhoneBookQuestion;
        if (!change.Confirm(*Plan) || !KeepList(held) || !change.Begin("phonebook delete", &*Plan, Backup)) {
            Outcome = change.NothingChanged(LastFailure);
            return;
        }
        DeleteList();
        TPP5Phonebook now;
        Outcome = ReadBack(held, none, true, now);
        if (Outcome.Result == TChangeResult::Done)
            return;
        if (Outcome.Result == TChangeResult::Unknown)
            Fail((Link.Engine().LineLost() ? Texts::PhoneBookDeleteUnknownNoReply
                                           : Texts::PhoneBookDeleteUnknown) +
                 KeptInText());
        else
            Fail(Texts::PhoneBookNotDeletedReply);
    });
    if (raised && change.Begun())
        Outcome.Result = TChangeResult::Unknown;
    Outcome.Message = LastFailure;
    change.End(Outcome, BackupEntries);
    return Outcome.Ok();
}
