#include "xml/XMLParams.h"

#include "platform/TextFormat.h"

#include <algorithm>
#include <stdexcept>

namespace {

std::string NameOf(const std::string& line) {
    return line.substr(0, line.find('='));
}

} // namespace

TXMLParams::TXMLParams(std::initializer_list<std::string> lines)
    : FLines(lines) {}

const std::string& TXMLParams::Strings(int i) const {
    if (i < 0 || i >= Count())
        throw std::out_of_range("List index out of bounds (" + std::to_string(i) + ")");
    return FLines[size_t(i)];
}

std::string TXMLParams::Names(int i) const {
    return NameOf(Strings(i));
}

std::string TXMLParams::ValueFromIndex(int i) const {
    const std::string& line = Strings(i);
    const size_t equals = line.find('=');
    return equals == std::string::npos ? std::string() : line.substr(equals + 1);
}

int TXMLParams::IndexOfName(const std::string& name) const {
    for (int i = 0; i < Count(); ++i)
        if (SameText(NameOf(FLines[size_t(i)]), name))
            return i;
    return -1;
}

std::string TXMLParams::Values(const std::string& name) const {
    const int i = IndexOfName(name);
    return i < 0 ? std::string() : ValueFromIndex(i);
}
