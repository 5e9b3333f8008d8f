#include "cli/SpeedDialCommands.h"

#include "cli/CliSession.h"
#include "lists/SpeedDial.h"
#include "lists/SpeedDialTransfer.h"
#include "platform/PhoneBookResourceStrings.h"
#include "platform/TextFile.h"

#include <QFile>

#include <cstdio>
#include <stdexcept>

namespace {

constexpr const char* Usage = "read [-o FILE.sdl] | write FILE.sdl | delete";

[[noreturn]] void UsageError() {
    throw TUsageError(std::string("usage: quorvel-cli speed-dial ") + Usage);
}

void ReportBackup(const TSpeedDialTransfer& transfer) {
    if (!transfer.BackupPath().empty())
        std::fprintf(stderr, "The handset's earlier list is kept in %s.\n", transfer.BackupPath().c_str());
}

int SpeedDial(const TGlobalOptions& options) {
    const std::vector<std::string>& args = options.args;
    if (args.empty())
        UsageError();
    TPP5SpeedDial list;
    if (args[0] == "read" &&
        (args.size() == 1 || (args.size() == 3 && (args[1] == "-o" || args[1] == "--output")))) {
        TCliSession session(options);
        session.OpenPort();
        TSpeedDialTransfer transfer(session.Core(), session.User(), list);
        if (!transfer.LoadFromHandset())
            return 1;
        if (args.size() == 1) {
            const std::string text = SpeedDialListText(list);
            std::fwrite(text.data(), 1, text.size(), stdout);
            return 0;
        }
        try {
            SaveSpeedDialList(args[2], list);
        } catch (const std::exception& e) {
            throw TCommandFailure(std::string(Texts::CouldNotSaveList) + ": " + e.what());
        }
        std::printf("Speed dial list saved to %s\n", args[2].c_str());
        return 0;
    }
    if (args[0] == "write" && args.size() == 2 && !args[1].empty() && args[1][0] != '-') {
        if (!QFile::exists(QString::fromStdString(args[1])))
            throw TCommandFailure("Could not read " + args[1] + ".");
        LoadSpeedDialList(args[1], list);
        TCliSession session(options);
        session.OpenPort();
        TSpeedDialTransfer transfer(session.Core(), session.User(), list);
        const bool ok = transfer.SaveToHandset();
        if (ok)
            ReportBackup(transfer);
        return ok ? 0 : 1;
    }
    if (args[0] == "delete" && args.size() == 1) {
        TCliSession session(options);
        session.OpenPort();
        TSpeedDialTransfer transfer(session.Core(), session.User(), list);
        const bool ok = transfer.DeleteInHandset();
        if (ok)
            ReportBackup(transfer);
        return ok ? 0 : 1;
    }
    UsageError();
}

} // namespace

std::vector<TCommand> SpeedDialCommands() {
    return {
        {"speed-dial", "read|write|delete ...", "the handset's speed dial list and .sdl files",
         std::string("usage: quorvel-cli speed-dial ") + Usage +
             "\n\n"
             "read      reads the eleven speed dial numbers (keys 0 to 9 and the alarm key); the .sdl text\n"
             "          goes to stdout, or to FILE with -o.\n"
             "write     writes the numbers FILE holds into the handset (asks, or --yes).\n"
             "delete    empties the handset's speed dial list (asks, or --yes).\n"
             "Before a write or delete the handset's list is kept in a dated .sdl file in the backups "
             "folder\n"
             "of the per-user folder. Only handsets of software level 6 or 7 have a speed dial list.\n"
             "Exit status 1 when the handset or a file failed; 2 for a wrong call.",
         SpeedDial},
    };
}
