#include "lists/ContactNumbers.h"

#include "lists/PP5Phonebook.h"

#include <algorithm>
#include <cctype>

namespace {

// RFC 3966's visual separators; a pause would be written "p".
bool IsVisualSeparator(char c) {
    return c == '-' || c == '.' || c == '(' || c == ')';
}

std::string WithoutSeparators(const std::string& text) {
    std::string kept;
    for (const char c : text)
        if (!IsVisualSeparator(c))
            kept += c;
    return kept;
}

bool IsDigits(const std::string& text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

void AssignNumbers(TContact& contact, const std::vector<TFoundNumber>& numbers, bool oncePerContact) {
    std::vector<std::string> taken; // as the phone book keeps them
    std::vector<bool> placed(numbers.size(), false);
    auto isTaken = [&taken](const std::string& kept) {
        return std::find(taken.begin(), taken.end(), kept) != taken.end();
    };
    auto take = [&](size_t i, int field) {
        std::string& entry = contact.*ContactFields[field].Field;
        if (placed[i] || !entry.empty())
            return;
        if (oncePerContact) {
            std::string kept = NormaliseNumber(numbers[i].Number);
            if (isTaken(kept))
                return;
            taken.push_back(std::move(kept));
        }
        entry = numbers[i].Number;
        if (numbers[i].Extension)
            contact.Extensions |= uint8_t(1u << field);
        placed[i] = true;
    };
    constexpr int Business = 0, Home = 1, Primary = 2, Mobile = 3;
    for (size_t i = 0; i < numbers.size(); ++i) {
        const TFoundNumber& n = numbers[i];
        if (n.NotVoice)
            continue;
        if (n.Work)
            take(i, Business);
        if (n.Home)
            take(i, Home);
        if (n.Mobile)
            take(i, Mobile);
    }
    for (size_t i = 0; i < numbers.size(); ++i)
        if (!numbers[i].NotVoice && numbers[i].Pref)
            take(i, Primary);
    for (size_t i = 0; i < numbers.size(); ++i)
        if (!numbers[i].NotVoice && numbers[i].Untyped)
            take(i, Primary);

    // Without once per contact the numbers taken are set side by side only when one is left.
    if (!oncePerContact && std::find(placed.begin(), placed.end(), false) != placed.end())
        for (size_t i = 0; i < numbers.size(); ++i)
            if (placed[i])
                taken.push_back(NormaliseNumber(numbers[i].Number));
    for (size_t i = 0; i < numbers.size(); ++i) {
        if (placed[i])
            continue;
        const TFoundNumber& n = numbers[i];
        TNumberLeftOut why = TNumberLeftOut::Extra;
        if (n.NotVoice)
            why = TNumberLeftOut::NotVoice;
        else if (isTaken(NormaliseNumber(n.Number)))
            why = TNumberLeftOut::Repeated;
        contact.Others.push_back({n.Number, n.Type, why, n.Extension});
    }
}

std::string TelUriNumber(const std::string& uri, bool* extension) {
    *extension = false;
    const size_t semicolon = uri.find(';');
    std::string number = WithoutSeparators(uri.substr(0, semicolon));
    if (semicolon == std::string::npos)
        return number;
    size_t at = semicolon;
    while (at < uri.size()) {
        const size_t end = std::min(uri.find(';', at + 1), uri.size());
        const std::string parameter = uri.substr(at + 1, end - at - 1);
        at = end;
        const size_t equals = parameter.find('=');
        std::string name = parameter.substr(0, equals);
        std::transform(name.begin(), name.end(), name.begin(),
                       [](char c) { return char(std::tolower(static_cast<unsigned char>(c))); });
        if (name != "ext" || equals == std::string::npos)
            continue;
        const std::string digits = WithoutSeparators(parameter.substr(equals + 1));
        if (IsDigits(digits)) {
            number += 'P' + digits;
            *extension = true;
        }
        break;
    }
    return number;
}

std::string WrittenExtension(const std::string& text, bool* extension) {
    *extension = false;
    // Most numbers hold no letter at all.
    if (std::none_of(text.begin(), text.end(), [](char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }))
        return text;
    std::string lower = text;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return char(std::tolower(static_cast<unsigned char>(c))); });
    // The last word of letters, with the digits after it.
    const size_t end = lower.find_last_not_of(" \t");
    if (end == std::string::npos)
        return text;
    size_t digits = lower.find_last_not_of("0123456789", end);
    if (digits == std::string::npos || digits == end)
        return text;
    size_t marker = lower.find_last_not_of(" .:#", digits);
    marker = marker == std::string::npos ? 0 : marker + 1;
    size_t word = lower.find_last_not_of("abcdefghijklmnopqrstuvwxyz", marker == 0 ? 0 : marker - 1);
    word = word == std::string::npos ? 0 : word + 1;
    const std::string name = lower.substr(word, marker - word);
    if (name != "ext" && name != "extn" && name != "extension" && name != "x")
        return text;
    std::string number = text.substr(0, word);
    number.erase(number.find_last_not_of(" \t,;") + 1);
    if (number.find_first_of("0123456789") == std::string::npos)
        return text;
    *extension = true;
    return number + 'P' + text.substr(digits + 1, end - digits);
}
