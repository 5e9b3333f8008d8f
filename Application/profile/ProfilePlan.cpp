#include "profile/ProfilePlan.h"

#include "profile/ProfileLists.h"

namespace {

// A mail's frame around its bytes.
constexpr int FrameBytes = 5;
// "02 3B 08 00 01 lo hi value": the handset gives no answer to a memory write.
constexpr int WriteMailBytes = 8;
// "02 3C 08 00 01 lo hi", and its short answer "4D 3C 01 3D value sum".
constexpr int ReadBackMailBytes = 7;
constexpr int ReadBackAnswerBytes = 6;
// A read of the whole profile: one memory read for each of its pieces.
constexpr int ProfileReadMails = 4;

// The byte at an address as TProfileSettings reads its fields: the entry's lowest eight bits.
unsigned HeldByte(const TProfileSettings::TImage& image, uint16_t address) {
    const int32_t entry = address < image.size() ? image[address] : TProfileSettings::NotInProfile;
    return uint32_t(entry) & 0xFFu;
}

int FieldValue(const TProfileField& field, unsigned byte) {
    const unsigned bits = (byte >> field.Shift) & field.ValueMask();
    return int(field.Inverted ? bits ^ 1u : bits);
}

// The value as its list shows it, or the number when no item shows it.
std::string Shown(TProfileSetting setting, int value) {
    const TProfileList& list = ProfileLists()[size_t(setting)];
    const int index = list.IndexFromValue(value);
    return index >= 0 ? list.Items[size_t(index)] : std::to_string(value);
}

} // namespace

int StoredProfileValue(TProfileSetting setting, int value) {
    const TProfileField& field = TProfileSettings::Field(setting);
    return field.Boolean ? int(value != 0) : int(unsigned(value) & field.ValueMask());
}

std::vector<TProfileByteChange> ProfileBytesToWrite(const TProfileSettings::TImage& held,
                                                    const TProfileValues& wanted, uint32_t handsetHas) {
    std::vector<TProfileByteChange> bytes;
    for (const uint16_t address : TProfileSettings::WriteOrder) {
        const unsigned before = HeldByte(held, address);
        unsigned after = before;
        for (const TProfileField& field : TProfileSettings::Fields()) {
            const std::optional<int>& value = wanted[size_t(field.Setting)];
            if (field.Address != address || !value || (handsetHas & field.Bit()) == 0)
                continue;
            unsigned bits = unsigned(StoredProfileValue(field.Setting, *value));
            if (field.Inverted)
                bits ^= 1u;
            after = (after & ~field.ByteMask()) | (bits << field.Shift);
        }
        if (after != before)
            bytes.push_back({address, uint8_t(after)});
    }
    return bytes;
}

TWritePlan PlanProfileWrite(const TProfileSettings::TImage& held, const TProfileValues& wanted,
                            uint32_t handsetHas) {
    TWritePlan plan;
    plan.List = "profile";
    plan.Replace = false;
    for (const TProfileField& field : TProfileSettings::Fields()) {
        const std::optional<int>& value = wanted[size_t(field.Setting)];
        if (!value)
            continue;
        const std::string item = ProfileLists()[size_t(field.Setting)].Label;
        const int after = StoredProfileValue(field.Setting, *value);
        if ((handsetHas & field.Bit()) == 0) {
            plan.Lines.push_back({TPlanStep::NotWritten,
                                  item,
                                  {},
                                  Shown(field.Setting, after),
                                  "this handset does not have this setting",
                                  0});
            continue;
        }
        const int before = FieldValue(field, HeldByte(held, field.Address));
        if (before == after)
            plan.Lines.push_back({TPlanStep::Keep, item, Shown(field.Setting, before), {}, {}, 0});
        else
            plan.Lines.push_back(
                {TPlanStep::Change, item, Shown(field.Setting, before), Shown(field.Setting, after), {}, 0});
    }
    const auto bytes = int(ProfileBytesToWrite(held, wanted, handsetHas).size());
    plan.Cost.Add(bytes, FrameBytes + WriteMailBytes);
    plan.Cost.Add(bytes, FrameBytes + ReadBackMailBytes + ReadBackAnswerBytes);
    // The read after the write, which tells what the handset holds: the profile read once more.
    if (bytes > 0)
        plan.Cost.Add(ProfileReadMails, FrameBytes + ReadBackMailBytes + ReadBackAnswerBytes);
    return plan;
}
