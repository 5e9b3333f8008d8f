#pragma once

#include "lists/BroadcastGroups.h"
#include "platform/UserInteraction.h"

// The ".BGL" file entries, with the person asked for the file and told of a failure in an error box.

// "Open Broadcast Groups": empties the slots, then asks for the file and reads it into them; a file that
// is refused leaves them empty. False when no file was read, also when the person chose none.
bool OpenBroadcastGroups(TUserInteraction& ui, TBroadcastGroups& groups);
// "Save Broadcast Groups As...": asks for the file and saves the slots into it. False when nothing was
// saved, also when the person chose no file.
bool SaveBroadcastGroupsAs(TUserInteraction& ui, const TBroadcastGroups& groups);
