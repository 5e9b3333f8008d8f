#pragma once

#include <string>

// What a handset dials for the "+" of an international number, unless the person says otherwise.
constexpr const char* DefaultInternationalPrefix = "00";

// A number as a contact gives it, made into one the handset can store and dial: a leading "+" becomes
// internationalPrefix (and a "(0)" after the country code, which is not dialled from abroad, goes), and
// the blanks and the separators "(", ")", "/", "." and "-" between the digits go, in every number alike
// (the phone book, left to itself, would keep a "-" as a pause). "*", "#" and the pause "P" stay where
// they are. Returned unchanged: a number that would still not be storable (letters, "+" inside, no digit,
// or longer than the 23 characters the handset stores).
std::string MakeDialable(const std::string& number, const std::string& internationalPrefix);
