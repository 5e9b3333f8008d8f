#pragma once

#include "lists/PP5Phonebook.h"
#include "platform/WritePlan.h"

// The plan of a phone book write: the rows of `wanted` (its Count is the handset's capacity) against
// the list the handset holds. An add writes every row whose number the handset does not hold, while
// there is room; a replace deletes the list and writes every row with a number, in order. Entries are
// matched by their numbers; names and numbers are compared as the handset keeps them (a name cut to 24
// characters, a number packed), so a verify does not see a change where a write would make none. A
// replace shows a new name for a number as "~ 0301234 Anna -> Anne", a new number for a name as
// "~ Bob 0407 -> 0408".
TWritePlan PlanPhonebookWrite(const TPP5Phonebook& held, const TPP5Phonebook& wanted, bool replace);

// The name as the handset gives it back after a write of it.
std::string NameAsStored(const std::string& name);
