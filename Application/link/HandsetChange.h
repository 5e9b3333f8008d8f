#pragma once

#include "link/HandsetConnection.h"
#include "platform/ChangeLog.h"
#include "platform/HandsetOutcome.h"
#include "platform/UserInteraction.h"
#include "platform/WritePlan.h"

#include <optional>
#include <string>

// Of a read after the writes: the plan from what the handset held before to what it holds now (as a
// replace, so that every difference shows) and the plan from what it holds now to what was wanted (what
// it still lacks). Added, removed, changed and kept come from the first; not written counts what the
// second would still add, change or leave out.
TChangeCounts MeasuredCounts(const TWritePlan& beforeToNow, const TWritePlan& nowToWanted);

// The steps every operation that changes a handset takes, in this order, whichever list it changes: the
// plan shown with the one question (the plan is the confirmation), the backup, the change log's "begun"
// line before the first mail that changes the handset, the writes with their stop points, the read after
// them, and the outcome with the log's closing line. A list kind supplies its plan, its writes and its
// read; the window, the command line, restore and provision all go through here.
class THandsetChange {
public:
    THandsetChange(THandsetConnection& link, TUserInteraction& ui);
    // An operation that began and never reached End (an exception ended it) is logged as unknown.
    ~THandsetChange();
    THandsetChange(const THandsetChange&) = delete;
    THandsetChange& operator=(const THandsetChange&) = delete;

    // Shows the plan; the person's answer to it is the operation's one question. False when the person
    // declined or a stop was asked for before it: then nothing is sent that changes the handset.
    bool Confirm(const TWritePlan& plan);
    // Just before the first mail that changes the handset (the backup is kept): a stop asked for by now, or
    // a change log that cannot take the operation (its server is away, said to the person), ends the
    // operation with nothing changed (false); else the change log's "begun" line is written.
    bool Begin(const char* operation, const TWritePlan* plan, const std::string& backup);
    // Whether Begin has gone through: a mail that changes the handset may have been sent.
    bool Begun() const { return Note.Open() || Ended; }
    // Hands the outcome to the person (ChangeEnded) and writes the closing line of the log from it; no line
    // when Begin never went through.
    void End(const THandsetOutcome& outcome, std::optional<int> deleted = std::nullopt);

    // The outcome of an operation that stopped, was declined or failed before Begin: nothing was changed.
    THandsetOutcome NothingChanged(const std::string& message = {}) const;

private:
    THandsetConnection& Link;
    TUserInteraction& Ui;
    TChangeNote Note;
    bool Ended = false;
    bool Declined = false;
    bool StoppedBefore = false;
    // Why the change log refused the operation.
    std::string Refused;
    // The plan shown, once Confirm had it.
    std::optional<TWritePlan> Planned;
};

// The log's word for an outcome.
TChangeOutcome ChangeOutcomeOf(const THandsetOutcome& outcome);
