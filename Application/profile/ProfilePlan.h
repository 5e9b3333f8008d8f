#pragma once

#include "platform/WritePlan.h"
#include "profile/ProfileSettings.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

// The twenty settings' values as the profile operations give and take them, indexed by setting; a
// setting without a value is left as the handset has it.
using TProfileValues = std::array<std::optional<int>, ProfileSettingCount>;

// The value a setting holds once TProfileSettings::Set has stored `value` in its field: masked to the
// field's width, a boolean on for any non-zero value.
int StoredProfileValue(TProfileSetting setting, int value);

// A profile byte a write changes, and the byte it writes there.
struct TProfileByteChange {
    uint16_t Address = 0;
    uint8_t Value = 0;
};

// The bytes a write of `wanted` sends, in TProfileSettings::WriteOrder: each profile byte as `held`
// has it, with the field of every wanted setting the handset has (bits of `handsetHas` as in
// TProfileSettings::Changed) stored as Set stores it. A byte that comes out as held is not sent.
std::vector<TProfileByteChange> ProfileBytesToWrite(const TProfileSettings::TImage& held,
                                                    const TProfileValues& wanted, uint32_t handsetHas);

// The plan of a profile write: one line per setting of `wanted` that has a value, in the settings'
// order, against the profile the handset holds (`held`, as read for the backup). A setting the handset
// does not have is not written. Its cost is the memory write of each byte that changes and the read-back
// that confirms it.
TWritePlan PlanProfileWrite(const TProfileSettings::TImage& held, const TProfileValues& wanted,
                            uint32_t handsetHas);
