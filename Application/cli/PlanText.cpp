#include "cli/PlanText.h"

#include "cli/Command.h"
#include "cli/JsonOutput.h"
#include "cli/Summary.h"

#include <QJsonArray>

namespace {

const char* StepName(TPlanStep step) {
    switch (step) {
    case TPlanStep::Add:
        return "add";
    case TPlanStep::Remove:
        return "remove";
    case TPlanStep::Change:
        return "change";
    case TPlanStep::Keep:
        return "keep";
    case TPlanStep::NotWritten:
        return "not written";
    }
    return "";
}

} // namespace

QJsonObject PlanJson(const TWritePlan& plan) {
    QJsonArray changes;
    for (const TPlanLine& line : plan.Lines) {
        if (line.Step == TPlanStep::Keep)
            continue;
        QJsonObject change{{"step", StepName(line.Step)}, {"item", JsonText(line.Item)}};
        if (!line.Before.empty() || line.Step == TPlanStep::Remove || line.Step == TPlanStep::Change)
            change["before"] = JsonText(line.Before);
        if (!line.After.empty() || line.Step == TPlanStep::Add || line.Step == TPlanStep::Change)
            change["after"] = JsonText(line.After);
        if (!line.Reason.empty())
            change["reason"] = JsonText(line.Reason);
        if (line.Row > 0)
            change["line"] = line.Row;
        changes.append(change);
    }
    return {{"list", JsonText(plan.List)},
            {"mode", plan.Replace ? "replace" : "add"},
            {"add", plan.Count(TPlanStep::Add)},
            {"remove", plan.Count(TPlanStep::Remove)},
            {"change", plan.Count(TPlanStep::Change)},
            {"kept", plan.Count(TPlanStep::Keep)},
            {"notWritten", plan.Count(TPlanStep::NotWritten)},
            {"orderDiffers", plan.OrderDiffers},
            {"changesHandset", plan.ChangesHandset()},
            {"mails", plan.Cost.Mails},
            {"estimatedMs", qint64(EstimatedMs(plan))},
            {"changes", changes}};
}

void PrintPlan(const TWritePlan& plan) {
    PrintData(Toned(TerminalText(PlanText(plan)), TTone::Plan, stdout));
}

void PrintPlanCounts(const TWritePlan& plan) {
    std::string text = "The " + plan.List + PlanKindWord(plan) + PlanCountsText(plan) + ".";
    if (const std::string warning = PlanRemovalWarning(plan); !warning.empty())
        text += "\r" + warning;
    PrintMessage(text);
}

std::string PlanLinesText(const TWritePlan& plan, int lines) {
    std::string text;
    int shown = 0;
    int more = 0;
    for (const TPlanLine& line : plan.Lines) {
        if (line.Step == TPlanStep::Keep)
            continue;
        if (shown < lines) {
            text += (text.empty() ? "" : "\r") + PlanLineText(line);
            ++shown;
        } else {
            ++more;
        }
    }
    if (more > 0)
        text += "\r... " + std::to_string(more) + " more, see --dry-run";
    return text;
}
