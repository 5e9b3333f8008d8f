#pragma once

#include "cli/CliOptions.h"

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
};

// Prints the summary and gives the exit status the outcome stands for.
int ReportWrite(const TGlobalOptions& options, const TWriteSummary& summary);

// After a delete: where the handset's earlier list is kept, and the exit status.
int ReportDelete(bool ok, const std::string& backup);
void ReportKept(const std::string& backup);
