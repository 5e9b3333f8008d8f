#include "cli/CommandUser.h"

#include "cli/Command.h"
#include "cli/JsonOutput.h"
#include "cli/PlanText.h"

TCommandUser::TCommandUser(const TGlobalOptions& options)
    : TTerminalUser(options.yes) {
    Given.expectedSerial = options.expectSerial;
    Given.dryRun = options.dryRun;
}

// The mode was chosen with --add or --replace; the question comes with the plan (ConfirmPlan).
TWriteMode TCommandUser::AskWriteMode(const std::string&, const std::string&) {
    return Given.writeMode;
}

TAnswer TCommandUser::ShowMessage(TMessageKind kind, const std::string& text, TButtons buttons) {
    if (Given.dryRun && buttons == TButtons::OkCancel)
        return TAnswer::Ok;
    return TTerminalUser::ShowMessage(kind, text, buttons);
}

bool TCommandUser::HandsetIdentified(const THandsetIdentity& handset) {
    TTerminalUser::HandsetIdentified(handset);
    const std::optional<std::string>& expected = Given.expectedSerial;
    if (!expected || (handset.serial && *handset.serial == *expected))
        return true;
    PrintMessage(
        "The handset at " + handset.PortName() + " is " + handset.SerialText() + ", not " + *expected +
        " as --expect-serial says; nothing was sent to it but the questions of the connection step.");
    return false;
}

bool TCommandUser::ConfirmPlan(const TWritePlan& plan) {
    EndProgressLine();
    Kept.plans.push_back(plan);
    // A dry run ends at the plan, before anything is changed.
    if (Given.dryRun) {
        if (Given.printPlans) {
            AddJson({{"plan", PlanJson(plan)}});
            PrintPlan(plan);
        }
        return false;
    }
    AddJson({{"plan", PlanJson(plan)}});
    return TTerminalUser::ConfirmPlan(plan);
}

std::optional<TWritePlan> TCommandUser::PlanOf(const std::function<int()>& write, int* status) {
    struct TRestore {
        TCommandGiven& Given;
        const TCommandGiven Was;
        ~TRestore() {
            Given.dryRun = Was.dryRun;
            Given.printPlans = Was.printPlans;
        }
    } restore{Given, Given};
    Given.dryRun = true;
    Given.printPlans = false;
    const size_t before = Kept.plans.size();
    const int wrote = write();
    if (status)
        *status = wrote;
    if (wrote != Exit::Done || Kept.plans.size() == before)
        return std::nullopt;
    return Kept.plans.back();
}
