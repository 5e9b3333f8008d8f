#pragma once

#include <QString>
#include <QtGlobal>

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

// Why a number a contacts file gives is none of its contact's entries. The readers give the first four;
// the import the last.
enum class TNumberLeftOut : uint8_t {
    Extra,    // a voice number beyond the four entries (a second mobile, "other", a car phone ...)
    Repeated, // the same number once more in the contact
    NotVoice, // a fax, pager or telex number
    Nested,   // a number of a card nested in the contact's card (its agent's)
    NoRoom,   // the phone book had no entry left
};
inline constexpr int NumberLeftOutKinds = int(TNumberLeftOut::NoRoom) + 1;

// A number of a contact besides its four entries.
struct TContactNumber {
    std::string Number; // as the file writes it, blanks tidied
    std::string Type;   // what the file calls it, in a word or two: "mobile", "car", "home 2"
    TNumberLeftOut Why = TNumberLeftOut::Extra;
    bool Extension = false; // the file gave an extension apart, now after a pause ("P")
};

// One contact as the phone book needs it; texts are single-byte Windows-1252 (see AnsiText.h: ToAnsi).
// Values are trimmed, and line breaks, control characters and runs of blanks inside them are one space.
struct TContact {
    std::string FullName, Business, Home, Primary, Mobile;
    // The name as the file writes it, when the code page lacks some of its characters (FullName then has
    // "?" for each of them); empty when FullName holds the name whole.
    QString UnicodeName = {};
    // Every other number the file gives the contact, in file order, with why it is none of the four.
    std::vector<TContactNumber> Others = {};
    // Which of Business, Home, Primary and Mobile (bits 0 to 3) end in an extension the file gave apart.
    uint8_t Extensions = 0;
};

// The four entries of a contact in the order they are taken, with the word that names each.
struct TContactField {
    std::string TContact::*Field;
    const char* Type;
};
inline constexpr TContactField ContactFields[] = {{&TContact::Business, "work"},
                                                  {&TContact::Home, "home"},
                                                  {&TContact::Primary, "primary"},
                                                  {&TContact::Mobile, "mobile"}};

// What a reader says of a file as a whole, beside its contacts.
struct TContactsFileNotes {
    // Column names (UTF-8) that look like telephone numbers but are no column the reader knows.
    std::vector<std::string> UnreadColumns;
    // The encoding, when the file does not say it and it is not the one taken by default ("" then).
    std::string GuessedEncoding;
};

// A contacts file that cannot be used; what() is a short reason for the person.
class EContactsFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The reason given for a CSV file none of whose columns is a telephone number.
inline constexpr const char* NoTelephoneColumns = "no telephone columns";

// Larger files are refused rather than read: no address book comes near it.
constexpr qsizetype MaxContactsFileSize = 64 * 1024 * 1024;

// Hands over each contact of a file in file order, to be used or moved from; nothing is kept.
using TContactSink = std::function<void(TContact& contact)>;

// The contacts a reader (called with a sink) hands over, in order.
template <class Reader> std::vector<TContact> CollectedContacts(Reader read) {
    std::vector<TContact> contacts;
    read([&contacts](TContact& contact) { contacts.push_back(std::move(contact)); });
    return contacts;
}
