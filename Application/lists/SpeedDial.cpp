#include "lists/SpeedDial.h"

#include "platform/CfgFiles.h"
#include "platform/TextFile.h"
#include "platform/TextFormat.h"

#include <QFileInfo>

#include <algorithm>
#include <cctype>

namespace {

constexpr const char* KeyNames[TPP5SpeedDial::Keys] = {
    "Key_0", "Key_1", "Key_2", "Key_3", "Key_4", "Key_5", "Key_6", "Key_7", "Key_8", "Key_9", "Key_Alarm"};

std::optional<uint8_t> Nibble(char c) {
    if (c >= '0' && c <= '9')
        return uint8_t(c - '0');
    switch (c) {
    case '*':
        return 0xB;
    case '#':
        return 0xC;
    case '-':
    case 'P':
    case 'p':
        return 0xD;
    default:
        return std::nullopt;
    }
}

char CharOf(uint8_t nibble) {
    if (nibble <= 9)
        return char('0' + nibble);
    return nibble == 0xB ? '*' : nibble == 0xC ? '#' : '-';
}

} // namespace

const char* SpeedDialKeyName(int k) {
    return k >= 0 && k < TPP5SpeedDial::Keys ? KeyNames[k] : "";
}

void TPP5SpeedDial::Clear() {
    Numbers.fill({});
}

void TPP5SpeedDial::SetNumber(int k, const std::string& text) {
    if (k >= 0 && k < Keys)
        Numbers[size_t(k)] = text.substr(0, MaxNumberLength);
}

std::optional<std::pair<int, char>> TPP5SpeedDial::FirstUnsendable() const {
    for (int k = 0; k < Keys; ++k)
        for (const char c : Numbers[size_t(k)])
            if (!Nibble(c))
                return std::pair{k, c};
    return std::nullopt;
}

TPP5SpeedDial::TBlock TPP5SpeedDial::Encode() const {
    TBlock block;
    block.fill(0xFF);
    for (int k = 0; k < Keys; ++k) {
        const std::string& number = Numbers[size_t(k)];
        for (size_t i = 0; i < number.size() && i < 2 * SlotBytes; ++i) {
            const uint8_t nibble = Nibble(number[i]).value_or(0xF);
            uint8_t& byte = block[size_t(k * SlotBytes) + i / 2];
            byte = i % 2 == 0 ? uint8_t((nibble << 4) | 0x0F) : uint8_t((byte & 0xF0) | nibble);
        }
    }
    return block;
}

void TPP5SpeedDial::Decode(const TBlock& block) {
    for (int k = 0; k < Keys; ++k) {
        std::string number;
        for (int i = 0; i < 2 * SlotBytes; ++i) {
            const uint8_t byte = block[size_t(k * SlotBytes + i / 2)];
            const uint8_t nibble = i % 2 == 0 ? uint8_t(byte >> 4) : uint8_t(byte & 0x0F);
            if (nibble == 0xA || nibble == 0xE || nibble == 0xF)
                break;
            number += CharOf(nibble);
        }
        SetNumber(k, number);
    }
}

void SaveSpeedDialList(const std::string& path, const TPP5SpeedDial& list) {
    TCfgFile file(path);
    file.SetSeparator(',');
    for (int k = 0; k < TPP5SpeedDial::Keys; ++k)
        file.WriteValue(KeyNames[k], list.Numbers[size_t(k)]);
    file.Close();
}

void LoadSpeedDialList(const std::string& path, TPP5SpeedDial& list) {
    TCfgFile file(path);
    const auto refuse = [&](const std::string& why) { throw EUnusableFile(path + ": " + why); };
    if (!QFileInfo::exists(QString::fromStdString(path)))
        refuse("there is no such file.");
    if (!file.ReadProblem().empty())
        refuse("it cannot be read: " + file.ReadProblem() + ".");
    file.SetSeparator(',');
    const std::vector<std::string> keys = file.LineKeys();
    std::vector<std::string> unknown;
    for (const std::string& key : keys)
        if (std::none_of(std::begin(KeyNames), std::end(KeyNames),
                         [&](const char* name) { return SameText(key, name); }))
            unknown.push_back(QuotedText(key));
    const std::string known = "a speed dial list has the keys Key_0 to Key_9 and Key_Alarm";
    if (!unknown.empty())
        refuse("no speed dial key: " + JoinedText(unknown) + "; " + known + ".");
    if (keys.empty())
        refuse("it holds no speed dial number; " + known + ".");
    list.Clear();
    for (int k = 0; k < TPP5SpeedDial::Keys; ++k)
        list.SetNumber(k, file.ReadValue(KeyNames[k], ""));
}

std::string SpeedDialListText(const TPP5SpeedDial& list) {
    std::string text;
    for (int k = 0; k < TPP5SpeedDial::Keys; ++k)
        text += std::string(KeyNames[k]) + "," + list.Numbers[size_t(k)] + "\r\n";
    return text;
}
