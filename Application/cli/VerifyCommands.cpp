#include "cli/VerifyCommands.h"

#include "cli/CliSession.h"
#include "cli/FileKinds.h"
#include "cli/Help.h"
#include "cli/JsonOutput.h"
#include "cli/PlanReport.h"
#include "cli/PlanText.h"
#include "cli/Summary.h"
#include "link/StopRequest.h"
#include "platform/Texts.h"

#include <QFileInfo>
#include <QJsonArray>

#include <algorithm>
#include <functional>

namespace {} // namespace

namespace {

int Verify(const TGlobalOptions& options) {
    const bool orderCounts = !options.form.Has("--ignore-order");
    const bool transliterate = options.form.Has("--transliterate");
    std::vector<TFileWrite> checks;
    for (const std::string& path : options.form.Operands()) {
        if (!KnownFileKind(path))
            options.form.Refuse(path + ": verify compares .phb, .sdl, .BGL and .pro files");
        checks.push_back(FileWriteOf(path, transliterate));
    }
    if (checks.empty())
        RefuseCall("verify");
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
        int planned = Exit::Done;
        const std::optional<TWritePlan> plan =
            session.User().PlanOf([&] { return check.write(session); }, &planned);
        // A verify changes nothing: a stop while it reads is no failure and leaves nothing to say.
        if (StopRequested())
            throw TCommandStopped(Texts::StoppedAsAsked);
        // The file holds what no handset can hold: the messages before this name the line.
        if (planned == Exit::WrongCall) {
            files.append(
                QJsonObject{{"file", JsonPath(check.path)}, {"matches", false}, {"holdable", false}});
            PrintMessage(check.path +
                         ": the handset cannot hold what the file says, so no handset matches it.");
            status = Exit::WrongCall;
            continue;
        }
        if (!plan) {
            files.append(QJsonObject{{"file", JsonPath(check.path)}, {"matches", QJsonValue()}});
            PrintMessage(check.path + ": the handset could not be read, so it is not known whether it holds "
                                      "what the file says.");
            status = std::max(status, Exit::Failed);
            continue;
        }
        const bool ordered = orderCounts && check.ordered;
        const bool matches = plan->Matches(ordered);
        const bool holdable = std::none_of(plan->Lines.begin(), plan->Lines.end(),
                                           [](const TPlanLine& line) { return line.NotHoldable; });
        files.append(QJsonObject{{"file", JsonPath(check.path)},
                                 {"matches", matches},
                                 {"holdable", holdable},
                                 {"plan", PlanJson(*plan)}});
        if (matches) {
            PrintResult(check.path + ": the handset holds what the file says (" + plan->List + ")" +
                        OfHandset() + ".");
            continue;
        }
        status = std::max(status, holdable ? Exit::Failed : Exit::WrongCall);
        if (!holdable)
            PrintMessage(check.path +
                         ": lines marked \"!\" are what no handset can hold as the file writes them.");
        PrintResult(check.path + ": the handset differs (" + plan->List +
                    "; + only in the file, - only in the "
                    "handset, ~ changed)" +
                    OfHandset() + ":");
        PrintData(Toned(DifferencesText(*plan, ordered), TTone::Plan, stdout));
    }
    AddJson({{"files", files}, {"matches", status == Exit::Done}});
    return status;
}

} // namespace

std::vector<TCommand> VerifyCommands() {
    return {
        {"verify",
         {{"",
           "FILE.phb|.sdl|.BGL|.pro [FILE...] [--ignore-order] [--transliterate]",
           "check that the handset holds what files say",
           "Reads the handset and compares it with each file: a phone book (.phb), a speed dial list "
           "(.sdl),\n"
           "broadcast groups (.BGL) or a profile (.pro), each as the handset would hold it once written.\n"
           "Exit 0 when it holds what every file says, 1 with the differences when not (\"+\" only in\n"
           "the file, \"-\" only in the handset, \"~\" changed), 2 when a file holds what no handset can\n"
           "hold (a name without a number, more entries than it has room for), naming the line. For a\n"
           "profile only the settings the file holds count; for a phone book the order of the entries\n"
           "counts unless --ignore-order is given. Nothing is written.\n",
           {{"--ignore-order", "", "a phone book in another order still matches"},
            {"--transliterate", "", "compare names with the nearest letters the handset has"}},
           "quorvel-cli --port COM10,COM11 verify office.phb desk.sdl office.pro"}},
         Verify},
    };
}
