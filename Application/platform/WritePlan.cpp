#include "platform/WritePlan.h"

#include <algorithm>

namespace {

constexpr int BitsPerByte = 10; // a start bit, eight data bits, a stop bit

std::string Counted(int n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// The text as a plan line shows it: quoted where its blanks would not show.
std::string Shown(const std::string& text) {
    const bool hidden =
        !text.empty() && (text.front() == ' ' || text.back() == ' ' || text.find("  ") != std::string::npos);
    return hidden ? "\"" + text + "\"" : text;
}

std::string Joined(const std::string& a, const std::string& b) {
    if (a.empty())
        return Shown(b);
    if (b.empty())
        return Shown(a);
    return Shown(a) + " " + Shown(b);
}

} // namespace

int TWritePlan::Count(TPlanStep step) const {
    return int(
        std::count_if(Lines.begin(), Lines.end(), [step](const TPlanLine& l) { return l.Step == step; }));
}

int TWritePlan::Changes() const {
    return Count(TPlanStep::Add) + Count(TPlanStep::Remove) + Count(TPlanStep::Change);
}

bool TWritePlan::ChangesHandset() const {
    return Changes() > 0 || (Replace && OrderDiffers);
}

bool TWritePlan::Matches(bool orderCounts) const {
    return Changes() + Count(TPlanStep::NotWritten) == 0 && !(orderCounts && OrderDiffers);
}

int64_t LineTimeMs(const TMailCost& cost, int baud) {
    if (baud <= 0)
        return 0;
    return (cost.Bytes * BitsPerByte * 1000 + baud - 1) / baud;
}

int64_t EstimatedMs(const TWritePlan& plan) {
    return int64_t(double(LineTimeMs(plan.Cost, plan.Baud)) * std::max(1.0, plan.Pace) + 0.5);
}

std::string PlanCountsText(const TWritePlan& plan) {
    const int baud = plan.Baud;
    std::string text;
    const auto part = [&text](int n, const std::string& what) {
        if (n > 0)
            text += (text.empty() ? "" : ", ") + std::to_string(n) + " " + what;
    };
    part(plan.Count(TPlanStep::Add), "to add");
    part(plan.Count(TPlanStep::Remove), "to remove");
    part(plan.Count(TPlanStep::Change), "to change");
    part(plan.Count(TPlanStep::Keep), "kept");
    part(plan.Count(TPlanStep::NotWritten), "not written");
    if (text.empty())
        text = "nothing to write";
    if (plan.Replace && plan.OrderDiffers)
        text += ", in another order";
    if (plan.Cost.Mails == 0)
        return text + "; no mail to send";
    if (baud <= 0)
        return text + "; " + Counted(plan.Cost.Mails, "mail", "mails");
    const int64_t ms = EstimatedMs(plan);
    const std::string time = ms < 1000 ? "under 1 s" : "about " + std::to_string((ms + 500) / 1000) + " s";
    return text + "; " + Counted(plan.Cost.Mails, "mail", "mails") + ", " + time + " at " +
           std::to_string(baud) + " baud";
}

std::string PlanLineText(const TPlanLine& line) {
    switch (line.Step) {
    case TPlanStep::Add:
        return "+ " + Joined(line.Item, line.After);
    case TPlanStep::Remove:
        return "- " + Joined(line.Item, line.Before);
    case TPlanStep::Change:
        return "~ " + Joined(line.Item, line.Before) + " -> " + Shown(line.After);
    case TPlanStep::Keep:
        return "= " + Joined(line.Item, line.Before);
    case TPlanStep::NotWritten:
        return "! " + (line.Row > 0 ? "line " + std::to_string(line.Row) + ": " : std::string()) +
               Joined(line.Item, line.After) + (line.Reason.empty() ? "" : " (" + line.Reason + ")");
    }
    return {};
}

const char* PlanKindWord(const TWritePlan& plan) {
    return plan.Delete ? " delete: " : plan.Replace ? " replace: " : " write: ";
}

std::string PlanText(const TWritePlan& plan) {
    std::string text = "The " + plan.List + PlanKindWord(plan) + PlanCountsText(plan) + ".\r";
    for (const TPlanLine& line : plan.Lines)
        if (line.Step != TPlanStep::Keep)
            text += PlanLineText(line) + "\r";
    if (const int kept = plan.Count(TPlanStep::Keep); kept > 0)
        text += "kept: " + std::to_string(kept) + "\r";
    if (const std::string warning = PlanRemovalWarning(plan); !warning.empty())
        text += warning + "\r";
    return text;
}

std::string PlanRemovalWarning(const TWritePlan& plan) {
    const int removed = plan.Removed();
    if (removed == 0)
        return {};
    if (plan.Delete)
        return "A copy of the handset's " + plan.List + " goes to the backups folder first.";
    return "The replace deletes " + Counted(removed, "entry", "entries") + " of the handset that the " +
           plan.List + " being written does not hold; a copy of the handset's " + plan.List +
           " goes to the backups folder first.";
}
