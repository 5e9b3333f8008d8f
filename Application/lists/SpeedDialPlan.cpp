#include "lists/SpeedDialPlan.h"

#include <algorithm>

namespace {

// A mail's frame around its bytes; "02 3B 08 00 n lo hi" before a piece's bytes and "02 3C 08 00 n lo hi"
// that reads it back; the short answer around the bytes read.
constexpr int FrameBytes = 5;
constexpr int MemoryMailHead = 7;
constexpr int ShortAnswerBytes = 5;

// The numbers as the handset gives them back after a write of them.
TPP5SpeedDial AsStored(const TPP5SpeedDial& list) {
    TPP5SpeedDial stored;
    stored.Decode(list.Encode());
    return stored;
}

} // namespace

TWritePlan PlanSpeedDialWrite(const TPP5SpeedDial& held, const TPP5SpeedDial& wanted, int pieceBytes,
                              const TPP5SpeedDial::TBlock* heldBlock) {
    TWritePlan plan;
    plan.List = "speed dial list";
    plan.Replace = true;
    const TPP5SpeedDial before = AsStored(held);
    const TPP5SpeedDial after = AsStored(wanted);
    for (int k = 0; k < TPP5SpeedDial::Keys; ++k) {
        const std::string& was = before.Numbers[size_t(k)];
        const std::string& will = after.Numbers[size_t(k)];
        TPlanLine line{TPlanStep::Keep, SpeedDialKeyName(k), was, {}, {}, 0};
        if (was.empty() && !will.empty())
            line = {TPlanStep::Add, line.Item, {}, will, {}, 0};
        else if (!was.empty() && will.empty())
            line = {TPlanStep::Remove, line.Item, was, {}, {}, 0};
        else if (was != will)
            line = {TPlanStep::Change, line.Item, was, will, {}, 0};
        plan.Lines.push_back(line);
    }
    if (!plan.ChangesHandset() && heldBlock && wanted.EncodesAsRead() && *heldBlock != *wanted.AsRead)
        plan.Lines.push_back({TPlanStep::Change, "bytes beyond the numbers", "as held", "as kept", {}, 0});
    if (!plan.ChangesHandset())
        return plan;
    // Each piece: its write (no answer), then the read that checks it; at the end the block is read once
    // more, to tell what the handset holds.
    const int piece = std::max(pieceBytes, 1);
    for (int left = TPP5SpeedDial::BlockBytes; left > 0; left -= piece) {
        const int bytes = std::min(piece, left);
        plan.Cost.Add(1, FrameBytes + MemoryMailHead + bytes);
        plan.Cost.Add(2, FrameBytes + MemoryMailHead + ShortAnswerBytes + bytes);
    }
    return plan;
}
