#pragma once

#include "cli/Command.h"

#include <cstdio>

// The overview of every command, and the help of one command or one of its forms.
void PrintOverview(FILE* out, const std::vector<TCommand>& commands);
void PrintCommandHelp(const TCommand& command, const TForm* form);

// "phonebook write": the command and the form's subcommand.
std::string FormName(const TCommand& command, const TForm& form);

// "quorvel-cli phonebook write FILE.phb --add|--replace"
std::string UsageLine(const TCommand& command, const TForm& form);

extern const char* const ExitStatusText;
