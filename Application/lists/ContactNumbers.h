#pragma once

#include "lists/Contact.h"

#include <string>
#include <vector>

// How the numbers a contacts file gives one contact become its four entries (Business, Home, Primary,
// Mobile) and its other numbers, whatever the file's format.

// A number as a reader found it, with what its file says of it.
struct TFoundNumber {
    std::string Number;
    std::string Type; // the word that names it: "mobile", "car", "home 2", "fax"
    bool Work = false, Home = false, Mobile = false;
    bool Pref = false;     // the contact's primary (preferred, main) number
    bool Untyped = false;  // nothing says what it is: Primary takes it when no other fills Primary
    bool NotVoice = false; // fax, pager or telex
    bool Extension = false;
};

// Fills the contact's four entries and Others from the numbers, in file order: first each voice number
// that says work, home or mobile fills the first of those entries still empty, then the first preferred
// one Primary, then, when Primary is still empty, the first untyped one. With oncePerContact a number
// (as the phone book keeps it) fills one entry only. Every number left goes to Others: a fax, pager or
// telex as NotVoice, one that is the same as a number taken as Repeated, any other as Extra.
void AssignNumbers(TContact& contact, const std::vector<TFoundNumber>& numbers, bool oncePerContact);

// The number of a "tel:" URI (RFC 3966) as a handset dials it: its visual separators gone, and an
// extension (";ext=") after a pause, as in "+14186569254P102"; extension says whether there was one.
std::string TelUriNumber(const std::string& uri, bool* extension);

// A number with its extension written after it, as people and address books write it: "+1 418 656 9254
// ext. 102", "555-1234 x12", "0301234 extension 5": the extension goes after a pause, as in
// "+1 418 656 9254P102"; extension says whether there was one. Any other text is given back as it is.
std::string WrittenExtension(const std::string& text, bool* extension);
