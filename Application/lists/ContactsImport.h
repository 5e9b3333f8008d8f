#pragma once

#include "lists/Contact.h"
#include "lists/ContactsCsv.h"
#include "lists/ContactsVcard.h"
#include "lists/DiallingRules.h"

#include <QString>

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class TPP5Phonebook;

// Reads an Outlook CSV export (ContactsCsv.h) or a vCard file (ContactsVcard.h), chosen by content: a file
// whose first non-blank line is "BEGIN:VCARD" (perhaps behind a group) is vCard, else CSV; either may be
// UTF-16, with its byte order mark or without. What the reader says of the file as a whole goes to notes
// when given. Raises EContactsFileError with a short reason for a file that cannot be opened or read, or
// is malformed; the contacts handed over before it are the file's first ones, but the file as a whole is
// not to be used. Memory: the file's bytes (and their UTF-8 form while a UTF-16 file is converted) and
// one contact at a time.
void ReadContactsFile(const std::string& path, const TContactSink& onContact,
                      TContactsFileNotes* notes = nullptr);
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
// "P" would turn a separator into a pause), and accounts for every number of every contact: each is an
// entry or counted as not taken, with its reason, so that the numbers found are the entries and the
// numbers not taken. Of the contacts only the numbers beyond their four entries are kept, to be named one
// by one (the first ListedKept of them); everything else is let go as they come, so that a file of
// millions of rows costs not much more than its bytes.
class TContactsImport {
public:
    // The numbers not taken that are named one by one, at most.
    static constexpr size_t ListedKept = 1000;
    // How many of them the window's message names.
    static constexpr size_t ListedInWindow = 10;

    // room: the entries the import may fill, i.e. the grid's data rows (at most PhonebookEntries).
    // allNumbers: every voice number of a contact is an entry, named "Name (type)", not only its four.
    explicit TContactsImport(int room, bool allNumbers = false);

    // The numbers of the contact in the order Business, Home, Primary, Mobile, each one entry while
    // there is room (an empty one is skipped), then, with allNumbers, those beyond the four; its other
    // numbers are counted as not taken.
    void Add(const TContact& contact);
    // Add for each contact of the file (ReadContactsFile), raising as it does.
    void AddFile(const std::string& path);

    int Contacts() const { return ContactCount; }
    int Entries() const { return int(Taken.size()); }
    // Numbers that found no room, and the contacts they belong to.
    int NumbersLeftOut() const { return NotTaken[size_t(TNumberLeftOut::NoRoom)]; }
    int ContactsLeftOut() const { return ContactsNotTaken; }
    // Every number of the contacts, and those of them that are no entry, in all and for one reason.
    int NumbersFound() const { return Found; }
    int NumbersNotTaken() const;
    int NumbersNotTaken(TNumberLeftOut why) const { return NotTaken[size_t(why)]; }
    const TContactsFileNotes& FileNotes() const { return Notes; }

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
    // that was done, and changed any) and which still have characters the handset lacks; which numbers
    // end in an extension after a pause; what the file's columns or encoding leave to say; each number
    // beyond a contact's four entries or of a nested card, at most `listed` of them; what found no room.
    std::vector<std::string> Report(std::optional<int> madeDialable,
                                    std::optional<int> transliterated = std::nullopt,
                                    TNameBytes names = TNameBytes::CodePage,
                                    size_t listed = ListedInWindow) const;
    // The count every import ends with, which adds up: "Contacts read: 3. Numbers found: 9 = entries: 6 +
    // not taken: 3 (...)."
    std::string Summary() const;

    // Entries 0 to Entries() - 1 of the book get the numbers and the names (the book normalises and cuts
    // them); onRow(entry, the whole name) after each, for the grid. Entries above are not touched.
    void FillPhonebook(TPP5Phonebook& book, const TImportedRowFn& onRow) const;

private:
    struct TTaken {
        std::string FullName;
        std::string Number;
        QString UnicodeName; // as TContact's
        bool Extension = false;
    };
    struct TListed {
        std::string FullName;
        QString UnicodeName;
        TContactNumber Number;
    };
    // Takes the number as the next entry while there is room; gives false when there is none.
    bool Take(const TContact& contact, const std::string& number, const std::string& type, bool extension);
    int EntryRoom;
    bool AllNumbers;
    int ContactCount = 0;
    int ContactsNotTaken = 0;
    int Found = 0;
    std::array<int, NumberLeftOutKinds> NotTaken{};
    int Listed = 0; // numbers named one by one, kept or not
    std::vector<TListed> ListedNumbers;
    TContactsFileNotes Notes;
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
