#include "platform/UserInteraction.h"

#include <algorithm>
#include <exception>

TUserInteraction::~TUserInteraction() = default;

TAnswer TUserInteraction::Message(TMessageKind kind, const std::string& text, TButtons buttons) {
    if (kind == TMessageKind::Confirmation || !FailureCause)
        return ShowMessage(kind, text, buttons);
    const std::string cause = FailureCause();
    if (cause.empty() || text.starts_with(cause))
        return ShowMessage(kind, text, buttons);
    return ShowMessage(kind, cause + "\r" + text, buttons);
}

void TUserInteraction::ConnectionStep(bool) {}
void TUserInteraction::HandsetConnected(int, uint8_t) {}

void TUserInteraction::ProgressWords(const char*, const char*) {}
bool TUserInteraction::HandsetIdentified(const THandsetIdentity&) {
    return true;
}

bool TUserInteraction::ConfirmPlan(const TWritePlan&) {
    return true;
}

void TUserInteraction::ShowListEntry(TListKind, int) {}
void TUserInteraction::ChangeEnded(const THandsetOutcome&) {}

std::string TUserInteraction::AskFileName(bool, const char*, const char*) {
    return {};
}

std::string TProgressCount::Words(const char* doing, const char* noun, int at, int total, bool atMost) {
    std::string text =
        std::string(doing) + " " + noun + " " + std::to_string(total > 0 ? std::min(at, total) : at);
    if (total > 0)
        text += std::string(" of ") + (atMost ? "at most " : "") + std::to_string(total);
    return text;
}

int TProgressCount::EntriesAmong(const std::function<bool(int row)>& rowHoldsEntry, int first, int rows) {
    int entries = 0;
    for (int row = first; row < first + rows; ++row)
        entries += rowHoldsEntry(row) ? 1 : 0;
    return entries;
}

void TProgressCount::Start(int min, int max) {
    FirstRow = std::max(min, 1);
    Places = std::max(0, max - FirstRow + 1);
    Done = 0;
    Entries = -1;
    Writing = false;
    Doing = nullptr;
    Noun = nullptr;
    Current.clear();
}

void TProgressCount::Counting(const char* doing, const char* noun) {
    Doing = doing;
    Noun = noun;
    Done = 0;
    Current.clear();
}

void TProgressCount::Mark(int row) {
    Writing = true;
    if (!RowHoldsEntry) {
        Current = Words("Writing", "row", row - FirstRow + 1, Places, false);
        return;
    }
    if (Entries < 0)
        Entries = EntriesAmong(RowHoldsEntry, FirstRow, Places);
    // A row without an entry is passed over: the text stays at the last entry.
    if (RowHoldsEntry(row))
        Current = Words("Writing", "entry", ++Done, Entries, false);
}

// A write counted at its marks; a read counts the entry that came and is now at the next one; counted
// words begin their next noun.
void TProgressCount::Step() {
    if (Noun)
        Current = Words(Doing, Noun, ++Done, Places, false);
    else if (!Writing)
        Current = Words("Reading", "entry", ++Done + 1, Places, true);
}

bool RunBusy(TUserInteraction& ui, const std::function<void()>& operation) {
    ui.SetBusy(true);
    std::string exception;
    try {
        operation();
    } catch (const std::exception& e) {
        exception = e.what();
    }
    ui.SetBusy(false);
    if (exception.empty())
        return true;
    ui.Message(TMessageKind::Error, exception, TButtons::Ok);
    return false;
}
