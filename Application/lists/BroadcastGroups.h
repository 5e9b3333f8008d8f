#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

// The broadcast groups a handset belongs to: up to sixteen slots, each a group number 0..255 written
// in decimal, or empty.
class TBroadcastGroups {
public:
    static constexpr int Slots = 16;
    static constexpr int MaxGroup = 255;

    // Slot texts as typed or loaded; texts from a file are taken unchanged and checked only when sent.
    std::array<std::string, Slots> Groups;

    const std::string& GetGroup(int i) const { return Groups[size_t(i)]; }
    void SetGroup(int i, const std::string& text) { Groups[size_t(i)] = text; }
    void ClearGroup(int i) { Groups[size_t(i)].clear(); }
    void Clear();

    // The ".BGL" file: exactly sixteen lines, slot 0 first, each the slot's text, CR LF. Saving
    // replaces the file in one step; raises EFileError with the reason when it cannot be written.
    void SaveToFile(const std::string& path) const;
    // Stores lines 0..15 in slots 0..15 unchanged (a line may end in CR LF, LF or CR alone); what
    // follows them is not read. Raises EFileError for a file that cannot be read and EUnusableFile for
    // one of fewer than sixteen lines within its first mebibyte; the slots are then as they were.
    void LoadFromFile(const std::string& path);

    // The first slot whose text is not a group number the handset can take; nothing when all can be
    // sent.
    std::optional<int> FirstUnsendable() const;
};

// What a person may type in a group cell: at most three characters reading as a decimal number from 0
// to 255 ("007" is 7).
bool IsGroupText(const std::string& text);
// The group number a slot text stands for: decimal digits only (leading zeros allowed) and 0..255.
std::optional<uint8_t> GroupNumber(const std::string& text);

// The ".BGL" file's text.
std::string BroadcastGroupsText(const TBroadcastGroups& groups);
// "5, 7, 12" for a message; "none" for no group.
std::string GroupListText(const TBroadcastGroups& groups);
