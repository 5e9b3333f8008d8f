#include "cli/Command.h"
#include "cli/LinkCommands.h"
#include "cli/PhonebookCommands.h"
#include "cli/ProfileCommands.h"
#include "cli/SimCommands.h"
#include "cli/SpeedDialCommands.h"

#include <QCoreApplication>

#include <cstdio>
#include <exception>

std::string TerminalText(const std::string& text) {
    std::string lines = text;
    for (char& c : lines)
        if (c == '\r')
            c = '\n';
    return lines;
}

namespace {

std::vector<TCommand> AllCommands() {
    std::vector<TCommand> commands = LinkCommands();
    for (std::vector<TCommand> more :
         {PhonebookCommands(), ProfileCommands(), SimCommands(), SpeedDialCommands()})
        for (TCommand& c : more)
            commands.push_back(std::move(c));
    return commands;
}

void PrintOverview(FILE* out, const std::vector<TCommand>& commands) {
    std::fprintf(out,
                 "usage: quorvel-cli [--port COMn|N|/dev/path] [--yes] [--record FILE] COMMAND [ARGS]\n\n"
                 "Manages a DECT handset in its docking station from the command line.\n"
                 "Without --port, the port chosen in the program's connection settings is used.\n"
                 "--record FILE writes every mail and answer to FILE (see quorvel-handset --replay).\n\n"
                 "commands:\n");
    for (const TCommand& c : commands)
        std::fprintf(out, "  %-36s %s\n", (c.name + " " + c.usage).c_str(), c.summary.c_str());
    std::fprintf(out, "\nquorvel-cli COMMAND --help tells more of one command.\n");
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const std::vector<TCommand> commands = AllCommands();
    try {
        const TGlobalOptions options = ParseGlobalOptions(argc, argv);
        if (options.command.empty()) {
            PrintOverview(options.help ? stdout : stderr, commands);
            return options.help ? 0 : 2;
        }
        for (const TCommand& c : commands) {
            if (c.name != options.command)
                continue;
            if (options.help) {
                std::printf("usage: quorvel-cli [--port COMn|N|/dev/path] %s %s\n\n%s\n", c.name.c_str(),
                            c.usage.c_str(), c.help.c_str());
                return 0;
            }
            return c.run(options);
        }
        throw TUsageError("unknown command \"" + options.command + "\" (quorvel-cli --help lists them)");
    } catch (const TUsageError& e) {
        std::fprintf(stderr, "quorvel-cli: %s\n", e.what());
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quorvel-cli: %s\n", TerminalText(e.what()).c_str());
        return 1;
    }
}
