#pragma once

#include <string>

// Which program opens the user guide. Windows named the reader in the registry and its version in the
// reader's version resource; here the desktop names the program registered for PDF files (xdg-mime), and
// its version is known only when its program file carries a version record.

// The desktop entry registered for PDF files ("org.gnome.Evince.desktop"); empty when there is none or
// the desktop cannot be asked.
std::string RegisteredPdfReader();

// The program file a desktop entry starts (the first word of its Exec line, found on PATH); empty when
// the entry or its program cannot be found.
std::string DesktopEntryProgram(const std::string& desktopId);

// The major version of the registered PDF reader, or -1 when none is registered or its version is not
// known. std::invalid_argument when the version's part before the first "." is not a number.
int PdfReaderMajorVersion();

// The number before the first "." of a file version ("7.0.5" gives 7), or -1 when the version has no "."
// after its first character. std::invalid_argument when that part is not a number.
int MajorVersionOf(const std::string& fileVersion);
