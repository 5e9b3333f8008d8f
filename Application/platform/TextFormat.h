#pragma once

#include <cstdio>
#include <string>

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
