#pragma once

#include <string>

// What a handset dials for the "+" of an international number, unless the person says otherwise.
constexpr const char* DefaultInternationalPrefix = "00";

// A number as a contact gives it, made into one the handset can store and dial: a leading "+" becomes
// internationalPrefix (and a "(0)" after the country code, which is not dialled from abroad, goes), and
// the blanks and the separators "(", ")", "/", "." and "-" between the digits go. "*", "#" and the pause
// "P" stay where they are. Returned unchanged: a number the handset stores as it is (its "-" being a
// pause there, as the phone book keeps it), and one that would still not be storable (letters, "+" inside,
// no digit, or longer than the 23 characters the handset stores).
std::string MakeDialable(const std::string& number, const std::string& internationalPrefix);
