#include "cli/Summary.h"

#include "cli/Command.h"
#include "cli/HandsetReport.h"
#include "cli/JsonOutput.h"
#include "cli/TerminalUser.h"

#include "platform/AnsiText.h"

#include <cstdio>
#include <cstring>
#include <langinfo.h>
#include <unistd.h>

int ReportWrite(const TGlobalOptions&, const TWriteSummary& summary) {
    // A write the person was not there to confirm did nothing to sum up.
    if (TTerminalUser::ConfirmationRefused())
        return Exit::NotConfirmed;
    if (TTerminalUser::ConfirmationDeclined())
        return Exit::Declined;
    if (JsonWanted()) {
        QJsonObject document = summary.more;
        document["written"] = summary.written;
        document["skipped"] = summary.skipped;
        document["notWritten"] = summary.notWritten;
        if (!summary.backup.empty())
            document["backup"] = JsonPath(summary.backup);
        AddJson(document);
    } else {
        ReportKept(summary.backup);
        const std::string skipped =
            summary.skips ? "; skipped as already held: " + std::to_string(summary.skipped) : std::string();
        std::printf("Written: %s%s; not written: %d%s.\n",
                    Counted(summary.written, summary.one, summary.many).c_str(), skipped.c_str(),
                    summary.notWritten, OfHandset().c_str());
    }
    return summary.ok ? Exit::Done : Exit::Failed;
}

void ReportKept(const std::string& backup) {
    if (!backup.empty())
        PrintMessage("The handset's earlier list is kept in " + backup + ".");
}

int ReportDelete(bool ok, const std::string& what, const std::string& backup) {
    if (!ok)
        return Exit::Failed;
    ReportKept(backup);
    if (!backup.empty())
        AddJson({{"backup", JsonPath(backup)}});
    PrintResult("Deleted: the handset's " + what + OfHandset() + ".");
    return Exit::Done;
}

void PrintResult(const std::string& line) {
    if (!JsonWanted())
        std::printf("%s\n", line.c_str());
}

void PrintData(const std::string& text) {
    if (JsonWanted())
        return;
    const bool utf8Terminal = isatty(STDOUT_FILENO) && std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
    const std::string shown = utf8Terminal ? FromAnsi(text).toStdString() : text;
    std::fwrite(shown.data(), 1, shown.size(), stdout);
}

void ReportSaved(const std::string& line, const std::string& path) {
    AddJson({{"file", JsonPath(path)}});
    PrintResult(line);
}

std::string OfHandset() {
    const THandsetIdentity* handset = IdentifiedHandset();
    return handset ? " (handset " + handset->Describe() + ")" : std::string();
}
