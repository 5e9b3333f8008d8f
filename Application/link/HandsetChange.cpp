#include "link/HandsetChange.h"

#include "link/StopRequest.h"
#include "platform/Texts.h"

TChangeCounts MeasuredCounts(const TWritePlan& beforeToNow, const TWritePlan& nowToWanted) {
    TChangeCounts counts = ChangeCountsOf(beforeToNow);
    counts.NotWritten = nowToWanted.Count(TPlanStep::Add) + nowToWanted.Count(TPlanStep::Change) +
                        nowToWanted.Count(TPlanStep::NotWritten);
    return counts;
}

TChangeOutcome ChangeOutcomeOf(const THandsetOutcome& outcome) {
    switch (outcome.Result) {
    case TChangeResult::Done:
    case TChangeResult::AlreadyHeld:
        return TChangeOutcome::Done;
    case TChangeResult::Unknown:
        return TChangeOutcome::Unknown;
    case TChangeResult::NotChanged:
    case TChangeResult::Partial:
        break;
    }
    return outcome.Stopped ? TChangeOutcome::Stopped : TChangeOutcome::Failed;
}

THandsetChange::THandsetChange(THandsetConnection& link, TUserInteraction& ui)
    : Link(link)
    , Ui(ui) {}

THandsetChange::~THandsetChange() {
    if (!Note.Open())
        return;
    THandsetOutcome unknown;
    unknown.Result = TChangeResult::Unknown;
    unknown.Stopped = StopRequested();
    try {
        Ended = true;
        Note.End(Ui, Link.Identity(), std::nullopt, {}, TChangeOutcome::Unknown);
    } catch (...) {
        // A destructor must not throw; the "begun" line stays and says the operation never ended.
    }
}

bool THandsetChange::Confirm(const TWritePlan& plan) {
    if (StopRequested()) {
        StoppedBefore = true;
        Ui.ShowStatus(Texts::PlanNotCarriedOut);
        return false;
    }
    Planned = plan;
    if (!Ui.ConfirmPlan(plan)) {
        Declined = !StopRequested();
        StoppedBefore = StopRequested();
        Ui.ShowStatus(Texts::PlanNotCarriedOut);
        return false;
    }
    return true;
}

bool THandsetChange::Begin(const char* operation, const TWritePlan* plan, const std::string& backup) {
    if (StopRequested()) {
        StoppedBefore = true;
        Ui.ShowStatus(Texts::PlanNotCarriedOut);
        return false;
    }
    // A log that cannot take the operation's first row (its server is away) stops it before it begins.
    if (const std::string refused = Note.Begin(Ui, Link.Identity(), operation, plan, backup);
        !refused.empty()) {
        Refused = refused + " " + Texts::PlanNotCarriedOut;
        Ui.Message(TMessageKind::Error, Refused, TButtons::Ok);
        return false;
    }
    return true;
}

void THandsetChange::End(const THandsetOutcome& outcome, std::optional<int> deleted) {
    Ui.ChangeEnded(outcome);
    if (!Note.Open())
        return;
    Ended = true;
    Note.End(Ui, Link.Identity(), outcome.Held, outcome.Backup, ChangeOutcomeOf(outcome), outcome.Message,
             deleted);
}

THandsetOutcome THandsetChange::NothingChanged(const std::string& message) const {
    THandsetOutcome outcome;
    outcome.Result = TChangeResult::NotChanged;
    outcome.Declined = Declined;
    outcome.Stopped = StoppedBefore || StopRequested();
    outcome.Message = Refused.empty() ? message : Refused;
    // Nothing was sent: the handset lacks all the plan would have written.
    outcome.Lacking = Planned;
    return outcome;
}
