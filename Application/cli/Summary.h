#pragma once

#include "cli/CliOptions.h"
#include "cli/TerminalUser.h"
#include "link/HandsetChange.h"

#include <QJsonObject>

#include <string>

// How a write's last line names what it wrote ("Written: 3 entries; skipped as already held: 1; not
// written: 0."); the counts come from the outcome the read after the write measured.
struct TWriteSummary {
    // "entry", "entries"
    const char* one;
    const char* many;
    // The write itself went through (the outcome may still say the handset lacks something).
    bool ok = false;
    // Whether anything can be skipped as already held (not for profile settings).
    bool skips = true;
    // What was not written when nothing was sent and no plan says it (a profile's settings in its file).
    int notWritten = 0;
    // More fields for the JSON document.
    QJsonObject more{};
};

// The outcome's counts and result in the command's JSON document ("outcome", "added", "removed",
// "changed", "kept", "notWritten", "backup").
QJsonObject OutcomeJson(const THandsetOutcome& outcome);

// Prints what the read after the write found (under --json, the command's document says it) and gives
// the exit status the outcome stands for; a write the person refused or was not there to confirm has
// nothing to sum up.
int ReportWrite(const TTerminalUser& person, const THandsetOutcome& outcome, const TWriteSummary& summary);

// After a delete, from what the read after it found: what was emptied, where the handset's earlier list
// is kept, and the exit status. what names the list ("phone book").
int ReportDelete(const TTerminalUser& person, const THandsetOutcome& outcome, const std::string& what);
void ReportKept(const std::string& backup);

// " (handset 00291 0284280 at COM10)" after a summary, once the connection step has named the handset;
// empty before.
std::string OfHandset();
