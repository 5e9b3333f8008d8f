#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The report a station writes on request (--report FILE.csv or FILE.json): one row per port and handset,
// with its outcome as the run found it and the changes its programs noted in the change log, whether or
// not the log could be read.

// One port's handset as the station saw it end.
struct TStationReportRow {
    std::string Time;
    std::string Port;
    // The handset's serial number text; empty when none was named.
    std::string Serial;
    // "provisioned", "verified", "done", "failed", "refused", "stopped".
    std::string Outcome;
    int ExitStatus = 0;
    std::string Message;
};

// The outcome word of a program's exit status: 0 done, 2 to 4 refused (nothing was sent), 5 stopped,
// else failed.
const char* StationOutcome(int exitStatus);

// Refuses (TUsageError, TInputError) a report file that would replace something that is not a report: a
// name not ending in .csv or .json, or an existing file that is neither empty nor an earlier station
// report (the change log, a table of handsets, a person's notes) is left as it is. Called before any
// handset is touched.
void CheckReportTarget(const std::string& path);

// Where the station began: its time, and the end of the change log then (TChangeStore::End).
struct TStationStart {
    std::string Time;
    int64_t LogEnd = 0;
};

// The end of the change log now; where the log cannot be read (its server is away), one past every row
// it may hold, so that the report takes none from before the station.
int64_t StationLogEnd();

// Writes the rows, each with the changes the change log holds for its port and handset since the
// station began (those of the station's own programs), as CSV or JSON by the name's ending; says where,
// or why not.
void WriteStationReport(const std::string& path, const TStationStart& start,
                        const std::vector<TStationReportRow>& rows);
