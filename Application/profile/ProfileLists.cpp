#include "profile/ProfileLists.h"

namespace {

std::vector<std::string> Numbers(int first, int last) {
    std::vector<std::string> items;
    for (int i = first; i <= last; ++i)
        items.push_back(std::to_string(i));
    return items;
}

const std::vector<std::string> OffOn{"Off", "On"};
const std::vector<std::string> OffToFive{"Off", "1", "2", "3", "4", "5"};

using S = TProfileSetting;
using M = TIndexMapping;

} // namespace

int TProfileList::ValueFromIndex(int index) const {
    switch (Mapping) {
    case M::Same:
        return index;
    case M::PlusOne:
        return index + 1;
    case M::SecondItem:
        return index == 1 ? 1 : 0;
    case M::FirstItem:
        return index == 0 ? 1 : 0;
    }
    return index;
}

int TProfileList::IndexFromValue(int value) const {
    int index = value;
    if (Mapping == M::PlusOne)
        index = value - 1;
    else if (Mapping == M::FirstItem)
        index = 1 - value;
    return index >= 0 && index < int(Items.size()) ? index : -1;
}

const std::array<TProfileList, ProfileSettingCount>& ProfileLists() {
    static const std::array<TProfileList, ProfileSettingCount> lists{{
        {S::RingerTone, "cbRingerTone", "Ringer Tone", Numbers(1, 9), 0, M::PlusOne, false},
        {S::RingerVolume, "cbRingerVol", "Ringer Volume", OffToFive, 3, M::Same, false},
        {S::KeyClickVolume, "cbKeyClick", "Key Click", OffToFive, 2, M::Same, false},
        {S::Vibrator, "cbVibrator", "Vibrator", OffOn, 0, M::SecondItem, false},
        {S::BAnswer, "cbBAnswer", "B-Answer", OffOn, 0, M::SecondItem, false},
        {S::StartVolume, "cbStartVol", "Start Volume", Numbers(1, 5), 2, M::Same, false},
        {S::OutOfRange, "cbOutOfRange", "Out of Range", OffOn, 1, M::SecondItem, false},
        {S::AutoKeyLock, "cbAutoKeyLock", "Auto Key Lock", OffOn, 0, M::SecondItem, false},
        {S::Language, "cbLanguage", "Language", Numbers(0, 15), 0, M::Same, false},
        {S::BackLight, "cbBackLight", "Back Light", OffOn, 1, M::SecondItem, false},
        {S::AutoHook, "cbAutoHook", "Auto Hook", OffOn, 0, M::SecondItem, true},
        {S::AnyKeyAnswer, "cbAnyKeyAnsw", "Any Key Answer", OffOn, 0, M::SecondItem, true},
        {S::LongKey, "cbLongKey", "Long Key", {"Speed Dial", "Send MSF"}, 1, M::FirstItem, true},
        {S::LongKeyTime, "cbLongKeyTim", "Long Key Time", Numbers(1, 9), 4, M::PlusOne, true},
        {S::AKeyDelay, "cbAKeyDelay", "Alarm Key Delay", Numbers(0, 9), 5, M::Same, true},
        {S::LsOnBAnswer, "cbLsOnBAnsw", "LS on B-Answer", OffOn, 0, M::SecondItem, true},
        {S::StandbyText, "cbStandbyText", "Standby Text", OffOn, 1, M::SecondItem, true},
        {S::HeadsetAlert, "cbHeadsAlert", "Headset Alert", OffToFive, 0, M::Same, true},
        {S::HeadsetVolume, "cbHeadsetVol", "Headset Volume", Numbers(1, 5), 3, M::Same, true},
        {S::OffHookMsf,
         "cbOffHookMsf",
         "Off Hook MSF",
         {"Normal", "Key Click", "Key Beep"},
         0,
         M::Same,
         true},
    }};
    return lists;
}

std::optional<bool> LevelEnablesList(TProfileSetting setting, uint8_t level) {
    switch (setting) {
    case S::Vibrator:
        return level == 3 || level == 5 || level == 7;
    case S::LsOnBAnswer:
    case S::HeadsetAlert:
    case S::HeadsetVolume:
        return level == 7;
    case S::AutoHook:
    case S::AnyKeyAnswer:
    case S::LongKey:
    case S::LongKeyTime:
    case S::AKeyDelay:
    case S::StandbyText:
    case S::OffHookMsf:
        return LevelEnablesAdvancedSettings(level);
    default:
        return std::nullopt;
    }
}

bool ListFollowsLevel(TProfileSetting setting) {
    return LevelEnablesList(setting, 0).has_value();
}

bool LevelEnablesAdvancedSettings(uint8_t level) {
    return level == 6 || level == 7;
}

uint32_t SettingsOfLevel(uint8_t level) {
    uint32_t settings = 0;
    for (const TProfileList& list : ProfileLists())
        if (LevelEnablesList(list.Setting, level).value_or(true))
            settings |= TProfileSettings::Field(list.Setting).Bit();
    return settings;
}
