#pragma once

#include <QString>

#include <string>

// The core keeps texts as single bytes of the Windows-1252 code page, as the handsets and the files
// have them; the windows show them as Unicode. CR line breaks become LF for the widgets.
QString FromAnsi(const std::string& text);
std::string ToAnsi(const QString& text);
QString MessageText(const std::string& text);

// UTF-8, strictly: no overlong forms, no surrogates, nothing above U+10FFFF, no sequence cut off at the
// end.
bool IsUtf8(QByteArrayView bytes);
QString FromUtf8(QByteArrayView bytes);
// A text the system gives (a file name, a message): UTF-8 when it is valid UTF-8, else Windows-1252.
QString FromUtf8OrAnsi(const std::string& text);

// The text of a file as single bytes: a file in UTF-8 (with its byte order mark, or valid UTF-8 with
// characters beyond ASCII), as editors write them now, is converted, a character the code page lacks
// becoming "?"; any other file stays as it is.
std::string SingleByteText(const std::string& fileBytes, bool* wasUtf8 = nullptr);
