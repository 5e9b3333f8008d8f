#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>

// Entry n (1..254) tells whether port "COMn" is present; entry 0 is unused.
using TComPortTable = std::array<bool, 255>;

TComPortTable ListComPorts();

// The digits of text read as a decimal number, low 8 bits: "COM12" gives 12. Raises
// std::invalid_argument for a text without a digit or a number too large to read.
uint8_t PortNumberOf(const std::string& text);
