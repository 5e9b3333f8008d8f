#pragma once

#include "vsim/SimRecords.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

// The handset's text area (what its display shows) and the marks a SIM move leaves there, as values: no
// handset, no file. A mark tells which move a handset is in: "MOVING OUT 00291 0284280 1A2B3C4D" on the
// handset the SIM leaves, "MOVING IN ..." on the one it goes into; the last eight hex digits are drawn
// for each move. Earlier versions marked a move out with "MOVING 00291 0284280".
namespace SimMark {

constexpr uint16_t TextAreaAddress = 406;
constexpr uint16_t TextAreaLength = 36;
using TTextArea = std::array<uint8_t, TextAreaLength>;

constexpr const char* OutPrefix = "MOVING OUT ";
constexpr const char* InPrefix = "MOVING IN ";

// The text followed by zero bytes to the end of the area (cut at the area's end).
TTextArea AreaOf(const std::string& text);
// The text as the handset shows it: up to the first zero byte.
std::string DisplayText(std::span<const uint8_t> area);

// A kept area as hex text, and back; nothing for a text that is not 72 hex digits.
std::string AreaHex(const TTextArea& area);
std::optional<TTextArea> AreaFromHex(const std::string& hex);

// A new mark for the move of the SIM: prefix OutPrefix or InPrefix.
std::string NewMark(const char* prefix, const std::string& serialNumber);
// Whether the text is a mark, whole or its head.
bool IsMark(const std::string& text);
// The serial number a whole mark names; nothing for any other text.
std::optional<std::string> MarkedSerial(const std::string& text);
// Whether the text is the mark this journal's move put there.
bool CarriesMark(const std::string& text, const std::string& serialNumber, const TSimJournal& journal);
// Whether a write of text over the mark was cut off part-way: every byte of the area is the mark's or
// the text's, and the area is not the text's alone.
bool PartlyReplaced(const TTextArea& area, const std::string& mark, const std::string& text);

} // namespace SimMark
