#include "cli/Command.h"
#include "cli/JsonOutput.h"
#include "platform/AnsiText.h"

#include <cstdio>
#include <cstring>
#include <langinfo.h>
#include <unistd.h>

namespace {

bool Verbose = false;
bool QuietAsked = false;
// The messages --quiet held back, as they would have been printed.
std::string Held;
// Something is on the terminal's line after the last line end: the progress line.
bool LineOpen = false;
constexpr std::string_view MessagePrefix = "quorvel-cli: ";

} // namespace

TTerminalAnswers& RunAnswers() {
    static TTerminalAnswers answers;
    return answers;
}

void SetVerbose(bool verbose) {
    Verbose = verbose;
}

void SetQuiet(bool quiet) {
    QuietAsked = quiet;
}

bool Quiet() {
    return QuietAsked;
}

void ShowHeldMessages() {
    if (Held.empty())
        return;
    std::fputs(Held.c_str(), stderr);
    Held.clear();
}

std::string TerminalText(const std::string& text) {
    std::string lines = text;
    for (char& c : lines)
        if (c == '\r')
            c = '\n';
    return lines;
}

std::string MessageLines(const std::string& text) {
    std::string shown = TerminalText(text);
    // The engine's internal errors end in "Unit: ..." and "Function: ...", which help only a developer.
    if (const size_t unit = shown.find("\nUnit: "); unit != std::string::npos && !Verbose)
        shown.erase(unit);
    std::string out;
    size_t start = 0;
    while (start <= shown.size()) {
        size_t end = shown.find('\n', start);
        if (end == std::string::npos)
            end = shown.size();
        std::string line = shown.substr(start, end - start);
        line.erase(0, line.find_first_not_of(' '));
        if (!line.empty())
            out += std::string(MessagePrefix) + line + "\n";
        start = end + 1;
    }
    return out;
}

void EndProgressLine() {
    if (!LineOpen)
        return;
    std::fputc('\n', stderr);
    std::fflush(stderr);
    LineOpen = false;
}

void ProgressLineOpened() {
    LineOpen = true;
}

void PrintMessage(const std::string& text, TTone tone) {
    EndProgressLine();
    const std::string lines = MessageLines(text);
    if (QuietAsked && tone != TTone::Error) {
        Held += Toned(lines, tone, stderr);
    } else {
        ShowHeldMessages();
        std::fputs(Toned(lines, tone, stderr).c_str(), stderr);
    }
    // Under --json the document carries every message too, one line each, without the tool's name.
    size_t start = 0;
    while (start < lines.size()) {
        const size_t end = lines.find('\n', start);
        AddJsonMessage(lines.substr(start + MessagePrefix.size(), end - start - MessagePrefix.size()));
        start = end + 1;
    }
}

std::string Counted(long n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

void PrintResult(const std::string& line) {
    if (!JsonWanted())
        std::printf("%s\n", line.c_str());
}

void PrintData(const std::string& text) {
    if (JsonWanted())
        return;
    const bool utf8Terminal = isatty(STDOUT_FILENO) && std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
    const std::string shown = utf8Terminal ? FromAnsi(text).toStdString() : text;
    std::fwrite(shown.data(), 1, shown.size(), stdout);
}

void ReportSaved(const std::string& line, const std::string& path) {
    AddJson({{"file", JsonPath(path)}});
    PrintResult(line);
}
