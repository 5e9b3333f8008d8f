#include "cli/SpeedDialCommands.h"

#include "cli/CliSession.h"
#include "cli/Help.h"
#include "cli/JsonOutput.h"
#include "cli/PlanReport.h"
#include "cli/Summary.h"
#include "lists/SpeedDial.h"
#include "lists/SpeedDialTransfer.h"
#include "platform/TextFile.h"
#include "platform/Texts.h"

#include <QFile>

#include <cstdio>
#include <stdexcept>

int WriteSpeedDialFile(TCliSession& session, const std::string& path) {
    TPP5SpeedDial list;
    try {
        LoadSpeedDialList(path, list);
    } catch (const EUnusableFile& e) {
        throw TInputError(e.what());
    }
    session.OpenPort();
    TSpeedDialTransfer transfer(session.Core(), session.User(), list);
    const bool unsendable = list.FirstUnsendable().has_value();
    const bool ok = transfer.SaveToHandset();
    if (!ok && unsendable)
        return Exit::WrongCall;
    if (session.User().Given.dryRun)
        return DryRunOutcome(session);
    TWriteSummary summary{"speed dial key", "speed dial keys", ok};
    return ReportWrite(session.User(), transfer.LastOutcome(), summary);
}

namespace {

[[noreturn]] void UsageError() {
    RefuseCall("speed-dial");
}

int SpeedDial(const TGlobalOptions& options) {
    const TFormArgs& form = options.form;
    const std::string what = options.args.empty() ? "" : options.args[0];
    TPP5SpeedDial list;
    if (what == "read" && form.Operands().empty()) {
        TCliSession session(options);
        session.OpenPort();
        TSpeedDialTransfer transfer(session.Core(), session.User(), list);
        if (!transfer.LoadFromHandset())
            return Exit::Failed;
        QJsonArray keys;
        for (int k = 0; k < TPP5SpeedDial::Keys; ++k)
            keys.append(
                QJsonObject{{"key", SpeedDialKeyName(k)}, {"number", JsonText(list.Numbers[size_t(k)])}});
        AddJson({{"keys", keys}});
        const std::string output = form.Value("-o").value_or("-");
        if (output == "-") {
            PrintData(SpeedDialListText(list));
            return Exit::Done;
        }
        try {
            SaveSpeedDialList(output, list);
        } catch (const std::exception& e) {
            throw TCommandFailure(std::string(Texts::CouldNotSaveList) + ": " + e.what());
        }
        ReportSaved("Speed dial list saved to " + output, output);
        return Exit::Done;
    }
    if (what == "write") {
        // The file is read before the port is opened: an unusable one sends nothing.
        const std::string& file = form.Operand("FILE.sdl");
        TCliSession session(options);
        return WriteSpeedDialFile(session, file);
    }
    if (what == "delete" && form.Operands().empty()) {
        TCliSession session(options);
        session.OpenPort();
        TSpeedDialTransfer transfer(session.Core(), session.User(), list);
        transfer.DeleteInHandset();
        if (session.User().Given.dryRun)
            return DryRunOutcome(session);
        return ReportDelete(session.User(), transfer.LastOutcome(), "speed dial list");
    }
    UsageError();
}

} // namespace

std::vector<TCommand> SpeedDialCommands() {
    return {
        {"speed-dial",
         {{"read", "[-o FILE.sdl]", "read the handset's eleven speed dial numbers",
           "Reads the speed dial numbers of keys 0 to 9 and the alarm key; the .sdl text goes to stdout, or\n"
           "to FILE. Only handsets of software level 6 or 7 have a speed dial list.\n",
           OutputOptions("FILE.sdl"), "quorvel-cli speed-dial read -o desk.sdl"},
          {"write",
           "FILE.sdl",
           "write the numbers a .sdl file holds",
           "Writes the numbers FILE holds into the handset (asks, or --yes). The handset's list is kept in "
           "a\n"
           "dated .sdl file in the backups folder first.\n",
           {},
           "quorvel-cli --port COM10,COM11 --yes speed-dial write desk.sdl",
           true,
           true,
           true},
          {"delete",
           "",
           "empty the handset's speed dial list",
           "Empties the handset's speed dial list (asks, or --yes); it is kept in the backups folder "
           "first.\n",
           {},
           "quorvel-cli --yes speed-dial delete",
           true,
           true,
           true}},
         SpeedDial},
    };
}
