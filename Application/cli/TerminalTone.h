#pragma once

#include <cstdio>
#include <string>

// What a message is, for how a terminal shows it: a plan's "+ - ~ !" lines in green, red and yellow,
// errors in red and warnings in yellow. Colour goes only to a terminal, and not where NO_COLOR is set
// (to anything but an empty text) or the terminal is "dumb"; a pipe or a file gets the plain text.
enum class TTone { Plain, Plan, Warning, Error };

// Whether the stream is a terminal that takes colour.
bool ColourWanted(FILE* stream);

// The lines (each ended by "\n") as the stream shows them in the tone: unchanged where it takes no
// colour. In the plan's tone only the lines that begin with "+ ", "- ", "~ " or "! " (after the tool's
// name and blanks) are coloured.
std::string Toned(const std::string& lines, TTone tone, FILE* stream);
