#include "cli/Summary.h"

#include "cli/Command.h"
#include "cli/JsonOutput.h"
#include "cli/TerminalUser.h"

#include <cstdio>

int ReportWrite(const TGlobalOptions& options, const TWriteSummary& summary) {
    // A write the person was not there to confirm did nothing to sum up.
    if (TTerminalUser::ConfirmationRefused())
        return Exit::NotConfirmed;
    if (TTerminalUser::ConfirmationDeclined())
        return Exit::Declined;
    if (options.json) {
        QJsonObject document = summary.more;
        document["ok"] = summary.ok;
        document["written"] = summary.written;
        document["skipped"] = summary.skipped;
        document["notWritten"] = summary.notWritten;
        if (!summary.backup.empty())
            document["backup"] = JsonText(summary.backup);
        PrintJson(document);
    } else {
        ReportKept(summary.backup);
        const std::string skipped =
            summary.skips ? "; skipped as already held: " + std::to_string(summary.skipped) : std::string();
        std::printf("Written: %s%s; not written: %d.\n",
                    Counted(summary.written, summary.one, summary.many).c_str(), skipped.c_str(),
                    summary.notWritten);
    }
    return summary.ok ? Exit::Done : Exit::Failed;
}

void ReportKept(const std::string& backup) {
    if (!backup.empty())
        PrintMessage("The handset's earlier list is kept in " + backup + ".");
}

int ReportDelete(bool ok, const std::string& backup) {
    if (ok)
        ReportKept(backup);
    return ok ? Exit::Done : Exit::Failed;
}
