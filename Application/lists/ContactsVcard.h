#pragma once

#include "lists/Contact.h"

#include <QByteArray>
#include <QByteArrayView>

#include <vector>

// vCard 2.1, 3.0 and 4.0, one contact per card, in a file of UTF-8, of UTF-16 with its byte order mark,
// or (2.1) of the CHARSET its values name. FN gives the name, else N. Of the TEL properties, the first
// "work" one is Business, the first "home" one Home, the first "cell" one Mobile, the first "pref" one (or
// PREF=1) Primary, and when that leaves Primary empty, the first with none of these types. A number is
// taken once per contact (a "work,pref" number is Business only); fax and pager numbers are left out. A
// card without END:VCARD still counts; cards nested in an AGENT property add nothing.
void ParseVCards(const QByteArray& data, const TContactSink& onContact);
std::vector<TContact> ParseVCards(const QByteArray& data);

// Whether the file's first line that is not blank is "BEGIN:VCARD" (case-insensitive), after an optional
// UTF-8 byte order mark (UTF-16 is made UTF-8 first: Utf16AsUtf8).
bool StartsAsVCard(QByteArrayView data);
