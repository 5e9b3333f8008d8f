#pragma once

#include "platform/UserInteraction.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

// The person at a terminal: messages on stderr, status and progress on stderr only when it is a
// terminal, confirmations answered by --yes or asked at the terminal; without either, a confirmation is
// refused so that a script never deletes by accident. What one command answers for the person before
// it is asked, and what its operations give back, is TCommandUser's (cli/CommandUser.h).
class TTerminalUser : public TUserInteraction {
public:
    explicit TTerminalUser(bool yes);

    void ShowStatus(const std::string& text) override;
    TAnswer ShowMessage(TMessageKind kind, const std::string& text, TButtons buttons) override;
    // Nothing to choose with at a terminal: a command says --add or --replace (TCommandUser).
    TWriteMode AskWriteMode(const std::string&, const std::string&) override { return TWriteMode::Cancel; }
    void ProgressStart(int min, int max, int step) override;
    void ProgressStep() override;
    void ProgressWords(const char* doing, const char* noun) override;
    void ProgressAnimated() override;
    void ProgressEnd() override;
    void SetBusy(bool busy) override;
    void SetRowColour(int row, TRowColour colour) override;
    void ResetRowColours() override { Colours.clear(); }
    // Names the handset once, on stderr and in the JSON document (cli/HandsetReport.cpp).
    bool HandsetIdentified(const THandsetIdentity& handset) override;
    // Shows the plan: its lines (at a terminal, a screenful) and counts on stderr, then the plan's
    // question, which --yes answers.
    bool ConfirmPlan(const TWritePlan& plan) override;

    // Answers every later confirmation yes: a command that asked once for all its writes.
    void ConfirmAll() { Yes = true; }

    // A confirmation was refused because there was neither a terminal nor --yes.
    bool ConfirmationRefused() const { return Refused; }
    // The person answered no at the terminal.
    bool ConfirmationDeclined() const { return Declined; }

    // The progress line: "2 of 3 entries"; "12 of at most 200 entries" while the end is found only on
    // the way (a read stops at the handset's last entry). Done never passes total; without a total, the
    // count alone ("3 entries").
    static std::string ProgressText(int done, int total, bool atMost, const char* one, const char* many);

    // The phone book rows an operation marked, by row, for the command to name them afterwards.
    std::map<int, TRowColour> Colours;
    // A write goes through every row of the table, the empty ones too. A command that writes a list
    // tells which rows (1 for the first) hold an entry, and the progress line counts those entries;
    // without it, it counts rows.
    std::function<bool(int row)> RowHoldsEntry;

private:
    bool Confirm(const std::string& question);
    static int ScreenLines();
    TAnswer AbortOrIgnore(const std::string& text);
    void ShowProgress(const std::string& text);

    bool Yes;
    bool Interactive;
    bool Refused = false;
    bool Declined = false;
    bool ProgressShown = false;
    // What the progress counts in words ("Deleting", "key"), when the operation said so.
    const char* WordsDoing = nullptr;
    const char* WordsNoun = nullptr;
    // The rows of the counted range, and how many of them were gone through.
    int FirstRow = 1;
    int Places = 0;
    int Done = 0;
    // The entries among the rows a write goes through, once counted; -1 before.
    int Entries = -1;
    // The row the operation marked since its last step: the step goes through that row of the table.
    int MarkedRow = 0;
};
