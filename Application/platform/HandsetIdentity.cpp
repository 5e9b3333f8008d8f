#include "platform/HandsetIdentity.h"

std::string THandsetIdentity::SerialText() const {
    if (!serial)
        return "not read";
    return serial->empty() ? NoSimText : *serial;
}

std::string THandsetIdentity::FileTag() const {
    if (!serial)
        return "unknown";
    if (serial->empty())
        return "noSIM";
    std::string tag = *serial;
    for (char& c : tag)
        if (c == ' ')
            c = '-';
    return tag;
}

std::string THandsetIdentity::PortName() const {
    return port > 0 ? "COM" + std::to_string(port) : std::string();
}

std::string THandsetIdentity::Describe() const {
    const std::string at = PortName();
    return SerialText() + (at.empty() ? "" : " at " + at);
}
