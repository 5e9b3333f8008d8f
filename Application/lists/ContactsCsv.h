#pragma once

#include "lists/Contact.h"

#include <QByteArray>

#include <vector>

// The "Comma Separated Values" and "Tab Separated Values" exports of Outlook, and the CSV exports of
// Thunderbird and Google: columns found by their header names as those programs write them (Outlook in
// English, German, French, Spanish, Dutch or Italian; see ContactsCsv.cpp), without regard to case,
// blanks or brackets. Every telephone column is taken: of each kind (business, home, primary, mobile) the
// first with a number fills the entry, the others go to the contact's Others (AssignNumbers); Google's
// typed pairs of columns are taken as vCard's typed numbers are. Columns that look like telephone
// numbers but are none of those go to notes. Of ",", ";" and tab, the one the header record holds most
// often (outside quotes) separates the fields. UTF-16 when the file starts with its byte order mark or
// looks like it (UnmarkedUtf16), UTF-8 after the UTF-8 mark or when the data is valid UTF-8, else
// Windows-1252. A file none of whose columns is a telephone number raises
// EContactsFileError(NoTelephoneColumns).
void ParseOutlookCsv(const QByteArray& data, const TContactSink& onContact, TContactsFileNotes* notes);
std::vector<TContact> ParseOutlookCsv(const QByteArray& data);
