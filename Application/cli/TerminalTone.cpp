#include "cli/TerminalTone.h"

#include <cstdlib>
#include <cstring>
#include <string_view>
#include <unistd.h>

namespace {

constexpr const char* Red = "\033[31m";
constexpr const char* Green = "\033[32m";
constexpr const char* Yellow = "\033[33m";
constexpr const char* Reset = "\033[0m";

// The colour of one line of a plan: by its mark, after the tool's name and blanks.
const char* PlanColour(std::string_view line) {
    if (constexpr std::string_view name = "quorvel-cli: "; line.starts_with(name))
        line.remove_prefix(name.size());
    line.remove_prefix(std::min(line.find_first_not_of(' '), line.size()));
    if (line.size() < 2 || line[1] != ' ')
        return nullptr;
    switch (line[0]) {
    case '+':
        return Green;
    case '-':
    case '!':
        return Red;
    case '~':
        return Yellow;
    default:
        return nullptr;
    }
}

} // namespace

bool ColourWanted(FILE* stream) {
    const char* noColour = std::getenv("NO_COLOR");
    const char* term = std::getenv("TERM");
    return isatty(fileno(stream)) && (!noColour || *noColour == '\0') &&
           !(term && std::strcmp(term, "dumb") == 0);
}

std::string Toned(const std::string& lines, TTone tone, FILE* stream) {
    if (tone == TTone::Plain || !ColourWanted(stream))
        return lines;
    std::string out;
    size_t start = 0;
    while (start < lines.size()) {
        size_t end = lines.find('\n', start);
        if (end == std::string::npos)
            end = lines.size();
        const std::string_view line(lines.data() + start, end - start);
        const char* colour = tone == TTone::Error ? Red : tone == TTone::Warning ? Yellow : PlanColour(line);
        if (colour && !line.empty())
            out.append(colour).append(line).append(Reset);
        else
            out.append(line);
        if (end < lines.size())
            out += '\n';
        start = end + 1;
    }
    return out;
}
