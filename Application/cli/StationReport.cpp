#include "cli/StationReport.h"

#include "cli/CliOptions.h"
#include "cli/Command.h"
#include "platform/ChangeChain.h"
#include "platform/ChangeLog.h"
#include "platform/ChangeStore.h"
#include "platform/StoreError.h"
#include "platform/TextFile.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <limits>

#include <string_view>

namespace {

constexpr std::string_view CsvHeader =
    "time,port,serial,outcome,exit status,operations,added,removed,changed,"
    "kept,not written,deleted,backups,message";
// The header of the reports of earlier versions, a change a row: a file that holds one is a report too.
constexpr std::string_view EarlierCsvHeader =
    "time,port,serial,operation,added,removed,changed,kept,not written,deleted,outcome,backup,message";
// A report is a few lines a port; a larger file is no report of ours.
constexpr size_t MostReportBytes = 16 << 20;

bool IsJson(const std::string& path) {
    return QString::fromStdString(path).endsWith(".json", Qt::CaseInsensitive);
}

bool IsCsv(const std::string& path) {
    return QString::fromStdString(path).endsWith(".csv", Qt::CaseInsensitive);
}

// Whether text is a report this program wrote.
bool IsReport(const std::string& path, const std::string& text) {
    if (IsJson(path)) {
        const QJsonObject report = QJsonDocument::fromJson(QByteArray::fromStdString(text)).object();
        return report.contains("since") && (report.contains("rows") || report.contains("changes"));
    }
    const std::string_view first = std::string_view(text).substr(0, text.find_first_of("\r\n"));
    return first == CsvHeader || first == EarlierCsvHeader;
}

std::string CsvField(const std::string& value) {
    if (value.find_first_of(",\"\r\n") == std::string::npos)
        return value;
    std::string quoted = "\"";
    for (const char c : value)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

// What the change log holds for one row: the operations, their counts added up, their backups.
struct TRowChanges {
    std::string Operations;
    std::optional<TChangeCounts> Counts;
    std::optional<int> Deleted;
    std::string Backups;
};

TRowChanges ChangesOf(const TStationReportRow& row, const std::vector<TChangeRecord>& changes) {
    TRowChanges of;
    const auto joined = [](std::string& list, const std::string& item) {
        if (!item.empty())
            list += (list.empty() ? "" : "; ") + item;
    };
    for (const TChangeRecord& change : changes) {
        if (change.Port != row.Port || (!row.Serial.empty() && change.Serial != row.Serial))
            continue;
        joined(of.Operations, change.Operation);
        joined(of.Backups, change.Backup);
        if (change.Changed) {
            TChangeCounts& sum = of.Counts ? *of.Counts : of.Counts.emplace();
            sum.Added += change.Changed->Added;
            sum.Removed += change.Changed->Removed;
            sum.Changed += change.Changed->Changed;
            sum.Kept += change.Changed->Kept;
            sum.NotWritten += change.Changed->NotWritten;
        }
        if (change.Deleted)
            of.Deleted = of.Deleted.value_or(0) + *change.Deleted;
    }
    return of;
}

} // namespace

const char* StationOutcome(int exitStatus) {
    switch (exitStatus) {
    case Exit::Done:
        return "done";
    case Exit::WrongCall:
    case Exit::NotConfirmed:
    case Exit::Declined:
        return "refused";
    case Exit::Stopped:
        return "stopped";
    default:
        return "failed";
    }
}

void CheckReportTarget(const std::string& path) {
    if (!IsCsv(path) && !IsJson(path))
        throw TUsageError("--report " + path + ": a station's report is FILE.csv or FILE.json");
    const QFileInfo info(QString::fromStdString(path));
    if (!info.exists())
        return;
    const std::string refusal = "--report " + path + ": ";
    if (!info.isFile())
        throw TInputError(refusal + "not a regular file; nothing was done.");
    std::string text;
    try {
        text = ReadFileBytes(path, MostReportBytes);
    } catch (const EFileError& e) {
        throw TInputError(refusal + e.what() + "; nothing was done.");
    }
    if (!text.empty() && !IsReport(path, text))
        throw TInputError(refusal + "it holds something other than a station's report, and is left as it is; "
                                    "name a new file. Nothing was done.");
}

int64_t StationLogEnd() {
    try {
        return ChangeStore().End();
    } catch (const std::runtime_error&) {
        return std::numeric_limits<int64_t>::max();
    }
}

void WriteStationReport(const std::string& path, const TStationStart& start,
                        const std::vector<TStationReportRow>& rows) {
    const std::string& since = start.Time;
    std::vector<TChangeRecord> changes;
    try {
        // One record an operation: its closing line, or its "begun" line where it never ended; only the
        // lines written since the station began, whatever their clock says.
        for (const TChangeRecord& change : PairedChanges(ChangeStore().Read({}, start.LogEnd).Changes))
            if (change.Via == "station")
                changes.push_back(change);
    } catch (const std::runtime_error& e) {
        PrintMessage("The change log cannot be read, so the report has each port's outcome without its "
                     "changes: " +
                     std::string(e.what()));
    }
    const auto count = [](const std::optional<TChangeCounts>& counts, int TChangeCounts::*which) {
        return counts ? std::to_string((*counts).*which) : std::string();
    };
    std::string text;
    if (IsJson(path)) {
        QJsonArray list;
        for (const TStationReportRow& row : rows) {
            const TRowChanges of = ChangesOf(row, changes);
            QJsonObject item{
                {"time", QString::fromStdString(row.Time)},
                {"port", QString::fromStdString(row.Port)},
                {"serial", row.Serial.empty() ? QJsonValue() : QString::fromStdString(row.Serial)},
                {"outcome", QString::fromStdString(row.Outcome)},
                {"exitStatus", row.ExitStatus},
                {"operations", QString::fromStdString(of.Operations)},
                {"backups", QString::fromStdString(of.Backups)},
                {"message", QString::fromUtf8(row.Message)}};
            if (of.Counts)
                item["changed"] = QJsonObject{{"added", of.Counts->Added},
                                              {"removed", of.Counts->Removed},
                                              {"changed", of.Counts->Changed},
                                              {"kept", of.Counts->Kept},
                                              {"notWritten", of.Counts->NotWritten}};
            if (of.Deleted)
                item["deleted"] = *of.Deleted;
            list.append(item);
        }
        text = QJsonDocument(QJsonObject{{"since", QString::fromStdString(since)}, {"rows", list}})
                   .toJson()
                   .toStdString();
    } else {
        text = std::string(CsvHeader) + "\r\n";
        for (const TStationReportRow& row : rows) {
            const TRowChanges of = ChangesOf(row, changes);
            text += CsvField(row.Time) + "," + CsvField(row.Port) + "," + CsvField(row.Serial) + "," +
                    CsvField(row.Outcome) + "," + std::to_string(row.ExitStatus) + "," +
                    CsvField(of.Operations) + "," + count(of.Counts, &TChangeCounts::Added) + "," +
                    count(of.Counts, &TChangeCounts::Removed) + "," +
                    count(of.Counts, &TChangeCounts::Changed) + "," + count(of.Counts, &TChangeCounts::Kept) +
                    "," + count(of.Counts, &TChangeCounts::NotWritten) + "," +
                    (of.Deleted ? std::to_string(*of.Deleted) : "") + "," + CsvField(of.Backups) + "," +
                    CsvField(row.Message) + "\r\n";
        }
    }
    // The log lines the report was cut from, their seals walked: whether any was changed since.
    std::string checked;
    try {
        const TChainCheck check = ChangeStore().Check(start.LogEnd);
        checked = check.Holds()
                      ? " Its change-log lines check: none was changed, removed or put in."
                      : " Its change-log lines do not check: line " + std::to_string(*check.BrokenLine) +
                            ": " + check.How + " (quorvel-cli log --check).";
    } catch (const std::runtime_error& e) {
        checked = " Its change-log lines could not be checked: " + std::string(e.what());
    }
    try {
        WriteFileDurably(path, text);
        PrintMessage("The station's report (" + Counted(long(rows.size()), "handset", "handsets") +
                     ") is in " + path + "." + checked);
    } catch (const EFileError& e) {
        PrintMessage("The station's report was not written: " + std::string(e.what()));
    }
}
