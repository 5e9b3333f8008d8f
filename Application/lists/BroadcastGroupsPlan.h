#pragma once

#include "lists/BroadcastGroups.h"
#include "platform/WritePlan.h"

// The plan of a broadcast groups write: the groups the handset belongs to (as read) against the slots of
// the list, one line a group ("group 12", Row its slot, 1 for the first). An add keeps the handset's
// groups and adds the list's others while the handset has a free slot; what no longer fits is not
// written. A replace deletes the handset's groups and adds the list's in slot order: groups it held that
// the list lacks are removed. A group the list holds twice has the line of its first slot only; slots
// that hold no group number are refused before this and have none.
// The cost counts the delete of a replace, a ready poll before each add and, when a group does not fit,
// the read that tells what the handset holds then. A plan that changes nothing (the same groups in the
// same order) and leaves nothing out sends nothing.
TWritePlan PlanBroadcastGroupsWrite(const TBroadcastGroups& heldOrRead, const TBroadcastGroups& wanted,
                                    bool replace);
