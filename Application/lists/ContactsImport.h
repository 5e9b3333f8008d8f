#pragma once

#include <QByteArray>

#include <functional>
#include <optional>
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

// Hands over each contact of a file in file order, to be used or moved from; nothing is kept.
using TContactSink = std::function<void(TContact& contact)>;

// Reads an Outlook CSV export or a vCard file (chosen by content: a file whose first non-blank line is
// "BEGIN:VCARD", case-insensitive, after an optional UTF-8 BOM, is vCard; else CSV). Raises
// EContactsFileError with a short reason for a file that cannot be opened or read, or is malformed; the
// contacts handed over before it are the file's first ones, but the file as a whole is not to be used.
// Memory: the file's bytes and one contact at a time.
void ReadContactsFile(const std::string& path, const TContactSink& onContact);
std::vector<TContact> ReadContactsFile(const std::string& path);

// Outlook's "Comma Separated Values" export: columns found by their header names, "," or (when the
// header has no comma) ";" between fields, UTF-8 when the data is valid UTF-8, else Windows-1252.
void ParseOutlookCsv(const QByteArray& data, const TContactSink& onContact);
std::vector<TContact> ParseOutlookCsv(const QByteArray& data);

// vCard 2.1, 3.0 and 4.0, one contact per card. FN gives the name, else N. Of the TEL properties, the
// first "work" one is Business, the first "home" one Home, the first "cell" one Mobile, the first "pref"
// one (or PREF=1) Primary, and when that leaves Primary empty, the first with none of these types. A
// number is taken once per contact (a "work,pref" number is Business only); fax and pager numbers are
// left out. A card without END:VCARD still counts; cards nested in an AGENT property add nothing.
void ParseVCards(const QByteArray& data, const TContactSink& onContact);
std::vector<TContact> ParseVCards(const QByteArray& data);

// What a handset dials for the "+" of an international number, unless the person says otherwise.
constexpr const char* DefaultInternationalPrefix = "00";

// A number as a contact gives it, made into one the handset can store and dial: a leading "+" becomes
// internationalPrefix (and a "(0)" after the country code, which is not dialled from abroad, goes), and
// the blanks and the separators "(", ")", "/", "." and "-" between the digits go. "*", "#" and the pause
// "P" stay where they are. Returned unchanged: a number the handset stores as it is (its "-" being a
// pause there, as the phone book keeps it), and one that would still not be storable (letters, "+" inside,
// no digit, or longer than the 23 characters the handset stores).
std::string MakeDialable(const std::string& number, const std::string& internationalPrefix);

using TImportedRowFn = std::function<void(int entry, const std::string& fullName)>;

// A contacts import on its way into the phone book. It keeps the numbers the book has room for as the
// contacts gave them, so that they can still be made dialable before the book normalises them (its "-" to
// "P" would turn a separator into a pause), and counts the contacts and what found no room. Everything
// else of the contacts is let go as they come, so that a file of millions of rows costs no more than
// its bytes.
class TContactsImport {
public:
    // room: the entries the import may fill, i.e. the grid's data rows (at most PhonebookEntries).
    explicit TContactsImport(int room);

    // The numbers of the contact in the order Business, Home, Primary, Mobile, each one entry while
    // there is room; an empty one is skipped.
    void Add(const TContact& contact);
    // Add for each contact of the file (ReadContactsFile), raising as it does.
    void AddFile(const std::string& path);

    int Contacts() const { return ContactCount; }
    int Entries() const { return int(Taken.size()); }
    // Numbers that found no room, and the contacts they belong to.
    int NumbersLeftOut() const { return NumbersNotTaken; }
    int ContactsLeftOut() const { return ContactsNotTaken; }

    // Entries whose number, as the book keeps it, holds a character the handset cannot store.
    std::vector<int> UnstorableEntries() const;
    // MakeDialable on each of those; gives how many it changed.
    int MakeNumbersDialable(const std::string& internationalPrefix);

    // The offer to make the numbers dialable, or "" when every number can be stored.
    std::string DialableQuestion(const std::string& internationalPrefix) const;
    // What the person is told at the end, one text a line: how many numbers were made dialable (when
    // the offer was taken) and how many still cannot be stored, and what found no room.
    std::vector<std::string> Report(std::optional<int> madeDialable) const;

    // Entries 0 to Entries() - 1 of the book get the numbers and the names (the book normalises and cuts
    // them); onRow(entry, the whole name) after each, for the grid. Entries above are not touched.
    void FillPhonebook(TPP5Phonebook& book, const TImportedRowFn& onRow) const;

private:
    struct TTaken {
        std::string FullName;
        std::string Number;
    };
    int EntryRoom;
    int ContactCount = 0;
    int NumbersNotTaken = 0;
    int ContactsNotTaken = 0;
    std::vector<TTaken> Taken;
};

// Fills the phone book from the contacts. Before calling, the caller has emptied the table and the grid.
// Target row r starts at 1; for each contact in order, for each of its numbers in the order Business, Home,
// Primary, Mobile: skip it when empty or when r is not below rowCount (the grid's row count, i.e. book
// Count + 1 — the grid is full); else the number and the name go to entry r-1 (the book normalises and
// cuts them), onRow(r-1, contact.FullName) lets the grid show the name whole and the number as the book
// stored it, and r moves on. Contacts are still visited when the grid is full; they add nothing. Returns
// the number of contacts.
int FillPhonebook(const std::vector<TContact>& contacts, TPP5Phonebook& book, int rowCount,
                  const TImportedRowFn& onRow);
