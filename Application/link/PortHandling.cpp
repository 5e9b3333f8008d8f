#include "link/PortHandling.h"

#include "platform/DeviceMap.h"

TComPortTable ListComPorts() {
    TComPortTable table{};
    for (const auto& [n, device] : DeviceMap::PresentPorts())
        if (n >= 1 && n <= DeviceMap::MaxPortNumber)
            table[size_t(n)] = true;
    return table;
}

uint8_t PortNumberOf(const std::string& text) {
    uint64_t value = 0;
    int digits = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            continue;
        if (++digits > 18)
            throw std::invalid_argument("'" + text + "' is not a valid integer value");
        value = value * 10 + uint64_t(c - '0');
    }
    if (digits == 0)
        throw std::invalid_argument("'" + text + "' is not a valid integer value");
    return uint8_t(value & 0xFF);
}
