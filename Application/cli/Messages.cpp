#include "cli/Command.h"
#include "cli/JsonOutput.h"
#include "cli/TerminalUser.h"

#include <cstdio>

namespace {

bool Verbose = false;
constexpr std::string_view MessagePrefix = "quorvel-cli: ";

} // namespace

void SetVerbose(bool verbose) {
    Verbose = verbose;
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

void PrintMessage(const std::string& text) {
    TTerminalUser::EndProgressLine();
    const std::string lines = MessageLines(text);
    std::fputs(lines.c_str(), stderr);
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
