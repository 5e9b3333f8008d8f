#pragma once

#include "lists/Contact.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

#include <string>
#include <string_view>

// The texts of contacts files: their encodings, the blanks in their values, and the handset's code page
// (Windows-1252), with the nearest letters it has for those it lacks.

// ---- Encodings -------------------------------------------------------------------------------------

// A file that starts with the byte order mark of UTF-16 (little or big endian), or that is UTF-16
// without it (UnmarkedUtf16), as UTF-8, behind the UTF-8 mark so that the readers take it as UTF-8; any
// other data as it is. Converted a piece at a time, so that no more than the result is held beside the
// data.
QByteArray Utf16AsUtf8(const QByteArray& data);

// "UTF-16LE" or "UTF-16BE" when the data, without a byte order mark, is UTF-16 of that byte order as
// its first kilobytes show it (a zero byte in the same half of most units, as Latin text has it); else
// null.
const char* UnmarkedUtf16(QByteArrayView data);

// Without a leading UTF-8 byte order mark.
QByteArrayView WithoutUtf8Mark(QByteArrayView data);

bool IsAscii(QByteArrayView bytes);

// ---- Blanks ----------------------------------------------------------------------------------------

// Blanks as far as names and numbers are concerned: controls, line breaks, space, DEL, no-break space.
bool IsBlank(char c);
bool IsBlank(QByteArrayView bytes);
// Trims the single-byte text and makes every run of blanks inside it one space.
std::string Tidy(std::string_view text);
// The same for a text, whose blanks are also the other spaces Unicode has.
QString TidyText(const QString& text);
// The words that are not empty, one space between them.
QString JoinedWords(const QStringList& words);

// ---- The handset's code page -----------------------------------------------------------------------

bool InCodePage(char32_t c);

// ToAnsi, composed first (a letter and its accent written apart are one character of the code page), with
// "?" for each character the code page lacks; lost, when given, says whether there was one.
std::string AnsiOf(const QString& text, bool* lost = nullptr);

// The contact's FullName from the name as the file writes it, and its UnicodeName when the code page lacks
// some of its characters.
void SetContactName(TContact& contact, const QString& name);

// The text with each character the code page lacks written with the nearest it has: accents the code page
// does not have on that letter are left off (o with double acute is "o", u with diaeresis and acute the
// u with diaeresis of the code page), a letter with no accent to leave off takes the one it is written
// like (the Polish barred L is "L"), and a compatibility form its plain one (the ligature fi is "fi").
// Characters with none of these (Chinese, Greek, Cyrillic ...) stay as they are.
QString Transliterated(const QString& text);
