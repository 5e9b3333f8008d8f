#include "lists/GroupMails.h"

namespace {

constexpr uint8_t Primitive = 0x0D;
constexpr uint8_t ReadAll = 0x20;
constexpr uint8_t DeleteAll = 0x21;
constexpr uint8_t Add = 0x22;

// The status of an answer that begins with code; no value when it is shorter than two bytes.
std::optional<uint8_t> Status(std::span<const uint8_t> answer, uint8_t code) {
    if (answer.size() < 2 || answer[0] != code)
        return std::nullopt;
    return answer[1];
}

} // namespace

int TGroupMails::ReadAllGroupsReq(TPhonebookBuffer& buffer) const {
    buffer = {Primitive, ReadAll};
    return int(buffer.size());
}

int TGroupMails::DeleteAllGroupsReq(TPhonebookBuffer& buffer) const {
    buffer = {Primitive, DeleteAll};
    return int(buffer.size());
}

int TGroupMails::AddGroupReq(uint8_t group, TPhonebookBuffer& buffer) const {
    buffer = {Primitive, Add, group};
    return int(buffer.size());
}

std::optional<TReadAllGroupsCfm> TGroupMails::ParseReadAllGroupsCfm(std::span<const uint8_t> answer) const {
    const std::optional<uint8_t> status = Status(answer, ReadAll);
    if (!status)
        return std::nullopt;
    TReadAllGroupsCfm record;
    record.Status = *status;
    if (record.Status != 0)
        return record;
    if (answer.size() < 3 || answer[2] > TBroadcastGroups::Slots || answer.size() < size_t(answer[2]) + 3)
        return std::nullopt;
    record.Count = answer[2];
    for (size_t i = 0; i < record.Count; ++i)
        record.Groups[i] = std::to_string(answer[3 + i]);
    return record;
}

std::optional<bool> TGroupMails::ParseDeleteAllGroupsCfm(std::span<const uint8_t> answer) const {
    const std::optional<uint8_t> status = Status(answer, DeleteAll);
    if (!status)
        return std::nullopt;
    return *status == 0;
}

std::optional<uint8_t> TGroupMails::ParseAddGroupCfm(std::span<const uint8_t> answer) const {
    return Status(answer, Add);
}
