#include "lists/SpeedDial.h"

#include "platform/CfgFiles.h"
#include "platform/TextFile.h"
#include "platform/TextFormat.h"

#include <QFileInfo>

#include <algorithm>
#include <cctype>
#include <string_view>

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

// A backup's line with the block as it was read: no comma, so a comment to the list's readers.
constexpr std::string_view BlockLinePrefix = "; block as read: ";
// A list file is a dozen short lines; the reader refuses far less than this as too large.
constexpr size_t MaxListFileBytes = 1 << 20;

std::optional<TPP5SpeedDial::TBlock> BlockLine(const std::string& text) {
    const size_t at = text.find(BlockLinePrefix);
    if (at == std::string::npos || (at > 0 && text[at - 1] != '\n' && text[at - 1] != '\r'))
        return std::nullopt;
    const size_t start = at + BlockLinePrefix.size();
    if (text.size() < start + 2 * size_t(TPP5SpeedDial::BlockBytes))
        return std::nullopt;
    TPP5SpeedDial::TBlock block{};
    for (size_t i = 0; i < block.size(); ++i) {
        const std::string pair = text.substr(start + 2 * i, 2);
        if (!std::isxdigit(uint8_t(pair[0])) || !std::isxdigit(uint8_t(pair[1])))
            return std::nullopt;
        block[i] = uint8_t(std::stoi(pair, nullptr, 16));
    }
    return block;
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

bool TPP5SpeedDial::EncodesAsRead() const {
    if (!AsRead)
        return false;
    TPP5SpeedDial read;
    read.Decode(*AsRead);
    return read.Numbers == Numbers;
}

TPP5SpeedDial::TBlock TPP5SpeedDial::Encode() const {
    if (EncodesAsRead())
        return *AsRead;
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
    std::vector<int> keyLines;
    const std::vector<std::string> keys = file.LineKeys(nullptr, &keyLines);
    std::vector<std::string> unknown;
    std::vector<std::string> twice;
    std::array<int, TPP5SpeedDial::Keys> firstLine{};
    for (size_t i = 0; i < keys.size(); ++i) {
        const auto* name = std::find_if(std::begin(KeyNames), std::end(KeyNames),
                                        [&](const char* known) { return SameText(keys[i], known); });
        if (name == std::end(KeyNames)) {
            unknown.push_back(QuotedText(keys[i]));
            continue;
        }
        int& first = firstLine[size_t(name - std::begin(KeyNames))];
        if (first > 0)
            twice.push_back(std::string(*name) + " in lines " + std::to_string(first) + " and " +
                            std::to_string(keyLines[i]));
        else
            first = keyLines[i];
    }
    const std::string known = "a speed dial list has the keys Key_0 to Key_9 and Key_Alarm";
    if (!unknown.empty())
        refuse("no speed dial key: " + JoinedText(unknown) + "; " + known + ".");
    // Which of two numbers for one key is meant is the person's to say.
    if (!twice.empty())
        refuse("a key given twice: " + JoinedText(twice) + "; each key has one number.");
    if (keys.empty())
        refuse("it holds no speed dial number; " + known + ".");
    list.Clear();
    for (int k = 0; k < TPP5SpeedDial::Keys; ++k)
        list.SetNumber(k, file.ReadValue(KeyNames[k], ""));
    try {
        list.AsRead = BlockLine(ReadFileBytes(path, MaxListFileBytes));
    } catch (const EFileError&) {
        // Read whole above: a file that changed since is taken by its numbers alone.
        list.AsRead.reset();
    }
    if (!list.EncodesAsRead())
        list.AsRead.reset();
}

std::string SpeedDialBackupText(const TPP5SpeedDial::TBlock& block) {
    TPP5SpeedDial list;
    list.Decode(block);
    // A block of numbers and fillers alone is what its numbers write: the list says all.
    if (list.Encode() == block)
        return SpeedDialListText(list);
    std::string hex;
    for (const uint8_t byte : block)
        hex += FormatText("%02X", unsigned(byte));
    return SpeedDialListText(list) + std::string(BlockLinePrefix) + hex + "\r\n";
}

std::string SpeedDialListText(const TPP5SpeedDial& list) {
    std::string text;
    for (int k = 0; k < TPP5SpeedDial::Keys; ++k)
        text += std::string(KeyNames[k]) + "," + list.Numbers[size_t(k)] + "\r\n";
    return text;
}
