#include "lists/DockingStationPhoneBookConverter.h"

#include "link/NumberConverting.h"
#include "lists/PP5Phonebook.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr size_t EchoLength = 3;

std::string Trim(const std::string& s) {
    const size_t first = s.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

std::string AfterEcho(const std::string& answer) {
    return answer.size() > EchoLength ? answer.substr(EchoLength) : std::string();
}

} // namespace

std::string TDSPBC::EncodeName(const std::string& name) const {
    std::string text = ByteToHex(uint8_t(name.size()));
    for (const char c : name)
        text += " " + ByteToHex(uint8_t(c));
    return text;
}

std::string TDSPBC::DecodeName(const std::string& answer) const {
    std::string rest = Trim(AfterEcho(answer));
    std::string name;
    while (!rest.empty()) {
        name += char(Hex2Dec(rest.substr(0, 2)));
        rest = Trim(rest.erase(0, std::min<size_t>(2, rest.size())));
    }
    return name;
}

std::string TDSPBC::EncodeNumber(const std::string& number) const {
    std::string digits = number;
    std::transform(digits.begin(), digits.end(), digits.begin(),
                   [](unsigned char c) { return char(std::toupper(c)); });
    digits += digits.size() % 2 == 0 ? "FF" : "F";
    for (char& c : digits) {
        if (c == '*')
            c = 'B';
        else if (c == '-' || c == 'P')
            c = 'D';
        else if (c == '#')
            c = 'C';
    }
    std::string text = ByteToHex(uint8_t(digits.size() / 2));
    for (size_t i = 0; i < digits.size(); i += 2)
        text += " " + digits.substr(i, 2);
    return text;
}

std::string TDSPBC::DecodeNumber(const std::string& answer) const {
    std::string number;
    for (char c : RemoveSpaces(AfterEcho(answer))) {
        if (c == 'F')
            continue;
        if (c == 'B')
            c = '*';
        else if (c == 'C')
            c = '#';
        else if (c == 'D')
            c = 'P';
        number += c;
    }
    return number;
}
