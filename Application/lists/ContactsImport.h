#pragma once

#include "lists/Contact.h"
#include "lists/ContactsCsv.h"
#include "lists/ContactsVcard.h"
#include "lists/DiallingRules.h"

#include <QString>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class TPP5Phonebook;

// Reads an Outlook CSV export (ContactsCsv.h) or a vCard file (ContactsVcard.h), chosen by content: a file
// whose first non-blank line is "BEGIN:VCARD" is vCard, else CSV; either may be UTF-16 with its byte
// order mark. Raises EContactsFileError with a short reason for a file that cannot be opened or read, or
// is malformed; the contacts handed over before it are the file's first ones, but the file as a whole is
// not to be used. Memory: the file's bytes (and their UTF-8 form while a UTF-16 file is converted) and
// one contact at a time.
void ReadContactsFile(const std::string& path, const TContactSink& onContact);
std::vector<TContact> ReadContactsFile(const std::string& path);

// What the person is told of a contacts file that cannot be used, naming it as shownPath (as the caller
// shows paths).
std::string ContactsFileMessage(const std::string& shownPath, const EContactsFileError& error);

using TImportedRowFn = std::function<void(int entry, const std::string& fullName)>;

// How a text writes the names of contacts: in the single bytes of the code page (a character it lacks
// being "?"), as the windows take every text, or in UTF-8, as a terminal shows them whole.
enum class TNameBytes { CodePage, Utf8 };

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

    // Entries whose name holds characters the handset's code page lacks: the book gets "?" for each.
    std::vector<int> NamesNotInCodePage() const;
    // Writes those names with the nearest letters the code page has (Transliterated); gives how many of
    // them the code page now holds whole. A name with characters that have no such letter keeps them.
    int TransliterateNames();
    // The offer to transliterate, showing the first name it changes as it would become, or "" when it
    // would change none.
    std::string TransliterationQuestion() const;
    // The names of the entries, each with its line (entry + 1) or lines when the entries that follow are
    // of the same contact: "\"Jan Kowalski\" (lines 3 to 4)"; at most `most` of them, then how many more.
    std::string NamesInLines(const std::vector<int>& entries, TNameBytes bytes, size_t most = 5) const;

    // What the person is told at the end, one text a line: how many numbers were made dialable (when
    // the offer was taken) and how many still cannot be stored; how many names were transliterated (when
    // that was done, and changed any) and which still have characters the handset lacks; what found no
    // room.
    std::vector<std::string> Report(std::optional<int> madeDialable,
                                    std::optional<int> transliterated = std::nullopt,
                                    TNameBytes names = TNameBytes::CodePage) const;

    // Entries 0 to Entries() - 1 of the book get the numbers and the names (the book normalises and cuts
    // them); onRow(entry, the whole name) after each, for the grid. Entries above are not touched.
    void FillPhonebook(TPP5Phonebook& book, const TImportedRowFn& onRow) const;

private:
    struct TTaken {
        std::string FullName;
        std::string Number;
        QString UnicodeName; // as TContact's
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
