#include "cli/PlanReport.h"

#include "cli/CliSession.h"
#include "cli/Command.h"
#include "cli/JsonOutput.h"
#include "cli/PlanText.h"
#include "cli/Summary.h"

#include <vector>

int DryRunOutcome(TCliSession& session) {
    // The session says once, at the command's end, that nothing was written.
    return session.User().Record().plans.empty() ? Exit::Failed : Exit::Done;
}

std::string DifferencesText(const TWritePlan& plan, bool orderCounts) {
    std::string text;
    for (const TPlanLine& line : plan.Lines)
        if (line.Step != TPlanStep::Keep)
            text += "  " + PlanLineText(line) + "\n";
    if (orderCounts && plan.OrderDiffers)
        text += "  the same entries, in another order\n";
    return text;
}

int WriteBack(TCliSession& session, const TGlobalOptions& options, const std::string& path, bool orderCounts,
              const std::function<int()>& write) {
    if (options.dryRun) {
        PrintMessage("What writing back " + path + " would change:");
        return write();
    }
    PrintMessage("Writing back " + path + ".");
    const std::vector<THandsetOutcome>& outcomes = session.User().Record().outcomes;
    const size_t before = outcomes.size();
    if (const int status = write(); status != Exit::Done)
        return status;
    AddJson({{"restored", JsonPath(path)}});
    PrintResult("Written back: " + path);
    // The read after the write tells whether the handset holds exactly the copy.
    const THandsetOutcome* outcome = outcomes.size() > before ? &outcomes.back() : nullptr;
    if (!outcome || !outcome->Lacking) {
        AddJson({{"verified", false}});
        PrintMessage(
            "The handset could not be read after the write, so it is not known whether it holds exactly " +
            path + ".");
        return Exit::Failed;
    }
    const bool matches = outcome->Lacking->Matches(orderCounts);
    AddJson({{"verified", matches}});
    if (matches) {
        PrintResult("Verified: the handset holds exactly the backup" + OfHandset() + ".");
        return Exit::Done;
    }
    PrintMessage("The handset does not hold exactly " + path + " after the restore:\n" +
                 DifferencesText(*outcome->Lacking, orderCounts));
    return Exit::Failed;
}
