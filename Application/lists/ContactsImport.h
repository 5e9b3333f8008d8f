#pragma once

#include <QByteArray>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

class TPP5Phonebook;

// One contact as the phone book needs it; texts are single-byte Windows-1252 (see AnsiText.h: ToAnsi).
// Values are trimmed, and line breaks, control characters and runs of blanks inside them are one space.
struct TContact {
    std::string FullName, Business, Home, Primary, Mobile;
};

// A contacts file that cannot be used; what() is a short reason for the person.
class EContactsFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Larger files are refused rather than read: no address book comes near it.
constexpr qsizetype MaxContactsFileSize = 64 * 1024 * 1024;

// Reads an Outlook CSV export or a vCard file (chosen by content: a file whose first non-blank line is
// "BEGIN:VCARD", case-insensitive, after an optional UTF-8 BOM, is vCard; else CSV). Raises
// EContactsFileError with a short reason for a file that cannot be opened or read, or is malformed.
std::vector<TContact> ReadContactsFile(const std::string& path);

// Outlook's "Comma Separated Values" export: columns found by their header names, "," or (when the
// header has no comma) ";" between fields, UTF-8 when the data is valid UTF-8, else Windows-1252.
std::vector<TContact> ParseOutlookCsv(const QByteArray& data);

// vCard 2.1, 3.0 and 4.0, one contact per card. FN gives the name, else N. Of the TEL properties, the
// first "work" one is Business, the first "home" one Home, the first "cell" one Mobile, the first "pref"
// one (or PREF=1) Primary, and when that leaves Primary empty, the first with none of these types. A
// number is taken once per contact (a "work,pref" number is Business only); fax and pager numbers are
// left out. A card without END:VCARD still counts; cards nested in an AGENT property add nothing.
std::vector<TContact> ParseVCards(const QByteArray& data);

// Fills the phone book from the contacts. Before calling, the caller has emptied the table and the grid.
// Target row r starts at 1; for each contact in order, for each of its numbers in the order Business, Home,
// Primary, Mobile: skip it when empty or when r is not below rowCount (the grid's row count, i.e. book
// Count + 1 — the grid is full); else the number and the name go to entry r-1 (the book normalises and
// cuts them), onRow(r-1, contact.FullName) lets the grid show the name whole and the number as the book
// stored it, and r moves on. Contacts are still visited when the grid is full; they add nothing. Returns
// the number of contacts.
int FillPhonebook(const std::vector<TContact>& contacts, TPP5Phonebook& book, int rowCount,
                  const std::function<void(int entry, const std::string& fullName)>& onRow);
