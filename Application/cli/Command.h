#pragma once

#include "cli/CliOptions.h"

#include <functional>
#include <string>
#include <vector>

struct TCommand {
    std::string name;
    std::string usage;   // arguments after the name
    std::string summary; // one line for the overview
    std::string help;    // the command's own --help text
    std::function<int(const TGlobalOptions&)> run;
};

// Turns the engine's message text (lines ended by CR) into terminal lines.
std::string TerminalText(const std::string& text);
