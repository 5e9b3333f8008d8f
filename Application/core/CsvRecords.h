#pragma once

#include <string>
#include <utility>
#include <vector>

// The records of a CSV text (RFC 4180: fields separated by commas, quoted with '"' and '""' inside
// quotes), each with the line it starts on. Records of nothing but empty fields are left out; blanks
// around an unquoted field are no part of it.
struct TCsvRecord {
    int Line = 0;
    std::vector<std::string> Fields;
};

// The records of text; each fault of the text (a quote never closed, text after a closing quote, a quote
// inside an unquoted field) is added to problems with its line, and reading goes on where it can.
std::vector<TCsvRecord> ReadCsvRecords(const std::string& text,
                                       std::vector<std::pair<int, std::string>>& problems);
