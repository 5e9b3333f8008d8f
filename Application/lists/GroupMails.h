#pragma once

#include "lists/BroadcastGroups.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// One group mail as bytes, the primitive first.
using TPhonebookBuffer = std::vector<uint8_t>;

// The handset's answer to a read of its groups.
struct TReadAllGroupsCfm {
    uint8_t Status = 0;
    uint8_t Count = 0;
    // The first Count hold the group numbers in decimal, in the handset's order.
    std::array<std::string, TBroadcastGroups::Slots> Groups;
};

// The broadcast group mails and their answers. An answer is the payload after primitive and length
// byte; its first byte repeats the mail's sub-code. The parsers give no value for an answer that is
// too short, begins with another byte or counts more than sixteen groups.
class TGroupMails {
public:
    // What the answers are received into.
    static constexpr size_t AnswerBytes = 101;
    // The statuses of an add.
    static constexpr uint8_t Added = 0;
    static constexpr uint8_t NoFreeSlot = 2;
    static constexpr uint8_t AlreadyPresent = 3;

    // Each sets buffer to the mail and returns its length.
    int ReadAllGroupsReq(TPhonebookBuffer& buffer) const;
    int DeleteAllGroupsReq(TPhonebookBuffer& buffer) const;
    int AddGroupReq(uint8_t group, TPhonebookBuffer& buffer) const;

    std::optional<TReadAllGroupsCfm> ParseReadAllGroupsCfm(std::span<const uint8_t> answer) const;
    // True when the groups were removed.
    std::optional<bool> ParseDeleteAllGroupsCfm(std::span<const uint8_t> answer) const;
    // The status byte.
    std::optional<uint8_t> ParseAddGroupCfm(std::span<const uint8_t> answer) const;
};
