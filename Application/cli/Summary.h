#pragma once

#include "cli/CliOptions.h"
#include "cli/TerminalUser.h"
#include "link/HandsetChange.h"

#include <QJsonObject>

#include <string>

// What a write did, as its last line ("Written: 3 entries; skipped as already held: 1; not written:
// 0.") or, under --json, as the command's one document.
struct TWriteSummary {
    // "entry", "entries"
    const char* one;
    const char* many;
    bool ok = false;
    int written = 0;
    int skipped = 0;
    int notWritten = 0;
    std::string backup{};
    // Whether anything can be skipped as already held (not for profile settings).
    bool skips = true;
    // More fields for the JSON document.
    QJsonObject more{};
    // What the read after the write found: where given, the counts, the backup and the outcome come from
    // it alone, not from the fields above.
    const THandsetOutcome* outcome = nullptr;
};

// The outcome's counts and result in the command's JSON document ("outcome", "added", "removed",
// "changed", "kept", "notWritten", "backup").
QJsonObject OutcomeJson(const THandsetOutcome& outcome);

// Prints the summary and gives the exit status the outcome stands for; a write the person refused or
// was not there to confirm has nothing to sum up.
int ReportWrite(const TTerminalUser& person, const TWriteSummary& summary);

// After a delete, from what the read after it found: what was emptied, where the handset's earlier list
// is kept, and the exit status. what names the list ("phone book").
int ReportDelete(const TTerminalUser& person, const THandsetOutcome& outcome, const std::string& what);
void ReportKept(const std::string& backup);

// " (handset 00291 0284280 at COM10)" after a summary, once the connection step has named the handset;
// empty before.
std::string OfHandset();
