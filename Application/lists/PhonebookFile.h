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
    // NotInCodePage: a name with a character the handset does not have (not taken); Transliterated:
    // such a name taken with the nearest letters it has.
    enum class TKind { NoComma, ControlCharacters, NumberTooLong, NameCut, NotInCodePage, Transliterated };
    int Line;
    TKind Kind;
    // NotInCodePage and Transliterated, in UTF-8: the name as the file writes it, its first character
    // the handset lacks, and the name with the nearest letters the handset has.
    std::string Name = {};
    std::string Lacking = {};
    std::string Nearest = {};
};

// What reading a .phb text came to.
struct TPhonebookFileReport {
    int Lines = 0;
    bool Utf8 = false;
    std::vector<TPhonebookLineProblem> Problems;

    // Lines after the table's last entry that are not blank: they have no entry to go to.
    int LinesBeyond = 0;

    // The lines left out: without a comma, with control characters, with a name the handset cannot
    // show, or with a number longer than a handset stores (cut, it would dial someone else).
    int NotTaken() const;
    bool Has(TPhonebookLineProblem::TKind kind) const;
};

// "line 3: ...", for the person; names the file wrote in UTF-8 are quoted in UTF-8.
std::string PhonebookLineProblemText(const TPhonebookLineProblem& problem);
// Every problem, one a line, the first `most` of them and how many more there are.
std::string PhonebookProblemsText(const TPhonebookFileReport& report, size_t most);

// How a .phb text is read.
struct TPhonebookReading {
    // A name with characters the handset lacks is taken with the nearest letters it has.
    bool Transliterate = false;
    // The bytes are the handset's own, as the program wrote them (a backup): never read as UTF-8, even
    // where they happen to be valid UTF-8.
    bool AsWritten = false;
};

// Line i goes to entry i, for the first Count lines; a line that is not taken leaves its entry empty
// but takes its place, and a name longer than a handset stores is cut. A file in UTF-8 is read as
// such: a name with characters the handset does not have is not taken, unless the reading asks for
// the nearest letters the handset has. Gives the number of lines taken.
int ParsePhonebookText(const std::string& text, TPP5Phonebook& book, TPhonebookFileReport* report = nullptr,
                       TPhonebookReading reading = {});
// Raises EFileError for a file that cannot be read.
int LoadPhonebookFile(const std::string& path, TPP5Phonebook& book, TPhonebookFileReport* report = nullptr,
                      TPhonebookReading reading = {});

// No phone book comes near this; a larger file is refused rather than read.
constexpr size_t PhonebookFileLimit = 16 * 1024 * 1024;

// "Save Phone Book As...": asks for the file and saves the table into it; the status line and an error
// box tell how it went. False when nothing was saved, also when the person chose no file.
bool SavePhonebookAs(TUserInteraction& ui, const TPP5Phonebook& book);
// "Open Phone Book": asks for the file, empties the table and reads the file into it. False when no
// file was read.
bool OpenPhonebook(TUserInteraction& ui, TPP5Phonebook& book);

// What the handset cannot take of one phone book entry the reader made of a line, a text for each.
std::vector<std::string> PhonebookEntryProblems(const TPP5Phonebook& book, int index);
