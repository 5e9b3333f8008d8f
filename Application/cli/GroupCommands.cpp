#include "cli/GroupCommands.h"

#include "cli/CliSession.h"
#include "cli/Help.h"
#include "cli/JsonOutput.h"
#include "cli/PlanReport.h"
#include "cli/Summary.h"
#include "lists/BroadcastGroups.h"
#include "lists/BroadcastGroupsTransfer.h"
#include "platform/TextFile.h"
#include "platform/Texts.h"

#include <QFile>

#include <cstdio>

namespace {

[[noreturn]] void UsageError() {
    RefuseCall("groups");
}

int Read(const TGlobalOptions& options) {
    TBroadcastGroups groups;
    TCliSession session(options);
    session.OpenPort();
    TBroadcastGroupsTransfer transfer(session.Core(), session.User(), groups);
    if (!transfer.LoadFromHandset())
        return Exit::Failed;
    QJsonArray list;
    for (const std::string& group : groups.Groups)
        list.append(JsonText(group));
    AddJson({{"groups", list}});
    const std::string output = options.form.Value("-o").value_or("-");
    if (output == "-") {
        PrintData(BroadcastGroupsText(groups));
        return Exit::Done;
    }
    try {
        groups.SaveToFile(output);
    } catch (const EFileError& e) {
        throw TCommandFailure(std::string(Texts::CouldNotWriteFile) + " (" + e.what() + ")");
    }
    ReportSaved("Broadcast groups saved to " + output, output);
    return Exit::Done;
}

} // namespace

int WriteGroupsFile(TCliSession& session, const std::string& path, TWriteMode mode) {
    TBroadcastGroups groups;
    try {
        groups.LoadFromFile(path);
    } catch (const std::exception& e) {
        throw TInputError(std::string(Texts::CouldNotReadFile) + " (" + e.what() + ")");
    }
    session.OpenPort();
    session.User().Given.writeMode = mode;
    TBroadcastGroupsTransfer transfer(session.Core(), session.User(), groups);
    const bool unsendable = groups.FirstUnsendable().has_value();
    const bool ok = transfer.SaveToHandset();
    if (!ok && unsendable)
        return Exit::WrongCall;
    if (session.User().Given.dryRun)
        return DryRunOutcome(session);
    TWriteSummary summary{"group", "groups", ok};
    return ReportWrite(session.User(), transfer.LastOutcome(), summary);
}

namespace {

int Groups(const TGlobalOptions& options) {
    const TFormArgs& form = options.form;
    const std::string what = options.args.empty() ? "" : options.args[0];
    if (what == "read" && form.Operands().empty())
        return Read(options);
    if (what == "write") {
        // The file and the mode, in either order.
        const std::string& path = form.Operand("FILE.BGL");
        const std::optional<std::string> mode = form.OneOf({"--add", "--replace"});
        if (!mode)
            form.Refuse("--add or --replace is needed");
        TCliSession session(options);
        return WriteGroupsFile(session, path, *mode == "--add" ? TWriteMode::Add : TWriteMode::Replace);
    }
    if (what == "delete" && form.Operands().empty()) {
        TBroadcastGroups groups;
        TCliSession session(options);
        session.OpenPort();
        TBroadcastGroupsTransfer transfer(session.Core(), session.User(), groups);
        transfer.DeleteInHandset();
        if (session.User().Given.dryRun)
            return DryRunOutcome(session);
        return ReportDelete(session.User(), transfer.LastOutcome(), "broadcast groups");
    }
    UsageError();
}

} // namespace

std::vector<TCommand> GroupCommands() {
    return {
        {"groups",
         {{"read", "[-o FILE.BGL]", "read the broadcast groups the handset belongs to",
           "Reads the groups the handset belongs to (up to sixteen, each 0 to 255); the .BGL text (sixteen\n"
           "lines, one slot a line) goes to stdout, or to FILE.\n",
           OutputOptions("FILE.BGL"), "quorvel-cli groups read -o site.BGL"},
          {"write",
           "FILE.BGL --add|--replace",
           "add or replace the handset's groups",
           "Adds the groups FILE holds to the handset's (--add), or replaces the handset's groups with them\n"
           "(--replace). A group the handset already belongs to is asked about at a terminal (abort or\n"
           "ignore); with --yes it is passed over with a message. Before a replace the handset's groups are\n"
           "kept in a dated .BGL file in the backups folder. Ends with a summary line.\n",
           {{"--add", "", "add to the handset's groups"}, {"--replace", "", "replace the handset's groups"}},
           "quorvel-cli --yes groups write site.BGL --add",
           true,
           true,
           true},
          {"delete",
           "",
           "remove every group from the handset",
           "Removes every group from the handset (asks, or --yes); they are kept in the backups folder "
           "first.\n",
           {},
           "quorvel-cli --yes groups delete",
           true,
           true,
           true}},
         Groups},
    };
}
