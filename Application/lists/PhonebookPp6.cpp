#include "lists/PhonebookPp6.h"

#include "link/NumberConverting.h"
#include "link/StopRequest.h"
#include "link/Timing.h"
#include "lists/PhonebookFile.h"
#include "lists/PhonebookPlan.h"
#include "platform/Backups.h"
#include "platform/ChangeLog.h"
#include "platform/PhoneBookResourceStrings.h"
#include "platform/TextFile.h"
#include "platform/TextFormat.h"

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
        const std::string index = ByteToHex(uint8_t(i));
        const std::string number = engine.SendMail("d 4 " + index);
        // An answer to another request is no answer to this one.
        if (number.size() < 5 || !Starts(number, "04 ") || Starts(number, "04 EE")) {
            ++failures;
            continue;
        }
        if (Starts(number, "04 FF")) {
            end = true;
            continue;
        }
        into.SetNumber(uint16_t(i), Codec.DecodeNumber(number));
        const std::string name = engine.SendMail("d 3 " + index);
        // An error answer to the name is a failed attempt at the entry, as it is to the number.
        if (Starts(name, "03 EE")) {
            ++failures;
            continue;
        }
        if (name.size() < 2 || !Starts(name, "03")) {
            // Asked again for the same entry; a handset that never gives the name ends the read.
            if (++nameRepeats >= NameRepeats)
                ++failures;
            continue;
        }
        if (Starts(name, "03 FF"))
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
    else
        Fail(Texts::CouldNotReadPhoneBook);
}

bool TPhonebookTransfer::ReadPhonebook(TPP5Phonebook& book) {
    book.Clear();
    const int64_t start = GetTick();
    Ui.ShowStatus(Texts::ReadingFromHandset);
    Link.SetReadTimeouts();
    Ui.ProgressStart(1, Book.Count(), 1);
    const bool ok = ReadLoop(book, false);
    Ui.ProgressEnd();
    ReportRead(ok, start);
    return ok;
}

// Reads beside the table: the grid keeps what it shows (perhaps unsaved rows) until the read has
// something to put in its place.
bool TPhonebookTransfer::ReadIntoBook(int64_t start) {
    TPP5Phonebook read;
    read.SetCount(uint8_t(Book.Count()));
    Ui.ShowStatus(Texts::ReadingFromHandset);
    Link.SetReadTimeouts();
    Ui.ProgressStart(1, Book.Count(), 1);
    const bool ok = ReadLoop(read, false);
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
    Link.SetWriteTimeouts();
    TMailControl& engine = Link.Engine();
    if (engine.SendMail("0D 06 00 " + Codec.EncodeNumber(number)) != "06 CC")
        return false;
    return engine.SendMail("0D 05 00 " + Codec.EncodeName(name)) == "05 CC";
}

bool TPhonebookTransfer::EntryHolds(int index, const std::string& name, const std::string& number) {
    // What a read gives back of a written value: the mail's bytes without their count.
    const auto payload = [](const std::string& encoded) {
        return encoded.size() > 3 ? encoded.substr(3) : "";
    };
    TMailControl& engine = Link.Engine();
    const std::string at = ByteToHex(uint8_t(index));
    const std::string held = engine.SendMail("d 4 " + at);
    if (held.size() < 5 || !Starts(held, "04 ") || Starts(held, "04 EE") || Starts(held, "04 FF") ||
        Codec.DecodeNumber(held) != Codec.DecodeNumber("04 " + payload(Codec.EncodeNumber(number))))
        return false;
    const std::string heldName = engine.SendMail("d 3 " + at);
    return heldName.size() >= 2 && Starts(heldName, "03") && !Starts(heldName, "03 EE") &&
           !Starts(heldName, "03 FF") &&
           Codec.DecodeName(heldName) == Codec.DecodeName("03 " + payload(Codec.EncodeName(name)));
}

int TPhonebookTransfer::FirstUnstorableNumber(const TPP5Phonebook& book) {
    for (int i = 0; i < book.Count(); ++i)
        for (const char c : book.GetNumber(uint16_t(i)))
            if (!StorableInNumber(c))
                return i;
    return -1;
}

// A character the packed number cannot carry would make the mail text invalid half-way through the
// list, after the handset's list may already have been deleted: refuse before anything is sent.
bool TPhonebookTransfer::RefuseUnstorableNumbers() {
    const int entry = FirstUnstorableNumber(Book);
    if (entry < 0)
        return false;
    char bad = 0;
    for (const char c : Book.GetNumber(uint16_t(entry)))
        if (!StorableInNumber(c)) {
            bad = c;
            break;
        }
    Ui.SetRowColour(entry + 1, TRowColour::Red);
    Fail(FormatText(Texts::UnstorableNumber, entry + 1, PrintableText(std::string(1, bad)).c_str()));
    return true;
}

// ---- what the handset holds ----

bool TPhonebookTransfer::ReadQuietly(TPP5Phonebook& into) {
    into.Clear();
    into.SetCount(Book.Count());
    Link.SetReadTimeouts();
    return ReadLoop(into, false);
}

// Before the handset's list is deleted it is read and kept in a file. A handset that holds nothing
// needs no copy. False, with the person told why, when the list could not be kept: then nothing may be
// deleted.
bool TPhonebookTransfer::KeepHandsetList() {
    Ui.ShowStatus(Texts::ReadingFromHandset);
    TPP5Phonebook held;
    Ui.ProgressStart(1, Book.Count(), 1);
    const bool read = ReadQuietly(held);
    Ui.ProgressEnd();
    if (!read) {
        Fail(Texts::PhoneBookNotRead);
        return false;
    }
    return KeepList(held);
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
    Link.SetReadTimeouts();
    const std::string answer = Link.Engine().SendMail("d 4 00");
    if (Starts(answer, "04 FF"))
        return true;
    if (answer.size() >= 5 && !Starts(answer, "04 EE"))
        return false;
    return std::nullopt;
}

// Empties the handset's list. An answer other than the good one does not say that nothing happened (it
// may have been lost on its way back), so the handset is asked what it holds before the person is told.
bool TPhonebookTransfer::DeleteList() {
    Link.SetWriteTimeouts();
    if (Link.Engine().SendMail("d 7 0") == "07 CC") {
        Ui.ShowStatus(Texts::PhoneBookDeleted);
        return true;
    }
    const std::optional<bool> empty = HandsetListEmpty();
    if (empty && *empty) {
        Ui.ShowStatus(Texts::PhoneBookDeletedAnswerLost);
        return true;
    }
    StateUnknown = !empty;
    if (empty)
        Fail(Texts::PhoneBookNotDeletedReply);
    else
        Fail((Link.Engine().LineLost() ? Texts::PhoneBookDeleteUnknownNoReply
                                       : Texts::PhoneBookDeleteUnknown) +
             KeptInText());
    return false;
}

void TPhonebookTransfer::NoteUnnamed(int row, const TPP5Phonebook& handset) {
    const std::string& number = Book.GetNumber(uint16_t(row - 1));
    if (BlankName(Book.GetName(uint16_t(row - 1))))
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

// A write stopped at row: the handset may have taken the entry before its answer was lost, or taken the
// number without the name. One read tells what it holds.
void TPhonebookTransfer::ReportWriteFailure(int row) {
    std::string text = Texts::CouldNotWritePhoneBook;
    TPP5Phonebook handset;
    if (ReadQuietly(handset)) {
        const int holds = handset.CountNumbers();
        int arrived = 0;
        for (int r = 1; r <= row; ++r) {
            const std::string& number = Book.GetNumber(uint16_t(r - 1));
            if (number.empty() || !handset.HasNumber(number))
                continue;
            ++arrived;
            NoteUnnamed(r, handset);
        }
        text += "\r\r" + (holds == 1 ? std::string(Texts::PhoneBookNowHoldsOne)
                                     : FormatText(Texts::PhoneBookNowHolds, holds));
        text += " " + FormatText(Texts::PhoneBookStoppedAt, row, arrived);
        for (const int r : UnnamedRows)
            text += "\r" + FormatText(Texts::PhoneBookUnnamedNumber, r);
        UnnamedRows.clear();
    } else {
        text += "\r\r" + std::string(Texts::PhoneBookNowUnknown);
    }
    Fail(text + KeptInText());
}

// ---- writing ----

bool TPhonebookTransfer::WriteRows(bool addMode, const TPP5Phonebook& held, int64_t startTick) {
    if (!addMode && !KeepList(held))
        return false;
    if (Plan->ChangesHandset())
        Changing = addMode                                             ? "phonebook add"
                   : std::string_view(Kind) == BackupBeforeRestoreKind ? "phonebook restore"
                                                                       : "phonebook replace";
    if (!addMode && !DeleteList())
        return false;
    int handsetEntries = addMode ? held.CountNumbers() : 0;
    Ui.ShowStatus(Texts::WritingToHandset);
    Ui.ProgressStart(1, Book.Count(), 1);
    for (int row = 1; row <= Book.Count(); ++row) {
        // Between entries the handset holds whole ones only: a stop asked for ends the write here.
        if (StopRequested()) {
            Ui.ProgressEnd();
            ReportWriteFailure(row);
            return false;
        }
        const std::string& name = Book.GetName(uint16_t(row - 1));
        const std::string& number = Book.GetNumber(uint16_t(row - 1));
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
                ReportWriteFailure(row);
                return false;
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
    Ui.ShowStatus(FinishedText(Texts::FinishedWritingToHandset, startTick));
    return true;
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
    Changing = nullptr;
    LastFailure.clear();
    StateUnknown = false;
    bool ok = false;
    std::string exception;
    RunBusy(Ui, [&] {
        try {
            TWriteMode mode = RefuseUnstorableNumbers()
                                  ? TWriteMode::Cancel
                                  : Ui.AskWriteMode(Texts::AddPhoneBook, Texts::ReplacePhoneBook);
            // Replacing deletes the handset's list first, as "Delete in Handset" does: it asks as that does.
            if (mode == TWriteMode::Replace && !ConfirmReplace())
                mode = TWriteMode::Cancel;
            if (mode == TWriteMode::Add || mode == TWriteMode::Replace)
                ok = PlanAndWrite(mode == TWriteMode::Add);
        } catch (const std::exception& e) {
            exception = e.what();
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
    const bool done = ok && !MemoryFull && UnnamedRows.empty() && exception.empty();
    NoteHandsetChange(Ui, Link.Identity(), Changing, Plan ? &*Plan : nullptr, Backup,
                      ChangeOutcome(done, StopRequested(), StateUnknown || !exception.empty()),
                      !exception.empty() ? exception
                      : MemoryFull       ? Texts::PhoneBookMemoryFull
                                         : LastFailure);
    return done;
}

// Reads what the handset holds, works out the plan and shows it; the write then does what it says. A
// replace that would leave the handset as it is sends nothing.
bool TPhonebookTransfer::PlanAndWrite(bool addMode) {
    if (!Link.ConnectOrTell(Ui, Texts::CouldNotWritePhoneBook))
        return false;
    TPP5Phonebook held;
    held.SetCount(Book.Count());
    Ui.ShowStatus(Texts::ReadingFromHandset);
    Ui.ProgressStart(1, Book.Count(), 1);
    const bool read = ReadQuietly(held);
    Ui.ProgressEnd();
    if (!read) {
        Fail(addMode ? Texts::PhoneBookNotReadForAdd : Texts::PhoneBookNotRead);
        return false;
    }
    Plan = PlanPhonebookWrite(held, Book, !addMode);
    Plan->Baud = Link.Baud();
    if (!Ui.ConfirmPlan(*Plan)) {
        Ui.ShowStatus(Texts::PlanNotCarriedOut);
        return false;
    }
    const int64_t start = GetTick();
    if (!addMode && !Plan->ChangesHandset()) {
        WrittenEntries = 0;
        SkippedEntries = Plan->Count(TPlanStep::Keep);
        Ui.ShowStatus(Texts::PhoneBookAlreadyHeld);
        return true;
    }
    return WriteRows(addMode, held, start);
}

bool TPhonebookTransfer::ConfirmReplace() {
    const int entries = Book.CountNumbers();
    const std::string question = entries == 0 ? std::string(Texts::ReplaceWithNothingQuestion)
                                              : FormatText(Texts::ReplacePhoneBookQuestion, entries);
    return Ui.Message(TMessageKind::Warning, question, TButtons::OkCancel) == TAnswer::Ok;
}

// ---- deleting ----

bool TPhonebookTransfer::DeleteInHandset() {
    Ui.ResetRowColours();
    Backup.clear();
    Changing = nullptr;
    LastFailure.clear();
    StateUnknown = false;
    if (Ui.Message(TMessageKind::Warning, Texts::DeletePhoneBookQuestion, TButtons::OkCancel) != TAnswer::Ok)
        return false;
    bool ok = false;
    const bool raised = !RunBusy(Ui, [this, &ok] {
        if (!Link.ConnectOrTell(Ui, Texts::PhoneBookNotDeleted) || !KeepHandsetList())
            return;
        Changing = "phonebook delete";
        ok = DeleteList();
    });
    NoteHandsetChange(Ui, Link.Identity(), Changing, nullptr, Backup,
                      ChangeOutcome(ok, false, StateUnknown || raised), LastFailure, BackupEntries);
    return ok;
}
