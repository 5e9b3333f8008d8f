#include "lists/BroadcastGroupsPlan.h"

#include "platform/Texts.h"

#include <algorithm>
#include <vector>

namespace {

// A mail's frame around its bytes, and the answers around their data: the short one of the ready poll,
// the framed one of the 0D mails.
constexpr int FrameBytes = 5;
constexpr int ShortAnswerBytes = 5;
constexpr int FramedAnswerBytes = 6;
// "02 5D 46" and its ready byte; "0D 22 g" and "22 status"; "0D 21" and "21 status"; "0D 20" and
// "20 00 n" with the sixteen groups of a full handset.
constexpr int PollBytes = FrameBytes + 3 + ShortAnswerBytes + 1;
constexpr int AddBytes = FrameBytes + 3 + FramedAnswerBytes + 2;
constexpr int DeleteBytes = FrameBytes + 2 + FramedAnswerBytes + 2;
constexpr int FullReadBytes = FrameBytes + 2 + FramedAnswerBytes + 3 + TBroadcastGroups::Slots;

std::string Item(uint8_t group) {
    return "group " + std::to_string(group);
}

bool Contains(const std::vector<uint8_t>& groups, uint8_t group) {
    return std::find(groups.begin(), groups.end(), group) != groups.end();
}

} // namespace

TWritePlan PlanBroadcastGroupsWrite(const TBroadcastGroups& heldOrRead, const TBroadcastGroups& wanted,
                                    bool replace) {
    TWritePlan plan;
    plan.List = "broadcast groups";
    plan.Replace = replace;
    std::vector<uint8_t> held;
    for (const std::string& text : heldOrRead.Groups)
        if (const std::optional<uint8_t> group = GroupNumber(text))
            held.push_back(*group);
    int freeSlots = TBroadcastGroups::Slots - (replace ? 0 : int(held.size()));
    // The list's groups, each once, and those of them the write adds, in slot order.
    std::vector<uint8_t> listed;
    std::vector<uint8_t> added;
    for (int slot = 0; slot < TBroadcastGroups::Slots; ++slot) {
        const std::optional<uint8_t> group = GroupNumber(wanted.GetGroup(slot));
        if (!group || Contains(listed, *group))
            continue;
        listed.push_back(*group);
        const int row = slot + 1;
        if (!replace && Contains(held, *group)) {
            plan.Lines.push_back({TPlanStep::Keep, Item(*group), {}, {}, {}, row});
        } else if (freeSlots > 0) {
            --freeSlots;
            added.push_back(*group);
            const TPlanStep step = Contains(held, *group) ? TPlanStep::Keep : TPlanStep::Add;
            plan.Lines.push_back({step, Item(*group), {}, {}, {}, row});
        } else {
            plan.Lines.push_back(
                {TPlanStep::NotWritten, Item(*group), {}, {}, Texts::GroupSlotsFullReason, row});
        }
    }
    if (replace) {
        for (const uint8_t group : held)
            if (!Contains(listed, group))
                plan.Lines.push_back({TPlanStep::Remove, Item(group), {}, {}, {}, 0});
        plan.OrderDiffers = plan.Count(TPlanStep::Add) + plan.Count(TPlanStep::Remove) == 0 && added != held;
    }
    const int notWritten = plan.Count(TPlanStep::NotWritten);
    if (!plan.ChangesHandset() && notWritten == 0)
        return plan;
    if (replace)
        plan.Cost.Add(1, DeleteBytes);
    plan.Cost.Add(int(added.size()), PollBytes);
    plan.Cost.Add(int(added.size()), AddBytes);
    if (notWritten > 0)
        plan.Cost.Add(1, FullReadBytes);
    // The read after the write, which tells what the handset holds.
    plan.Cost.Add(1, FullReadBytes);
    return plan;
}
