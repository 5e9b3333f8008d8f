#pragma once

#include "lists/PP5Phonebook.h"
#include "platform/UserInteraction.h"

#include <string>
#include <vector>

// The ".phb" phone book file: one line "name,number" for each entry that has a number, in table
// order, lines ended by CR LF, no header and no quoting. A reader splits at the last comma, so names
// may hold commas.

std::string PhonebookFileText(const TPP5Phonebook& book);
// Raises EFileError; the earlier file stays whole when the save fails.
void SavePhonebookFile(const std::string& path, const TPP5Phonebook& book);

// A line of a .phb file that was not taken as it stands; lines count from 1.
struct TPhonebookLineProblem {
    enum class TKind { NoComma, ControlCharacters, NumberTooLong, NameCut };
    int Line;
    TKind Kind;
};

// What reading a .phb text came to.
struct TPhonebookFileReport {
    int Lines = 0;
    bool Utf8 = false;
    std::vector<TPhonebookLineProblem> Problems;

    // The lines left out: without a comma, with control characters, or with a number longer than a
    // handset stores (cut, it would dial someone else).
    int NotTaken() const;
    bool HasNumberTooLong() const;
};

// "line 3: ...", for the person.
std::string PhonebookLineProblemText(const TPhonebookLineProblem& problem);
// Every problem, one a line, the first `most` of them and how many more there are.
std::string PhonebookProblemsText(const TPhonebookFileReport& report, size_t most);

// Line i goes to entry i, for the first Count lines; a line that is not taken leaves its entry empty
// but takes its place, and a name longer than a handset stores is cut. A file in UTF-8 is read as
// such (see SingleByteText). Gives the number of lines taken.
int ParsePhonebookText(const std::string& text, TPP5Phonebook& book, TPhonebookFileReport* report = nullptr);
// Raises EFileError for a file that cannot be read.
int LoadPhonebookFile(const std::string& path, TPP5Phonebook& book, TPhonebookFileReport* report = nullptr);

// No phone book comes near this; a larger file is refused rather than read.
constexpr size_t PhonebookFileLimit = 16 * 1024 * 1024;

// "Save Phone Book As...": asks for the file and saves the table into it; the status line and an error
// box tell how it went. False when nothing was saved, also when the person chose no file.
bool SavePhonebookAs(TUserInteraction& ui, const TPP5Phonebook& book);
// "Open Phone Book": asks for the file, empties the table and reads the file into it. False when no
// file was read.
bool OpenPhonebook(TUserInteraction& ui, TPP5Phonebook& book);
