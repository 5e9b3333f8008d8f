#pragma once

#include "lists/PP5Phonebook.h"
#include "platform/WritePlan.h"

// The plan of a phone book write: the rows of `wanted` (its Count is the handset's capacity) against
// the list the handset holds. An add writes every row whose number the handset does not hold, while
// there is room; a replace deletes the list and writes every row with a number, in order. Entries are
// compared as the handset will hold them (PhonebookAsHeld), so a verify does not see a change where a
// write would make none. A replace pairs an entry it changes with the one it replaces: the same name
// ("~ Bob 0407 -> 0408"), else the same number ("~ 0301234 Anna -> Anne"). Another name with another
// number is another person: one entry removed, one added.
TWritePlan PlanPhonebookWrite(const TPP5Phonebook& held, const TPP5Phonebook& wanted, bool replace);

// The name as the handset gives it back after a write of it.
std::string NameAsStored(const std::string& name);
// The number as the handset gives it back after a write of it: normalised ("-" the pause, no spaces),
// upper case (a "p" is the pause "P", too), fillers gone.
std::string NumberAsStored(const std::string& number);
// An entry as the handset will hold it once written: name and number as stored, no number for none.
TPhonebookEntry EntryAsHeld(const std::string& name, const std::string& number);
// Every entry of the table as the handset will hold it once written: what the write sends and what
// the plan and verify compare with.
TPP5Phonebook PhonebookAsHeld(const TPP5Phonebook& book);
