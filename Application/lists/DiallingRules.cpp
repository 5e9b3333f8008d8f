#include "lists/DiallingRules.h"

#include "lists/PP5Phonebook.h"

namespace {

bool IsDialSeparator(char c) {
    return c == ' ' || c == '\t' || c == '(' || c == ')' || c == '/' || c == '.' || c == '-';
}

// "(0)", blanks allowed inside, at position i: the trunk prefix an international number may show.
size_t TrunkZeroLength(const std::string& number, size_t i) {
    auto skipBlanks = [&number](size_t k) {
        while (k < number.size() && (number[k] == ' ' || number[k] == '\t'))
            ++k;
        return k;
    };
    if (number[i] != '(')
        return 0;
    size_t k = skipBlanks(i + 1);
    if (k == number.size() || number[k] != '0')
        return 0;
    k = skipBlanks(k + 1);
    return k < number.size() && number[k] == ')' ? k + 1 - i : 0;
}

} // namespace

std::string MakeDialable(const std::string& number, const std::string& internationalPrefix) {
    size_t i = 0;
    while (i < number.size() && (number[i] == ' ' || number[i] == '\t'))
        ++i;
    const bool international = i < number.size() && number[i] == '+';
    std::string dialable;
    if (international) {
        dialable = internationalPrefix;
        ++i;
    }
    bool digits = false;
    for (; i < number.size(); ++i) {
        const char c = number[i];
        if (const size_t trunk = international ? TrunkZeroLength(number, i) : 0; trunk > 0) {
            i += trunk - 1;
        } else if (!IsDialSeparator(c)) {
            if (!StorableInNumber(c))
                return number;
            digits = digits || (c >= '0' && c <= '9');
            dialable += c;
        }
    }
    return digits && dialable.size() <= MaxNumberLength ? dialable : number;
}
