#pragma once

#include <QString>

#include <string>

// The core keeps texts as single bytes of the Windows-1252 code page, as the handsets and the files
// have them; the windows show them as Unicode. CR line breaks become LF for the widgets.
QString FromAnsi(const std::string& text);
std::string ToAnsi(const QString& text);
QString MessageText(const std::string& text);
