#include "cli/HandsetReport.h"

#include "cli/Command.h"
#include "cli/JsonOutput.h"
#include "cli/TerminalUser.h"

namespace {

constexpr const char* LineStart = "Handset ";
constexpr size_t SerialTextLength = 13;
std::optional<THandsetIdentity> Identified;

} // namespace

std::string HandsetLine(const THandsetIdentity& handset) {
    std::string line = LineStart + handset.SerialText();
    if (const std::string port = handset.PortName(); !port.empty())
        line += " at " + port;
    if (!handset.software.empty())
        line += " (software " + handset.software + ", PCS " + handset.pcs + ")";
    return line + ".";
}

std::optional<std::string> SerialOfHandsetLine(const std::string& message) {
    if (!message.starts_with(LineStart))
        return std::nullopt;
    const std::string rest = message.substr(std::char_traits<char>::length(LineStart));
    for (const char* known : {NoSimText, "not read"})
        if (rest.starts_with(known))
            return std::string(known);
    // "00291 0284280": five digits, a blank and seven digits.
    if (rest.size() >= SerialTextLength && rest[5] == ' ')
        return rest.substr(0, SerialTextLength);
    return std::nullopt;
}

const THandsetIdentity* IdentifiedHandset() {
    return Identified ? &*Identified : nullptr;
}

bool TTerminalUser::HandsetIdentified(const THandsetIdentity& handset) {
    // An operation that connects again names the handset only when it has changed.
    if (!Identified || Identified->serial != handset.serial || !handset.serial)
        PrintMessage(HandsetLine(handset));
    Identified = handset;
    AddJsonHandset(handset);
    return true;
}
