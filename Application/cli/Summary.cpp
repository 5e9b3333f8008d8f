#include "cli/Summary.h"

#include "cli/Command.h"
#include "cli/HandsetReport.h"
#include "cli/JsonOutput.h"

#include "platform/Texts.h"

#include <cstdio>

namespace {

const char* ResultName(TChangeResult result) {
    switch (result) {
    case TChangeResult::Done:
        return "done";
    case TChangeResult::AlreadyHeld:
        return "already held";
    case TChangeResult::NotChanged:
        return "not changed";
    case TChangeResult::Partial:
        return "part-way";
    case TChangeResult::Unknown:
        return "unknown";
    }
    return "";
}

// A write that stopped before its first write mail: nothing to count.
bool ReportedWithoutCounts(const THandsetOutcome& outcome) {
    if (outcome.Result == TChangeResult::NotChanged && outcome.Stopped) {
        PrintMessage(Texts::StoppedNothingChanged);
        return true;
    }
    return false;
}

// Whose end could not be read: said so, and the operation's counts go no further than the handset's own
// answers confirmed.
void ReportUnread(const THandsetOutcome& outcome) {
    if (outcome.Result != TChangeResult::Unknown)
        return;
    PrintMessage(std::string("What the handset holds after the operation could not be read back") +
                 OfHandset() + (outcome.Known ? "; the counts below are what its answers confirmed." : "."));
}

} // namespace

QJsonObject OutcomeJson(const THandsetOutcome& outcome) {
    QJsonObject document{{"outcome", ResultName(outcome.Result)}, {"stopped", outcome.Stopped}};
    if (outcome.Held) {
        document["added"] = outcome.Held->Added;
        document["removed"] = outcome.Held->Removed;
        document["changed"] = outcome.Held->Changed;
        document["kept"] = outcome.Held->Kept;
        document["notWritten"] = outcome.Held->NotWritten;
    } else {
        document["notWritten"] = QJsonValue::Null;
    }
    if (!outcome.Backup.empty())
        document["backup"] = JsonPath(outcome.Backup);
    return document;
}

int ReportWrite(const TTerminalUser& person, const THandsetOutcome& outcome, const TWriteSummary& summary) {
    // A write the person was not there to confirm did nothing to sum up.
    if (person.ConfirmationRefused())
        return Exit::NotConfirmed;
    if (person.ConfirmationDeclined())
        return Exit::Declined;
    const bool ok = summary.ok && outcome.Ok();
    if (JsonWanted()) {
        QJsonObject document = summary.more;
        const QJsonObject measured = OutcomeJson(outcome);
        for (auto it = measured.begin(); it != measured.end(); ++it)
            document[it.key()] = it.value();
        if (const auto& c = outcome.Held ? outcome.Held : outcome.Known) {
            document["written"] = c->Added + c->Changed;
            document["skipped"] = summary.skips ? outcome.Skipped : 0;
        }
        if (outcome.Known)
            document["confirmedWritten"] = outcome.Known->Added + outcome.Known->Changed;
        AddJson(document);
        return ok ? Exit::Done : Exit::Failed;
    }
    if (ReportedWithoutCounts(outcome))
        return ok ? Exit::Done : Exit::Failed;
    ReportKept(outcome.Backup);
    ReportUnread(outcome);
    if (outcome.Result == TChangeResult::Unknown && !outcome.Known)
        return Exit::Failed;
    // Without a read (nothing was sent), nothing was written of what was asked for: all the plan would
    // have written.
    const int planned = outcome.Lacking ? outcome.Lacking->Count(TPlanStep::Add) +
                                              outcome.Lacking->Count(TPlanStep::Change) +
                                              outcome.Lacking->Count(TPlanStep::NotWritten)
                                        : summary.notWritten;
    const TChangeCounts c = outcome.Held.value_or(outcome.Known.value_or(TChangeCounts{0, 0, 0, 0, planned}));
    std::string text = "Written: " + Counted(c.Added + c.Changed, summary.one, summary.many);
    if (c.Removed > 0)
        text += "; removed: " + std::to_string(c.Removed);
    if (summary.skips)
        text += "; skipped as already held: " + std::to_string(outcome.Skipped);
    std::printf("%s; not written: %d%s.\n", text.c_str(), c.NotWritten, OfHandset().c_str());
    return ok ? Exit::Done : Exit::Failed;
}

int ReportDelete(const TTerminalUser& person, const THandsetOutcome& outcome, const std::string& what) {
    if (person.ConfirmationRefused())
        return Exit::NotConfirmed;
    if (person.ConfirmationDeclined())
        return Exit::Declined;
    AddJson(OutcomeJson(outcome));
    if (ReportedWithoutCounts(outcome))
        return Exit::Failed;
    ReportUnread(outcome);
    if (!outcome.Ok())
        return Exit::Failed;
    ReportKept(outcome.Backup);
    PrintResult("Deleted: the handset's " + what + OfHandset() + ".");
    return Exit::Done;
}

void ReportKept(const std::string& backup) {
    if (!backup.empty())
        PrintMessage("The handset's earlier list is kept in " + backup + ".");
}

std::string OfHandset() {
    const THandsetIdentity* handset = IdentifiedHandset();
    return handset ? " (handset " + handset->Describe() + ")" : std::string();
}
