#include "core/CsvRecords.h"

#include "platform/TextFormat.h"

#include <algorithm>

namespace {

size_t LineEndAt(const std::string& text, size_t i) {
    if (i >= text.size())
        return 0;
    if (text[i] == '\r')
        return i + 1 < text.size() && text[i + 1] == '\n' ? 2 : 1;
    return text[i] == '\n' ? 1 : 0;
}

} // namespace

std::vector<TCsvRecord> ReadCsvRecords(const std::string& text,
                                       std::vector<std::pair<int, std::string>>& problems) {
    std::vector<TCsvRecord> records;
    const size_t n = text.size();
    size_t i = 0;
    int line = 1;
    while (i < n) {
        TCsvRecord record{line, {}};
        for (;;) {
            std::string field;
            size_t j = i;
            while (j < n && (text[j] == ' ' || text[j] == '\t'))
                ++j;
            if (j < n && text[j] == '"') {
                const int opened = line;
                i = j + 1;
                for (;;) {
                    if (i >= n) {
                        problems.push_back({opened, "a quote opened here is never closed"});
                        return records;
                    }
                    if (text[i] == '"' && i + 1 < n && text[i + 1] == '"') {
                        field += '"';
                        i += 2;
                    } else if (text[i] == '"') {
                        ++i;
                        break;
                    } else {
                        if (const size_t end = LineEndAt(text, i); end > 0) {
                            ++line;
                            field += text.substr(i, end);
                            i += end;
                            continue;
                        }
                        field += text[i++];
                    }
                }
                while (i < n && (text[i] == ' ' || text[i] == '\t'))
                    ++i;
                if (i < n && text[i] != ',' && LineEndAt(text, i) == 0) {
                    problems.push_back({line, "text after the closing quote of a field"});
                    while (i < n && text[i] != ',' && LineEndAt(text, i) == 0)
                        ++i;
                }
            } else {
                while (i < n && text[i] != ',' && LineEndAt(text, i) == 0)
                    field += text[i++];
                field = TrimmedText(field);
                if (field.find('"') != std::string::npos)
                    problems.push_back(
                        {line, "a quote inside a field that does not start with one: " + QuotedText(field)});
            }
            record.Fields.push_back(std::move(field));
            if (i < n && text[i] == ',') {
                ++i;
                continue;
            }
            if (const size_t end = LineEndAt(text, i); end > 0) {
                i += end;
                ++line;
            }
            break;
        }
        if (std::any_of(record.Fields.begin(), record.Fields.end(),
                        [](const std::string& f) { return !f.empty(); }))
            records.push_back(std::move(record));
    }
    return records;
}
