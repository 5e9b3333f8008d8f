#pragma once

#include "cli/Command.h"

#include <cstdio>

// The overview of every command, and the help of one command or one of its forms.
void PrintOverview(FILE* out, const std::vector<TCommand>& commands);
void PrintCommandHelp(const TCommand& command, const TForm* form);

// Raises TUsageError naming the first argument that no option of the form is, or an option's missing
// value.
void CheckOptions(const TCommand& command, const TForm& form, const std::vector<std::string>& args);

// "quorvel-cli phonebook write FILE.phb --add|--replace"
std::string UsageLine(const TCommand& command, const TForm& form);

extern const char* const ExitStatusText;
