#pragma once

#include "cli/CliOptions.h"
#include "cli/TerminalUser.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

// What the command line answered before the operations could ask: the mode --add or --replace chose,
// the file a command was given, the handset --expect-serial names, and --dry-run.
struct TCommandGiven {
    TWriteMode writeMode = TWriteMode::Cancel;
    std::string fileName;
    // The serial number text the handset must have ("00291 0284280").
    std::optional<std::string> expectedSerial;
    // Every write stops at its plan, so the questions before it are not asked.
    bool dryRun = false;
    // Whether a dry run prints the plans it stops at (a verify says what they mean itself).
    bool printPlans = true;
};

// What the operations of one command gave back, in order: the plans their writes worked out, and what
// each operation that may change the handset found at its end.
struct TCommandRecord {
    std::vector<TWritePlan> plans;
    std::vector<THandsetOutcome> outcomes;
};

// The person at the terminal as one command's operations meet them: what the command line answered
// beforehand is answered from Given, without asking; what the operations give back is kept in Record.
// Everything else (messages, questions, progress) is the person's (TTerminalUser).
class TCommandUser final : public TTerminalUser {
public:
    explicit TCommandUser(const TGlobalOptions& options);

    TWriteMode AskWriteMode(const std::string& addCaption, const std::string& replaceCaption) override;
    std::string AskFileName(bool, const char*, const char*) override { return Given.fileName; }
    // Names the handset; false when it is not the one --expect-serial names.
    bool HandsetIdentified(const THandsetIdentity& handset) override;
    // Keeps the plan; under --dry-run shows it on stdout and declines, else the person answers it.
    bool ConfirmPlan(const TWritePlan& plan) override;
    void ChangeEnded(const THandsetOutcome& outcome) override { Kept.outcomes.push_back(outcome); }

    // Runs write so that it stops at its plan and shows none, and gives that plan: what the handset
    // holds set against what write would put there. Nothing when the handset could not be read for one,
    // or write refused its input (its messages say why); status, when given, gets write's exit status.
    std::optional<TWritePlan> PlanOf(const std::function<int()>& write, int* status = nullptr);

    TCommandGiven Given;
    const TCommandRecord& Record() const { return Kept; }

protected:
    // Under --dry-run a question before the plan (a delete's) is answered yes: the plan is where it ends.
    TAnswer ShowMessage(TMessageKind kind, const std::string& text, TButtons buttons) override;

private:
    TCommandRecord Kept;
};
