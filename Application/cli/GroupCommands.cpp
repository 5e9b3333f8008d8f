#include "cli/GroupCommands.h"

#include "cli/CliSession.h"
#include "lists/BroadcastGroups.h"
#include "lists/BroadcastGroupsTransfer.h"
#include "platform/PhoneBookResourceStrings.h"

#include <QFile>

#include <cstdio>

namespace {

constexpr const char* Usage = "read [-o FILE.BGL] | write FILE.BGL --add|--replace | delete";

[[noreturn]] void UsageError() {
    throw TUsageError(std::string("usage: quorvel-cli groups ") + Usage);
}

void ReportBackup(const TBroadcastGroupsTransfer& transfer) {
    if (!transfer.BackupPath().empty())
        std::fprintf(stderr, "The handset's earlier groups are kept in %s.\n", transfer.BackupPath().c_str());
}

int Read(const TGlobalOptions& options, const std::vector<std::string>& args) {
    TBroadcastGroups groups;
    TCliSession session(options);
    session.OpenPort();
    TBroadcastGroupsTransfer transfer(session.Core(), session.User(), groups);
    if (!transfer.LoadFromHandset())
        return 1;
    if (args.size() == 1) {
        const std::string text = BroadcastGroupsText(groups);
        std::fwrite(text.data(), 1, text.size(), stdout);
        return 0;
    }
    if (!groups.SaveToFile(args[2]))
        throw TCommandFailure(std::string(Texts::CouldNotWriteFile) + " (" + args[2] + ")");
    std::printf("Broadcast groups saved to %s\n", args[2].c_str());
    return 0;
}

int Write(const TGlobalOptions& options, const std::string& path, TWriteMode mode) {
    TBroadcastGroups groups;
    if (!QFile::exists(QString::fromStdString(path)) || !groups.LoadFromFile(path))
        throw TCommandFailure(std::string(Texts::CouldNotReadFile) + " (" + path +
                              ": a list of broadcast groups has sixteen lines)");
    TCliSession session(options);
    session.OpenPort();
    session.User().PresetWriteMode = mode;
    TBroadcastGroupsTransfer transfer(session.Core(), session.User(), groups);
    const bool ok = transfer.SaveToHandset();
    if (ok && transfer.Ignored() > 0)
        std::fprintf(stderr, "Groups the handset already belonged to, not added again: %d.\n",
                     transfer.Ignored());
    if (ok)
        ReportBackup(transfer);
    return ok ? 0 : 1;
}

int Groups(const TGlobalOptions& options) {
    const std::vector<std::string>& args = options.args;
    if (args.empty())
        UsageError();
    if (args[0] == "read" &&
        (args.size() == 1 || (args.size() == 3 && (args[1] == "-o" || args[1] == "--output"))))
        return Read(options, args);
    if (args[0] == "write" && args.size() == 3) {
        // The file and the mode, in either order.
        const bool modeFirst = args[1].starts_with("--");
        const std::string& path = modeFirst ? args[2] : args[1];
        const std::string& mode = modeFirst ? args[1] : args[2];
        if (!path.empty() && path[0] != '-' && (mode == "--add" || mode == "--replace"))
            return Write(options, path, mode == "--add" ? TWriteMode::Add : TWriteMode::Replace);
    }
    if (args[0] == "delete" && args.size() == 1) {
        TBroadcastGroups groups;
        TCliSession session(options);
        session.OpenPort();
        TBroadcastGroupsTransfer transfer(session.Core(), session.User(), groups);
        const bool ok = transfer.DeleteInHandset();
        if (ok)
            ReportBackup(transfer);
        return ok ? 0 : 1;
    }
    UsageError();
}

} // namespace

std::vector<TCommand> GroupCommands() {
    return {
        {"groups", "read|write|delete ...", "the handset's broadcast groups and .BGL files",
         std::string("usage: quorvel-cli groups ") + Usage +
             "\n\n"
             "read      reads the groups the handset belongs to (up to sixteen, each 0 to 255); the .BGL\n"
             "          text (sixteen lines, one slot a line) goes to stdout, or to FILE with -o.\n"
             "write     adds the groups FILE holds to the handset's (--add), or replaces the handset's\n"
             "          groups with them (--replace). A group the handset already belongs to is asked\n"
             "          about at a terminal (abort or ignore); with --yes it is skipped with a message.\n"
             "delete    removes every group from the handset (asks, or --yes).\n"
             "Before a replace or delete the handset's groups are kept in a dated .BGL file in the backups\n"
             "folder of the per-user folder.\n"
             "Exit status 1 when the handset or a file failed; 2 for a wrong call.",
         Groups},
    };
}
