#pragma once

#include <initializer_list>
#include <string>
#include <vector>

// The attributes of an element as lines 'name=value', in file order. Names are looked up without regard
// to case; a line without "=" has that whole line as its name and an empty value.
class TXMLParams {
public:
    TXMLParams() = default;
    TXMLParams(std::initializer_list<std::string> lines);

    int Count() const { return int(FLines.size()); }
    // Raise std::out_of_range for an index outside 0 .. Count() - 1.
    const std::string& Strings(int i) const;
    std::string Names(int i) const;
    std::string ValueFromIndex(int i) const;

    // The value of the first line with that name; empty when there is none.
    std::string Values(const std::string& name) const;
    int IndexOfName(const std::string& name) const;

    void Add(const std::string& line) { FLines.push_back(line); }
    void Clear() { FLines.clear(); }
    const std::vector<std::string>& Lines() const { return FLines; }

    bool operator==(const TXMLParams&) const = default;

private:
    std::vector<std::string> FLines;
};
