#pragma once

#include "lists/PP5Phonebook.h"
#include "platform/UserInteraction.h"

#include <string>

// The ".phb" phone book file: one line "name,number" for each entry that has a number, in table
// order, lines ended by CR LF, no header and no quoting. A reader splits at the last comma, so names
// may hold commas.

std::string PhonebookFileText(const TPP5Phonebook& book);
// Raises EFileError; the earlier file stays whole when the save fails.
void SavePhonebookFile(const std::string& path, const TPP5Phonebook& book);

// Line i goes to entry i, for the first Count lines; a line without a comma leaves its entry empty
// but takes its place. Gives the number of lines taken.
int ParsePhonebookText(const std::string& text, TPP5Phonebook& book);
// Raises EFileError for a file that cannot be read.
int LoadPhonebookFile(const std::string& path, TPP5Phonebook& book);

// No phone book comes near this; a larger file is refused rather than read.
constexpr size_t PhonebookFileLimit = 16 * 1024 * 1024;

// "Save Phone Book As...": asks for the file and saves the table into it; the status line and an error
// box tell how it went. False when nothing was saved, also when the person chose no file.
bool SavePhonebookAs(TUserInteraction& ui, const TPP5Phonebook& book);
// "Open Phone Book": asks for the file, empties the table and reads the file into it. False when no
// file was read.
bool OpenPhonebook(TUserInteraction& ui, TPP5Phonebook& book);
