#include "cli/VerifyCommands.h"

#include "cli/CliSession.h"
#include "cli/GroupCommands.h"
#include "cli/JsonOutput.h"
#include "cli/PhonebookCommands.h"
#include "cli/PlanReport.h"
#include "cli/ProfileCommands.h"
#include "cli/SpeedDialCommands.h"
#include "cli/Summary.h"
#include "lists/PhonebookPp6.h"
#include "profile/ProfileTransfer.h"

#include <QFileInfo>
#include <QJsonArray>

#include <functional>

namespace {

constexpr const char* Usage = "verify FILE.phb|.sdl|.BGL|.pro [FILE...] [--ignore-order]";

} // namespace

TFileWrite FileWriteOf(const std::string& path) {
    const QString suffix = QFileInfo(QString::fromStdString(path)).suffix().toLower();
    if (suffix == "phb")
        return {path,
                [path](TCliSession& s, const TGlobalOptions& o) {
                    return WritePhonebookFile(s, o, path, TWriteMode::Replace,
                                              TPhonebookTransfer::BackupKind);
                },
                true};
    if (suffix == "sdl")
        return {path,
                [path](TCliSession& s, const TGlobalOptions& o) { return WriteSpeedDialFile(s, o, path); }};
    if (suffix == "bgl")
        return {path, [path](TCliSession& s, const TGlobalOptions& o) {
                    return WriteGroupsFile(s, o, path, TWriteMode::Replace);
                }};
    if (suffix == "pro")
        return {path, [path](TCliSession& s, const TGlobalOptions& o) {
                    return WriteProfileFile(s, o, path, TProfileTransfer::BackupKind);
                }};
    throw TUsageError(path + ": verify compares .phb, .sdl, .BGL and .pro files (usage: quorvel-cli " +
                      Usage + ")");
}

namespace {

int Verify(const TGlobalOptions& options) {
    bool orderCounts = true;
    std::vector<TFileWrite> checks;
    for (const std::string& arg : options.args) {
        if (arg == "--ignore-order")
            orderCounts = false;
        else if (!arg.empty() && arg[0] == '-')
            throw TUsageError("usage: quorvel-cli " + std::string(Usage));
        else
            checks.push_back(FileWriteOf(arg));
    }
    if (checks.empty())
        throw TUsageError("usage: quorvel-cli " + std::string(Usage));
    // Every file is there before the handset is asked anything.
    for (const TFileWrite& check : checks)
        if (!QFileInfo(QString::fromStdString(check.path)).isFile())
            throw TInputError(check.path + ": no such file.");
    TCliSession session(options);
    // One connection step for every file: the handset found first is the one each plan is read from.
    session.Core().KeepConnection = true;
    QJsonArray files;
    int status = Exit::Done;
    for (const TFileWrite& check : checks) {
        const std::optional<TWritePlan> plan =
            PlanOnly(session, [&] { return check.write(session, options); });
        if (!plan) {
            files.append(QJsonObject{{"file", JsonPath(check.path)}, {"matches", QJsonValue()}});
            PrintMessage(check.path + ": the handset could not be read, so it is not known whether it holds "
                                      "what the file says.");
            status = Exit::Failed;
            continue;
        }
        const bool ordered = orderCounts && check.ordered;
        const bool matches = plan->Matches(ordered);
        files.append(
            QJsonObject{{"file", JsonPath(check.path)}, {"matches", matches}, {"plan", PlanJson(*plan)}});
        if (matches) {
            PrintResult(check.path + ": the handset holds what the file says (" + plan->List + ")" +
                        OfHandset() + ".");
            continue;
        }
        status = Exit::Failed;
        PrintResult(check.path + ": the handset differs (" + plan->List +
                    "; + only in the file, - only in the "
                    "handset, ~ changed)" +
                    OfHandset() + ":");
        PrintData(DifferencesText(*plan, ordered));
    }
    AddJson({{"files", files}, {"matches", status == Exit::Done}});
    return status;
}

} // namespace

std::vector<TCommand> VerifyCommands() {
    return {
        {"verify",
         {{"",
           "FILE.phb|.sdl|.BGL|.pro [FILE...] [--ignore-order]",
           "check that the handset holds what files say",
           "Reads the handset and compares it with each file: a phone book (.phb), a speed dial list "
           "(.sdl),\n"
           "broadcast groups (.BGL) or a profile (.pro). Exit 0 when it holds what every file says, 1 with\n"
           "the differences when not (\"+\" only in the file, \"-\" only in the handset, \"~\" changed).\n"
           "For a profile only the settings the file holds count; for a phone book the order of the\n"
           "entries counts unless --ignore-order is given. Nothing is written.\n",
           {{"--ignore-order", "", "a phone book in another order still matches"}},
           "quorvel-cli --port COM10,COM11 verify office.phb desk.sdl office.pro"}},
         Verify},
    };
}
