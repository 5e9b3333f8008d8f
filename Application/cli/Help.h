#pragma once

#include "cli/Command.h"

#include <cstdio>

// The overview of every command, and the help of one command or one of its forms.
void PrintOverview(FILE* out, const std::vector<TCommand>& commands);
void PrintCommandHelp(const TCommand& command, const TForm* form);

// "phonebook write": the command and the form's subcommand.
std::string FormName(const TCommand& command, const TForm& form);

// The wrong call of a command, told with every form of it as the command's table declares them:
// "usage: quorvel-cli groups read [-o FILE.BGL] | write FILE.BGL --add|--replace | delete".
[[noreturn]] void RefuseCall(const std::string& command);

// "quorvel-cli phonebook write FILE.phb --add|--replace"
std::string UsageLine(const TCommand& command, const TForm& form);

extern const char* const ExitStatusText;
