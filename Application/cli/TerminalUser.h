#pragma once

#include "platform/UserInteraction.h"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

// The person at a terminal: messages on stderr, status and progress on stderr only when it is a
// terminal, confirmations answered by --yes or asked at the terminal; without either, a confirmation is
// refused so that a script never deletes by accident.
class TTerminalUser : public TUserInteraction {
public:
    explicit TTerminalUser(bool yes);

    void ShowStatus(const std::string& text) override;
    TAnswer ShowMessage(TMessageKind kind, const std::string& text, TButtons buttons) override;
    TWriteMode AskWriteMode(const std::string& addCaption, const std::string& replaceCaption) override;
    void ProgressStart(int min, int max, int step) override;
    void ProgressStep() override;
    void ProgressWords(const char* doing, const char* noun) override;
    void ProgressAnimated() override;
    void ProgressEnd() override;
    void SetBusy(bool busy) override;
    void SetRowColour(int row, TRowColour colour) override;
    void ResetRowColours() override { Colours.clear(); }
    std::string AskFileName(bool, const char*, const char*) override { return PresetFileName; }
    // Names the handset once; false when it is not the one --expect-serial names (cli/HandsetReport.cpp).
    bool HandsetIdentified(const THandsetIdentity& handset) override;
    // Shows the plan (cli/PlanReport.cpp): under DryRun on stdout, and declined; otherwise its lines (at a
    // terminal) and counts on stderr, then the plan's question, which --yes answers.
    bool ConfirmPlan(const TWritePlan& plan) override;

    // Keeps the outcome (Outcomes).
    void ChangeEnded(const THandsetOutcome& outcome) override { Outcomes.push_back(outcome); }

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

    // The mode a command chose with --add or --replace; asked for when writing.
    TWriteMode PresetWriteMode = TWriteMode::Cancel;
    // The file a command was given, for an operation that asks for one.
    std::string PresetFileName;
    // The phone book rows an operation marked, by row, for the command to name them afterwards.
    std::map<int, TRowColour> Colours;
    // --expect-serial: the serial number text the handset must have ("00291 0284280").
    std::optional<std::string> ExpectedSerial;
    // A write goes through every row of the table, the empty ones too. A command that writes a list
    // tells which rows (1 for the first) hold an entry, and the progress line counts those entries;
    // without it, it counts rows.
    std::function<bool(int row)> RowHoldsEntry;
    // --dry-run: every write stops at its plan, so the questions before it are not asked.
    bool DryRun = false;
    // Whether a dry run prints the plans it stops at (a verify says what they mean itself).
    bool PrintPlans = true;
    // The plans the writes worked out, in order.
    std::vector<TWritePlan> Plans;
    // What each operation that may change the handset found at its end, in order.
    std::vector<THandsetOutcome> Outcomes;

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
