#include "lists/PP5Phonebook.h"

#include <algorithm>

namespace {
const std::string Nothing;
}

std::string NormaliseNumber(const std::string& number) {
    std::string result = number;
    std::replace(result.begin(), result.end(), '-', 'P');
    result = RemoveSpaces(result);
    if (result.size() > MaxNumberLength)
        result.resize(MaxNumberLength);
    return result;
}

bool StorableInNumber(char c) {
    return (c >= '0' && c <= '9') || c == '*' || c == '#' || c == 'P' || c == 'p' || c == '-';
}

bool IsStorableNumber(const std::string& number) {
    return std::all_of(number.begin(), number.end(), StorableInNumber);
}

TPP5Phonebook::TPP5Phonebook() = default;

void TPP5Phonebook::SetCount(uint8_t n) {
    EntryCount = n;
    for (int i = n; i < PhonebookEntries; ++i)
        ClearEntry(uint16_t(i));
}

const std::string& TPP5Phonebook::GetName(uint16_t i) const {
    return i < PhonebookEntries ? Entries[i].Name : Nothing;
}

const std::string& TPP5Phonebook::GetNumber(uint16_t i) const {
    return i < PhonebookEntries ? Entries[i].Number : Nothing;
}

bool TPP5Phonebook::SetName(uint16_t i, const std::string& text) {
    if (i < PhonebookEntries)
        Entries[i].Name = text.substr(0, MaxNameLength);
    return true;
}

bool TPP5Phonebook::SetNumber(uint16_t i, const std::string& text) {
    if (i < PhonebookEntries)
        Entries[i].Number = NormaliseNumber(text);
    return true;
}

bool TPP5Phonebook::HasNumber(const std::string& text) const {
    return FindNumber(text) >= 0;
}

int TPP5Phonebook::FindNumber(const std::string& text, int from) const {
    const std::string wanted = NormaliseNumber(text);
    for (int i = std::max(from, 0); i < EntryCount; ++i)
        if (!Entries[size_t(i)].Number.empty() && Entries[size_t(i)].Number == wanted)
            return i;
    return -1;
}

int TPP5Phonebook::CountNumbers() const {
    return int(std::count_if(Entries.begin(), Entries.begin() + EntryCount,
                             [](const TPhonebookEntry& e) { return !e.Number.empty(); }));
}

void TPP5Phonebook::ClearEntry(uint16_t i) {
    if (i < PhonebookEntries)
        Entries[i] = {};
}

void TPP5Phonebook::Clear() {
    const int used = EntryCount == 0 ? PhonebookEntries : EntryCount;
    for (int i = 0; i < used; ++i)
        ClearEntry(uint16_t(i));
}
