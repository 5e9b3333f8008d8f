#include "xml/XMLText.h"

#include <algorithm>

namespace {

std::string ReplaceAll(const std::string& text, const std::string& from, const std::string& to) {
    std::string result;
    result.reserve(text.size());
    size_t start = 0;
    for (size_t found; (found = text.find(from, start)) != std::string::npos; start = found + from.size())
        result.append(text, start, found - start).append(to);
    return result.append(text, start, std::string::npos);
}

void AddParam(const std::string& attribute, TXMLParams& list) {
    const size_t equals = attribute.find('=');
    if (equals == std::string::npos)
        return;
    std::string value = attribute.substr(equals + 1);
    // Two characters are enough: '""' is the empty value, not a pair of quote characters.
    if (value.size() >= 2) {
        if (value.front() == '"')
            value.erase(0, 1);
        if (!value.empty() && value.back() == '"')
            value.pop_back();
    }
    value = DecodeEntities(value);
    if (!value.empty())
        list.Add(attribute.substr(0, equals) + "=" + value);
}

} // namespace

std::string EncodeAttributeValue(const std::string& value) {
    std::string result = ReplaceAll(value, "&", "&amp;");
    result = ReplaceAll(result, "<", "&lt;");
    result = ReplaceAll(result, ">", "&gt;");
    return ReplaceAll(result, "\"", "&quot;");
}

std::string EncodeEntities(const std::string& text) {
    return ReplaceAll(EncodeAttributeValue(text), "\r\n", "<br/>");
}

std::string DecodeEntities(const std::string& text) {
    std::string result = ReplaceAll(text, "<br/>", "\r\n");
    result = ReplaceAll(result, "&lt;", "<");
    result = ReplaceAll(result, "&gt;", ">");
    result = ReplaceAll(result, "&quot;", "\"");
    return ReplaceAll(result, "&amp;", "&");
}

std::string ParseTagName(const std::string& tag) {
    const std::string rest = tag.empty() ? std::string() : tag.substr(1);
    if (const size_t space = rest.find(' '); space != std::string::npos)
        return rest.substr(0, space);
    if (const size_t slash = rest.find('/'); slash != std::string::npos)
        return rest.substr(0, slash);
    return rest.empty() ? rest : rest.substr(0, rest.size() - 1);
}

void ParseParams(const std::string& tag, TXMLParams& list) {
    list.Clear();
    const size_t space = tag.find(' ');
    if (space == std::string::npos)
        return;
    size_t end = std::min(tag.find('>'), tag.size());
    if (end > 0 && tag[end - 1] == '/')
        --end;
    // Every character of the region counts, the last one too: a blank before ">" or "/>" must not end
    // up in the last value.
    std::string attribute;
    bool inQuotes = false;
    for (size_t i = space + 1; i < end; ++i) {
        const char c = tag[i];
        if (c == '"')
            inQuotes = !inQuotes;
        if (!inQuotes && (c == ' ' || c == '\r' || c == '\n')) {
            AddParam(attribute, list);
            attribute.clear();
        } else {
            attribute += c;
        }
    }
    AddParam(attribute, list);
}
