#pragma once

#include "core/ProvisionTemplate.h"
#include "lists/PhonebookFile.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The text of a template's files as the template reads, checks and fills them: lines, placeholders,
// serial numbers and the problems' words. The template's own; nothing outside core/ uses it.
namespace TemplateText {

// No template file comes near this; the phone book's own bound serves for all of them.
inline constexpr size_t TemplateFileLimit = PhonebookFileLimit;
inline constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";
// The last seven digits of a serial number are five hex digits of the SIM, written in decimal.
inline constexpr unsigned long MostSerialSecondPart = 0xFFFFF;
// A phone book write takes this many lines at most: a handset counts its entries in one byte.
inline constexpr int MostPhonebookLines = 255;
// An error message lists this many problems and counts the others.
inline constexpr size_t ProblemsInMessage = 20;

inline constexpr const char* KindNames[] = {"phone book", "speed dial", "broadcast groups", "profile"};

std::string WithoutMark(const std::string& bytes);

bool HasControl(const std::string& text);

bool IsAsciiText(const std::string& text);

// A line and what ended it, so that a filled file keeps the template's line ends. Lines end as the list
// readers have them: CR LF, LF or CR alone; a last line without an end counts when it is not empty.
struct TLine {
    std::string Text;
    std::string End;
};

std::vector<TLine> SplitLines(const std::string& text);

// "{name}" in a line: a name of neither braces nor commas (a comma would move a phone book entry's
// split between name and number). A brace that opens or closes no such placeholder is stray.
struct TPlaceholder {
    size_t Begin;
    size_t End;
    std::string Name;
};

struct TLineMarks {
    std::vector<TPlaceholder> Placeholders;
    bool StrayBrace = false;
};

TLineMarks Marks(const std::string& line);

// "00291 0284280", "00291-0284280" or "002910284280" as the handset shows it; the reason otherwise.
std::optional<std::string> SerialNumber(const std::string& text, std::string* why = nullptr);

// The phone book reader's text for a problem of a line, without its "line 3: ".
std::string WithoutLinePrefix(const std::string& text, int line);

// A reader's message without the path it starts with: the problem names the file already.
std::string WithoutPath(const std::string& text, const std::string& path);

// A single-byte line as the phone book reader takes it back unchanged: as it is when plain ASCII, else
// in UTF-8 behind its byte order mark, which the reader converts back to these bytes.
std::string ForPhonebookReader(const std::string& text);

void Add(std::vector<TTemplateProblem>& problems, const std::string& file, int line, const std::string& text,
         const std::string& serial = {});

} // namespace TemplateText

// The lines of a template's lists that hold placeholders, and which of the table's columns are filled.
struct TProvisionTemplate::TLayout {
    struct TFilledLine {
        int Line;
        std::string Text;
        TemplateText::TLineMarks Marks;
    };
    std::vector<TFilledLine> Phonebook;
    std::vector<TFilledLine> SpeedDial;
    std::vector<bool> Filled;
};
