#include "cli/BackupCommands.h"
#include "cli/Command.h"
#include "cli/DoctorCommands.h"
#include "cli/GroupCommands.h"
#include "cli/HandsetsCommands.h"
#include "cli/Help.h"
#include "cli/JsonOutput.h"
#include "cli/LinkCommands.h"
#include "cli/LogCommands.h"
#include "cli/PhonebookCommands.h"
#include "cli/ProfileCommands.h"
#include "cli/ProvisionCommands.h"
#include "cli/RecordsCommands.h"
#include "cli/SimCommands.h"
#include "cli/SpeedDialCommands.h"
#include "cli/Station.h"
#include "cli/TemplateCommands.h"
#include "cli/TerminalUser.h"
#include "cli/VerifyCommands.h"
#include "link/StopRequest.h"
#include "platform/ChangeLog.h"
#include "vsim/FleetStore.h"

#include <QCoreApplication>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>

std::vector<TCommand> AllCommands() {
    std::vector<TCommand> commands = LinkCommands();
    for (std::vector<TCommand> more :
         {DoctorCommands(), PhonebookCommands(), ProfileCommands(), SimCommands(), RecordsCommands(),
          SpeedDialCommands(), GroupCommands(), BackupCommands(), VerifyCommands(), LogCommands(),
          HandsetsCommands(), TemplateCommands(), ProvisionCommands()})
        for (TCommand& c : more)
            commands.push_back(std::move(c));
    return commands;
}

// The program's version, as the build made it (cmake/VersionRecord.cpp.in).
const char* VersionLine();

namespace {

// Set by a station for the processes it runs, one for each docking station.
constexpr const char* ChangeViaVariable = "QUORVEL_CHANGE_VIA";

const TCommand& Command(const std::vector<TCommand>& commands, const std::string& name) {
    const TCommand* command = FindCommand(commands, name);
    if (!command)
        throw TUsageError("unknown command \"" + name + "\" (quorvel-cli help lists them)");
    return *command;
}

const TForm& Form(const TCommand& command, const std::vector<std::string>& args) {
    const TForm* form = command.FormFor(args);
    if (!form)
        throw TUsageError(
            (args.empty() ? "a subcommand is needed" : "unknown subcommand \"" + args[0] + "\"") + " for " +
            command.name + " (quorvel-cli help " + command.name + ")");
    return *form;
}

// "quorvel-cli help [COMMAND [SUBCOMMAND]]", and "COMMAND [SUBCOMMAND] --help".
int Help(const std::vector<TCommand>& commands, const std::string& name,
         const std::vector<std::string>& args) {
    if (name.empty()) {
        PrintOverview(stdout, commands);
        return Exit::Done;
    }
    const TCommand& command = Command(commands, name);
    PrintCommandHelp(command, args.empty() ? nullptr : &Form(command, args));
    return Exit::Done;
}

int Run(const std::vector<TCommand>& commands, const TGlobalOptions& options, int argc, char** argv) {
    if (options.command == "help") {
        if (options.args.size() > 2)
            throw TUsageError("usage: quorvel-cli help [COMMAND [SUBCOMMAND]]");
        return Help(commands, options.args.empty() ? "" : options.args[0],
                    options.args.size() < 2
                        ? std::vector<std::string>{}
                        : std::vector<std::string>(options.args.begin() + 1, options.args.end()));
    }
    if (options.command.empty()) {
        if (options.help)
            return Help(commands, "", {});
        PrintOverview(stderr, commands);
        return Exit::WrongCall;
    }
    const TCommand& command = Command(commands, options.command);
    if (options.help) {
        const bool sub = !options.args.empty() && !command.forms.front().sub.empty();
        return Help(commands, command.name,
                    sub ? std::vector<std::string>{options.args[0]} : std::vector<std::string>{});
    }
    const TForm& form = Form(command, options.args);
    TGlobalOptions call = options;
    call.form = TFormArgs(command, form, options.args);
    if (options.dryRun && !form.plans)
        throw TUsageError("--dry-run shows what a write would change; \"" + command.name +
                          (form.sub.empty() ? "" : " " + form.sub) + "\" is no such write");
    if (form.usesHandset && IsStation(options)) {
        // The process of each docking station notes its changes as the station's.
        qputenv(ChangeViaVariable, "station");
        return RunStation(options, form, argc, argv);
    }
    // A watch is a station of every port it watches.
    const bool watch = options.command == "station" && !options.args.empty() && options.args[0] == "watch";
    if (options.report && !watch)
        throw TUsageError("--report is the report of a station: give several ports (--port A,B,C, all or "
                          "@FILE)");
    return command.run(call);
}

} // namespace

// The first Ctrl-C (or SIGTERM, or a terminal that closes) asks the operation to stop at its next safe
// point; the handler is then reset, so that a second one ends the program at once.
extern "C" void OnStopSignal(int) {
    RequestStop();
}

void CatchStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
}

namespace {

// Runs the command and gives the exit status its outcome stands for.
int Outcome(const std::vector<TCommand>& commands, int argc, char** argv) {
    int status = Exit::Failed;
    try {
        const TGlobalOptions options = ParseGlobalOptions(argc, argv);
        SetVerbose(options.verbose);
        SetQuiet(options.quiet);
        if (options.version) {
            if (options.json)
                AddJson({{"version", QString::fromUtf8(VersionLine())}});
            else
                std::printf("%s\n", VersionLine());
            return Exit::Done;
        }
        if (options.json && (options.help || options.command == "help"))
            throw TUsageError("help has no JSON form; quorvel-cli help prints it as text");
        if (options.json && options.command.empty())
            throw TUsageError("a command is needed (quorvel-cli help lists them)");
        status = Run(commands, options, argc, argv);
    } catch (const TUsageError& e) {
        PrintMessage(e.what(), TTone::Error);
        return Exit::WrongCall;
    } catch (const TInputError& e) {
        PrintMessage(e.what(), TTone::Error);
        return Exit::WrongCall;
    } catch (const TCommandStopped& e) {
        PrintMessage(e.what());
        return Exit::Stopped;
    } catch (const std::exception& e) {
        PrintMessage(e.what(), TTone::Error);
        status = Exit::Failed;
    }
    // A command that ended on the stop has said what it means already.
    if (status == Exit::Stopped)
        return status;
    if (StopRequested() && status != Exit::Done) {
        PrintMessage("Stopped as asked, between two mails: the messages above say what the handset holds.");
        return Exit::Stopped;
    }
    if (status == Exit::Failed && RunAnswers().refused)
        return Exit::NotConfirmed;
    if (status == Exit::Failed && RunAnswers().declined)
        return Exit::Declined;
    return status;
}

// Whether --json was asked for: known before the options are parsed, so that a wrong call is answered
// in JSON too.
bool JsonAsked(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--json") == 0)
            return true;
    return false;
}

} // namespace

int main(int argc, char** argv) {
    // Qt's own event dispatcher rather than GLib's: GLib's wakes itself through a descriptor each time a
    // watch on the serial port is switched on or off, several times a mail, where Qt's does not. The
    // command line needs nothing of GLib's loop.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    SetChangeVia(qgetenv(ChangeViaVariable) == "station" ? "station" : "cli");
    CatchStopSignals();
    // Changes are noted where the SIM records are: on their server when they are shared.
    UseFleetStore();
    const std::vector<TCommand> commands = AllCommands();
    if (JsonAsked(argc, argv))
        StartJson();
    const int status = Outcome(commands, argc, argv);
    // A command that failed without an error of its own (its messages say what happened) shows them.
    if (status != Exit::Done)
        ShowHeldMessages();
    if (JsonWanted())
        PrintJsonDocument(status);
    // Output cut short (a full disk, a closed pipe) is a failure, never a success.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        PrintMessage(std::string("Could not write the output: ") + std::strerror(errno), TTone::Error);
        return Exit::Failed;
    }
    return status;
}
