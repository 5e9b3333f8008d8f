#pragma once

#include "platform/TextFormat.h"

#include <array>
#include <cstdint>
#include <string>

constexpr size_t MaxNameLength = 24;
constexpr size_t MaxNumberLength = 23;
constexpr int PhonebookEntries = 256;

// One phone book row: an empty number means the entry is free.
struct TPhonebookEntry {
    std::string Name;
    std::string Number;
};

// A dial string as the phone book keeps it: "-" becomes the pause "P", spaces go, at most 23 characters.
std::string NormaliseNumber(const std::string& number);

// What the packed number of a handset entry can carry, in either case: the digits, "*", "#", and "P" or
// "-" (both the pause).
bool StorableInNumber(char c);
bool IsStorableNumber(const std::string& number);

// The PC's copy of a handset phone book: a fixed table of which the first Count entries are in use.
class TPP5Phonebook {
public:
    TPP5Phonebook();

    uint8_t Count() const { return EntryCount; }
    // Entries from n on are emptied, so that nothing hidden comes back when the count grows again.
    void SetCount(uint8_t n);

    const std::string& GetName(uint16_t i) const;
    const std::string& GetNumber(uint16_t i) const;
    bool SetName(uint16_t i, const std::string& text);
    bool SetNumber(uint16_t i, const std::string& text);

    // Whether one of the entries in use holds the number, both compared in their normalised forms.
    bool HasNumber(const std::string& text) const;
    // The first entry in use from `from` on that holds the number (compared as HasNumber does), or -1.
    int FindNumber(const std::string& text, int from = 0) const;
    int CountNumbers() const;

    void ClearEntry(uint16_t i);
    void Clear();

private:
    std::array<TPhonebookEntry, PhonebookEntries> Entries;
    uint8_t EntryCount = 0;
};
