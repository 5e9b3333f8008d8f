#pragma once

#include <cstdio>
#include <string>
#include <vector>

// printf-style filling of the table's texts ("Finished reading from handset! - %d sec"). Strings are
// passed as C strings.
template <typename... TArgs> std::string FormatText(const char* format, TArgs... args) {
    const int length = std::snprintf(nullptr, 0, format, args...);
    if (length <= 0)
        return {};
    std::string text(size_t(length), '\0');
    std::snprintf(text.data(), text.size() + 1, format, args...);
    return text;
}

// The text without the blanks and control characters at either end (bytes up to the space).
inline std::string TrimmedText(const std::string& text) {
    const auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    size_t begin = 0, end = text.size();
    while (begin < end && blank(text[begin]))
        ++begin;
    while (end > begin && blank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

// Text from a file as a message may quote it: control characters and NUL bytes shown as "\xNN", so
// that nothing cuts the message short or moves its lines.
inline std::string PrintableText(const std::string& text) {
    std::string shown;
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            shown += FormatText("\\x%02X", unsigned(static_cast<unsigned char>(c)));
        else
            shown += c;
    }
    return shown;
}

// What a message quotes of a file: printable, and cut after `most` characters with "...".
inline std::string QuotedText(const std::string& text, size_t most = 40) {
    const std::string shown = PrintableText(text.size() > most ? text.substr(0, most) : text);
    return "\"" + shown + (text.size() > most ? "...\"" : "\"");
}

// Up to `most` texts joined with ", ", and how many more there are.
inline std::string JoinedText(const std::vector<std::string>& texts, size_t most = 5) {
    std::string joined;
    for (size_t i = 0; i < texts.size() && i < most; ++i)
        joined += (i ? ", " : "") + texts[i];
    if (texts.size() > most)
        joined += " and " + std::to_string(texts.size() - most) + " more";
    return joined;
}

// Puts ch in front of text until it is width characters long.
inline std::string PadLeft(const std::string& text, char ch, size_t width) {
    return text.size() >= width ? text : std::string(width - text.size(), ch) + text;
}

inline std::string RemoveSpaces(const std::string& text) {
    std::string result;
    for (const char c : text) {
        if (c != ' ')
            result += c;
    }
    return result;
}

// Equal without regard to the case of ASCII letters, as names in settings and list files are compared.
inline bool SameText(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}
