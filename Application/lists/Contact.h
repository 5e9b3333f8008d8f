#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

// One contact as the phone book needs it; texts are single-byte Windows-1252 (see AnsiText.h: ToAnsi).
// Values are trimmed, and line breaks, control characters and runs of blanks inside them are one space.
struct TContact {
    std::string FullName, Business, Home, Primary, Mobile;
    // The name as the file writes it, when the code page lacks some of its characters (FullName then has
    // "?" for each of them); empty when FullName holds the name whole.
    QString UnicodeName = {};
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
