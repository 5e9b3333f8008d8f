#include "cli/Help.h"

#include <algorithm>

const char* const ExitStatusText =
    "Exit status: 0 done; 1 the handset or the port failed, or the operation ended part-way; 2 a wrong call\n"
    "or an input that cannot be used (nothing was sent); 3 a confirmation was needed and there was no\n"
    "terminal and no --yes (nothing was done); 4 the person declined a confirmation (nothing was\n"
    "changed); 5 stopped as asked (Ctrl-C, SIGTERM, a closed terminal) between two mails, the messages\n"
    "saying what the handset holds.\n";

namespace {

const char* const GlobalOptions =
    "  --port PORT[,PORT..]|all  COMn, a port number or a device path; several ports, or every port of the\n"
    "                            device map that answers a probe, run the command on each docking station\n"
    "                            at once (without --port: the program's stored \"Device No\")\n"
    "  --port @FILE              a station of the ports FILE names, a line \"COM10,00291 0284280\" each: "
    "the\n"
    "                            handset at each port must have that serial number\n"
    "  --expect-serial SERIAL    go on only with the handset of this serial number (\"00291 0284280\");\n"
    "                            another one is refused before anything is written to it\n"
    "  --yes, -y                 answer every confirmation with yes\n"
    "  --dry-run                 a write reads the handset and prints what it would add (+), remove (-)\n"
    "                            and change (~), and changes nothing\n"
    "  --json                    one JSON document on stdout instead of text, also when the command\n"
    "                            fails: {\"ok\": ..., \"exit\": ..., \"messages\": [...]} and its facts\n"
    "  --verbose, -v             internal detail in error messages\n"
    "  --quiet, -q               errors only on stderr: no progress, status or other message, unless\n"
    "                            the command fails or asks (then all it said comes first)\n"
    "  --record FILE             write every mail and answer to FILE, one JSON line each, for the virtual\n"
    "                            handset to replay; with several ports, one file per port, FILE with\n"
    "                            \"-COMn\" before its extension\n"
    "  --report FILE             with several ports: the station's report, cut from the change log (a\n"
    "                            row per change its programs made), as CSV (FILE.csv) or JSON\n"
    "  --help, -h                this help; after a command, that command's\n"
    "  --version                 the program's version and build time\n";

} // namespace

std::string FormName(const TCommand& command, const TForm& form) {
    return form.sub.empty() ? command.name : command.name + " " + form.sub;
}

namespace {

void PrintForm(const TCommand& command, const TForm& form) {
    std::printf("usage: %s\n\n%s", UsageLine(command, form).c_str(), form.help.c_str());
    if (!form.options.empty()) {
        std::printf("\noptions:\n");
        for (const TOption& option : form.options) {
            const std::string name = option.name + (option.value.empty() ? "" : " " + option.value);
            std::printf("  %-26s %s\n", name.c_str(), option.help.c_str());
        }
    }
    if (!form.example.empty())
        std::printf("\nexample:\n  %s\n", form.example.c_str());
}

} // namespace

std::string UsageLine(const TCommand& command, const TForm& form) {
    std::string line = "quorvel-cli " + FormName(command, form);
    if (!form.arguments.empty())
        line += " " + form.arguments;
    return line;
}

void PrintOverview(FILE* out, const std::vector<TCommand>& commands) {
    std::fprintf(
        out, "usage: quorvel-cli [--port PORT[,PORT..]|all|@FILE] [--expect-serial SERIAL] [--yes] [--json]\n"
             "                   [--record FILE] [--report FILE] COMMAND [ARGS]\n\n"
             "Manages DECT handsets in their docking stations from the command line.\n\n"
             "commands:\n");
    for (const TCommand& command : commands)
        for (const TForm& form : command.forms)
            std::fprintf(out, "  %-34s %s\n", FormName(command, form).c_str(), form.summary.c_str());
    std::fprintf(
        out, "\nglobal options:\n%s\n%s\nquorvel-cli help COMMAND [SUBCOMMAND] tells more of one command.\n",
        GlobalOptions, ExitStatusText);
}

void PrintCommandHelp(const TCommand& command, const TForm* form) {
    if (form) {
        PrintForm(command, *form);
    } else {
        for (size_t i = 0; i < command.forms.size(); ++i) {
            if (i > 0)
                std::printf("\n");
            PrintForm(command, command.forms[i]);
        }
    }
    std::printf("\nglobal options:\n%s\n%s", GlobalOptions, ExitStatusText);
}

void RefuseCall(const std::string& name) {
    const std::vector<TCommand> commands = AllCommands();
    const TCommand* command = FindCommand(commands, name);
    std::string usage = "usage: quorvel-cli " + name;
    for (size_t i = 0; command && i < command->forms.size(); ++i) {
        const TForm& form = command->forms[i];
        const std::string words =
            form.sub + (form.sub.empty() || form.arguments.empty() ? "" : " ") + form.arguments;
        if (!words.empty())
            usage += (i == 0 ? " " : " | ") + words;
    }
    throw TUsageError(usage);
}

const TForm* TCommand::FormFor(const std::vector<std::string>& args) const {
    for (const TForm& form : forms)
        if (form.sub.empty() || (!args.empty() && args[0] == form.sub))
            return &form;
    return nullptr;
}

const TCommand* FindCommand(const std::vector<TCommand>& commands, const std::string& name) {
    for (const TCommand& command : commands)
        if (command.name == name)
            return &command;
    return nullptr;
}
