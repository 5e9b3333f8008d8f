#pragma once

#include "profile/ProfileSettings.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// How a list's selected index and its setting's value correspond.
enum class TIndexMapping : uint8_t {
    Same,       // v = i
    PlusOne,    // v = i + 1
    SecondItem, // on when the second item is selected
    FirstItem,  // on when the first item is selected
};

// One drop-down list of the profile tab: its control name, label, items and the item selected when
// the program starts.
struct TProfileList {
    TProfileSetting Setting;
    const char* Name;
    const char* Label;
    std::vector<std::string> Items;
    int Start;
    TIndexMapping Mapping;
    bool Advanced; // in the advanced settings box

    // The setting's value for a selected item.
    int ValueFromIndex(int index) const;
    // The item that shows a value; -1 when no item does.
    int IndexFromValue(int value) const;
};

// The twenty lists in the order of the settings.
const std::array<TProfileList, ProfileSettingCount>& ProfileLists();

// Handset software levels and the profile settings they offer. The vibrator and the advanced lists
// follow the level; the other lists are the same at every level.
std::optional<bool> LevelEnablesList(TProfileSetting setting, uint8_t level);
// Whether a list is switched on and off by the handset's level (the vibrator and the advanced lists).
bool ListFollowsLevel(TProfileSetting setting);
bool LevelEnablesAdvancedSettings(uint8_t level);
// The settings (bits as in TProfileSettings::Changed) that a handset of this level has.
uint32_t SettingsOfLevel(uint8_t level);
