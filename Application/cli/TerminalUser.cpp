#include "cli/TerminalUser.h"

#include "cli/Command.h"
#include "cli/PlanText.h"
#include "platform/Texts.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>

TTerminalUser::TTerminalUser(bool yes)
    : Yes(yes)
    , Interactive(isatty(STDERR_FILENO) != 0 && !Quiet()) {}

void TTerminalUser::ShowStatus(const std::string& text) {
    if (!Interactive || text.empty())
        return;
    EndProgressLine();
    std::fprintf(stderr, "%s\n", TerminalText(text).c_str());
}

bool TTerminalUser::Confirm(const std::string& question) {
    if (Yes)
        return true;
    EndProgressLine();
    if (!isatty(STDIN_FILENO)) {
        PrintMessage(question + "\rRefused: no terminal to confirm at; give --yes to go ahead.",
                     TTone::Error);
        Refused = true;
        RunAnswers().refused = true;
        return false;
    }
    ShowHeldMessages();
    std::fprintf(stderr, "%s [y/N] ", TerminalText(question).c_str());
    std::string reply;
    std::getline(std::cin, reply);
    const bool yes = !reply.empty() && (reply[0] == 'y' || reply[0] == 'Y');
    Declined = Declined || !yes;
    RunAnswers().declined = RunAnswers().declined || !yes;
    return yes;
}

// --yes goes on past what can be passed over; a terminal is asked; a script without --yes stops.
TAnswer TTerminalUser::AbortOrIgnore(const std::string& text) {
    EndProgressLine();
    if (Yes) {
        PrintMessage(text + " Ignored (--yes).");
        return TAnswer::Ignore;
    }
    if (!isatty(STDIN_FILENO)) {
        PrintMessage(text + "\rStopped: no terminal to ask at; give --yes to pass over it and go on.",
                     TTone::Error);
        return TAnswer::Abort;
    }
    ShowHeldMessages();
    std::fprintf(stderr, "%s [a]bort or [i]gnore? ", TerminalText(text).c_str());
    std::string reply;
    std::getline(std::cin, reply);
    return !reply.empty() && (reply[0] == 'i' || reply[0] == 'I') ? TAnswer::Ignore : TAnswer::Abort;
}

TAnswer TTerminalUser::ShowMessage(TMessageKind kind, const std::string& text, TButtons buttons) {
    if (buttons == TButtons::OkCancel)
        return Confirm(text) ? TAnswer::Ok : TAnswer::Cancel;
    if (buttons == TButtons::AbortIgnore)
        return AbortOrIgnore(text);
    EndProgressLine();
    // Information is a message too: stdout carries only what a command was asked for.
    if (kind == TMessageKind::Information) {
        PrintMessage(text);
        return TAnswer::Ok;
    }
    // A handset that did not answer: say where to look.
    const bool silent = text.starts_with(Texts::CouldNotConnect);
    PrintMessage(silent ? text + "\r" + NoAnswerHint : text, kind == TMessageKind::Error     ? TTone::Error
                                                             : kind == TMessageKind::Warning ? TTone::Warning
                                                                                             : TTone::Plain);
    return TAnswer::Ok;
}

bool TTerminalUser::ConfirmPlan(const TWritePlan& plan) {
    EndProgressLine();
    // The person answers what they see: the plan's lines first (a screenful), then its counts, then the
    // one question.
    if (!Yes && isatty(STDIN_FILENO))
        PrintMessage(PlanLinesText(plan, ScreenLines()), TTone::Plan);
    PrintPlanCounts(plan);
    return Confirm(plan.Question.empty() ? std::string("Write this to the handset?") : plan.Question);
}

// The lines of the terminal the plan may take before its counts and the question: what is left of the
// screen, or a screenful of 24 where the terminal does not say.
int TTerminalUser::ScreenLines() {
    constexpr int Reserved = 6;
    constexpr int FewestLines = 10;
    winsize size{};
    const int rows = ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_row > 0 ? size.ws_row : 24;
    return std::max(FewestLines, rows - Reserved);
}

std::string TTerminalUser::ProgressText(int done, int total, bool atMost, const char* one, const char* many) {
    if (total <= 0)
        return Counted(done, one, many);
    return std::to_string(std::min(done, total)) + " of " + (atMost ? "at most " : "") +
           Counted(total, one, many);
}

// The range is that of a bar (the window's counts 1 to the size of the table); the line counts what was
// gone through, from the first of the range on.
void TTerminalUser::ProgressStart(int min, int max, int) {
    EndProgressLine();
    FirstRow = std::max(min, 1);
    Places = std::max(0, max - FirstRow + 1);
    Done = 0;
    Entries = -1;
    MarkedRow = 0;
    WordsDoing = nullptr;
    WordsNoun = nullptr;
    ProgressShown = Interactive;
}

void TTerminalUser::ProgressWords(const char* doing, const char* noun) {
    WordsDoing = doing;
    WordsNoun = noun;
}

// A write marks each row of the table before its step; a read steps once per entry that came, and stops
// at the handset's last one, somewhere in the range.
void TTerminalUser::ProgressStep() {
    const int row = MarkedRow;
    MarkedRow = 0;
    if (!ProgressShown)
        return;
    if (WordsNoun) {
        ShowProgress(TProgressCount::Words(WordsDoing, WordsNoun, ++Done, Places, false));
        return;
    }
    if (row == 0) {
        ShowProgress(ProgressText(++Done, Places, true, "entry", "entries"));
        return;
    }
    if (!RowHoldsEntry) {
        ShowProgress(ProgressText(++Done, Places, false, "row", "rows"));
        return;
    }
    if (Entries < 0)
        Entries = TProgressCount::EntriesAmong(RowHoldsEntry, FirstRow, Places);
    if (RowHoldsEntry(row))
        ShowProgress(ProgressText(++Done, Entries, false, "entry", "entries"));
}

void TTerminalUser::ShowProgress(const std::string& text) {
    std::fprintf(stderr, "\r%s", text.c_str());
    std::fflush(stderr);
    ProgressLineOpened();
}

void TTerminalUser::ProgressAnimated() {
    EndProgressLine();
    ProgressShown = Interactive;
    if (ProgressShown)
        ShowProgress("working ...");
}

void TTerminalUser::ProgressEnd() {
    EndProgressLine();
    ProgressShown = false;
}

void TTerminalUser::SetBusy(bool) {}

void TTerminalUser::SetRowColour(int row, TRowColour colour) {
    if (colour == TRowColour::Yellow)
        MarkedRow = row;
    if (colour == TRowColour::Window)
        Colours.erase(row);
    else
        Colours[row] = colour;
}
