#pragma once

#include "cli/Command.h"

// phonebook read|write|delete|import: the phone book tab's operations.
std::vector<TCommand> PhonebookCommands();
