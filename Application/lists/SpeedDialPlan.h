#pragma once

#include "link/HandsetCapabilities.h"
#include "lists/SpeedDial.h"
#include "platform/WritePlan.h"

// The plan of a speed dial write: one line for each of the eleven keys, the number the handset holds
// against the one it will hold. The write puts the whole block in the handset, so the plan is a replace.
// Numbers are compared as the handset keeps them (packed: "P" comes back as "-"), so a verify does not
// see a change where a write would make none; numbers the handset cannot store are refused before this.
// The block goes out in pieces of pieceBytes, each written and read back; when no key changes, the write
// sends nothing.
// A list that keeps its block as read (a backup) against the block the handset holds (heldBlock, when
// known): bytes that differ beyond the numbers are a change of their own, so the backup goes back whole.
TWritePlan PlanSpeedDialWrite(const TPP5SpeedDial& held, const TPP5SpeedDial& wanted,
                              int pieceBytes = HandsetCapabilities::DefaultBlockSize,
                              const TPP5SpeedDial::TBlock* heldBlock = nullptr);
