#pragma once

#include "lists/Contact.h"

#include <QByteArray>

#include <vector>

// Outlook's "Comma Separated Values" export, and the "Tab Separated Values" one: columns found by their
// header names as Outlook writes them in English, German or French (see ContactsCsv.cpp), without regard to
// case, blanks or brackets. Of ",", ";" and tab, the one the header record holds most often (outside
// quotes) separates the fields. UTF-16 when the file starts with its byte order mark, UTF-8 after the
// UTF-8 mark or when the data is valid UTF-8, else Windows-1252. A file none of whose columns is a
// telephone number raises EContactsFileError(NoTelephoneColumns).
void ParseOutlookCsv(const QByteArray& data, const TContactSink& onContact);
std::vector<TContact> ParseOutlookCsv(const QByteArray& data);
