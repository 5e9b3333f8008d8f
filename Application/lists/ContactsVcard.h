#pragma once

#include "lists/Contact.h"

#include <QByteArray>
#include <QByteArrayView>

#include <vector>

// vCard 2.1, 3.0 and 4.0, one contact per card, in a file of UTF-8, of UTF-16, or (2.1) of the CHARSET
// its values name; any line may carry a group ("home.BEGIN:VCARD"). FN gives the name, else N. Of the TEL
// properties, the first "work" one is Business, the first "home" one Home, the first "cell" (or
// "mobile", "iphone") one Mobile, the first "pref" or "main" one (or PREF=1) Primary, and when that leaves
// Primary empty, the first with none of these types. A number is taken once per contact (a "work,pref"
// number is Business only). The contact's other numbers go to its Others (AssignNumbers): a fax or pager
// number ("fax", "homefax", "pager", unless also "voice" or "cell"), the same number again, a voice number
// beyond the four. A tel: URI loses its separators and keeps its extension after a pause ("P"). A card
// without END:VCARD still counts. A card nested in another (an AGENT's value, or one the outer card goes
// on after) is no contact: its numbers are the outer card's, as Nested.
void ParseVCards(const QByteArray& data, const TContactSink& onContact);
std::vector<TContact> ParseVCards(const QByteArray& data);

// Whether the file's first line that is not blank is "BEGIN:VCARD" (case-insensitive), after an optional
// UTF-8 byte order mark (UTF-16 is made UTF-8 first: Utf16AsUtf8).
bool StartsAsVCard(QByteArrayView data);
