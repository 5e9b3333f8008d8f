#include "core/TemplateText.h"

#include "platform/AnsiText.h"
#include "platform/TextFormat.h"

#include <algorithm>

namespace TemplateText {

std::string WithoutMark(const std::string& bytes) {
    return bytes.starts_with(ByteOrderMark) ? bytes.substr(ByteOrderMark.size()) : bytes;
}

bool HasControl(const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char c) { return uint8_t(c) < ' ' || c == 0x7F; });
}

bool IsAsciiText(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return uint8_t(c) < 0x80; });
}

std::vector<TLine> SplitLines(const std::string& text) {
    std::vector<TLine> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string::npos) {
            lines.push_back({text.substr(pos), ""});
            break;
        }
        const size_t after =
            end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
        lines.push_back({text.substr(pos, end - pos), text.substr(end, after - end)});
        pos = after;
    }
    return lines;
}

TLineMarks Marks(const std::string& line) {
    TLineMarks marks;
    size_t pos = 0;
    while ((pos = line.find_first_of("{}", pos)) != std::string::npos) {
        if (line[pos] == '}') {
            marks.StrayBrace = true;
            ++pos;
            continue;
        }
        const size_t close = line.find_first_of("{},", pos + 1);
        const std::string name =
            close == std::string::npos ? std::string() : TrimmedText(line.substr(pos + 1, close - pos - 1));
        if (close == std::string::npos || line[close] != '}' || name.empty()) {
            marks.StrayBrace = true;
            ++pos;
            continue;
        }
        marks.Placeholders.push_back({pos, close + 1, name});
        pos = close + 1;
    }
    return marks;
}

std::optional<std::string> SerialNumber(const std::string& text, std::string* why) {
    std::string digits;
    for (const char c : text) {
        if (c >= '0' && c <= '9') {
            digits += c;
        } else if (c != ' ' && c != '-') {
            digits.clear();
            break;
        }
    }
    if (digits.size() != 12) {
        if (why)
            *why = "five and seven digits, as \"00291 0284280\"";
        return std::nullopt;
    }
    if (std::stoul(digits.substr(5)) > MostSerialSecondPart) {
        if (why)
            *why = "its last seven digits go up to " + std::to_string(MostSerialSecondPart) + " on a handset";
        return std::nullopt;
    }
    return digits.substr(0, 5) + " " + digits.substr(5);
}

std::string WithoutLinePrefix(const std::string& text, int line) {
    const std::string prefix = "line " + std::to_string(line) + ": ";
    return text.starts_with(prefix) ? text.substr(prefix.size()) : text;
}

std::string WithoutPath(const std::string& text, const std::string& path) {
    return text.starts_with(path + ": ") ? text.substr(path.size() + 2) : text;
}

std::string ForPhonebookReader(const std::string& text) {
    if (IsAsciiText(text))
        return text;
    return std::string(ByteOrderMark) + FromAnsi(text).toUtf8().toStdString();
}

void Add(std::vector<TTemplateProblem>& problems, const std::string& file, int line, const std::string& text,
         const std::string& serial) {
    problems.push_back({file, line, text, serial});
}

} // namespace TemplateText
