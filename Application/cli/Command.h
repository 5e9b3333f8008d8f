#pragma once

#include "cli/CliOptions.h"
#include "cli/TerminalTone.h"

#include <functional>
#include <string>
#include <vector>

// The exit statuses, the same for every command.
namespace Exit {
constexpr int Done = 0;
// The handset or the port failed, or the operation ended part-way.
constexpr int Failed = 1;
// A wrong call, or an input that cannot be used; nothing was sent.
constexpr int WrongCall = 2;
// A confirmation was needed, and there was neither a terminal nor --yes; nothing was done.
constexpr int NotConfirmed = 3;
// The person declined a confirmation at the terminal; nothing was changed.
constexpr int Declined = 4;
// A stop was asked for (Ctrl-C, SIGTERM, a terminal that closed) and the operation ended at a safe point;
// its messages say what the handset holds and where its earlier list is kept.
constexpr int Stopped = 5;
} // namespace Exit

// An option of one form of a command; value names what it takes, empty for a switch.
struct TOption {
    std::string name;
    std::string value;
    std::string help;
    // The option this one is another name of ("--output" of "-o"): given, it counts as that one.
    std::string sameAs{};
};

// "-o FILE" and "--output FILE" of the commands that read a list into a file ("-" for stdout).
inline std::vector<TOption> OutputOptions(const std::string& file) {
    const std::string help = "write the list to " + file + " (\"-\" for stdout) instead of stdout";
    return {{"-o", file, help}, {"--output", file, "the same as -o", "-o"}};
}

// One way to call a command: "phonebook write FILE.phb --add|--replace". A command without subcommands
// has one form with an empty sub.
struct TForm {
    std::string sub;
    std::string arguments;
    std::string summary;
    // What it does, lines ended by "\n".
    std::string help;
    std::vector<TOption> options;
    std::string example;
    // It changes what the handset holds, so a station asks once before it runs it on every port.
    bool changesHandset = false;
    // It talks to a handset (a station runs it on each port); false for file-only work.
    bool usesHandset = true;
    // It works out a plan before it writes, so that --dry-run can show it.
    bool plans = false;
};

struct TCommand {
    std::string name;
    std::vector<TForm> forms;
    std::function<int(const TGlobalOptions&)> run;

    // The form the arguments call; nullptr for an unknown subcommand.
    const TForm* FormFor(const std::vector<std::string>& args) const;
};

std::vector<TCommand> AllCommands();
const TCommand* FindCommand(const std::vector<TCommand>& commands, const std::string& name);

// What to try when a handset does not answer.
inline constexpr const char* NoAnswerHint =
    "Is the handset in its docking station, and does the docking station have power?";

// Turns the engine's message text (lines ended by CR) into terminal lines.
std::string TerminalText(const std::string& text);
// A message as the tool prints it on stderr: every line after "quorvel-cli: ", without leading blanks
// or empty lines; the unit and function part of an internal error only with --verbose.
std::string MessageLines(const std::string& text);
// Under --quiet a message that is no error is held back: shown when the command fails (before its
// error), or before a question at the terminal, so that the person answers with all of it; else never.
void PrintMessage(const std::string& text, TTone tone = TTone::Plain);
// The messages held back so far, now.
void ShowHeldMessages();
// Ends the progress line, when one is open, so that what is printed next on stderr begins a line of its
// own instead of following "12 of 200 entries". Whatever prints a message calls it first; the progress
// line says when it leaves one open.
void EndProgressLine();
void ProgressLineOpened();

// A line of the command's result on stdout; under --json the document says it instead, and the line is
// left out.
void PrintResult(const std::string& line);
// A list file's text (the handset's Windows-1252 code page) on stdout, where no file was named: to a
// terminal that reads UTF-8 in UTF-8, elsewhere byte for byte as the file holds it. Under --json the
// document carries the list instead.
void PrintData(const std::string& text);
// After a list was read into a file: the line that says so, and the file in the document.
void ReportSaved(const std::string& line, const std::string& path);
// What the person at the terminal answered in this run: a confirmation refused for want of a terminal
// or --yes, or answered no. main gives a command that failed after one the exit status it stands for.
struct TTerminalAnswers {
    bool refused = false;
    bool declined = false;
};
TTerminalAnswers& RunAnswers();
// Whether --verbose was given; set once by main.
void SetVerbose(bool verbose);
// Whether --quiet was given (stderr carries errors only); set once by main.
void SetQuiet(bool quiet);
bool Quiet();

// "1 entry", "4 entries".
std::string Counted(long n, const char* one, const char* many);
