#pragma once

#include "lists/SpeedDial.h"
#include "platform/UserInteraction.h"
#include <optional>
#include <string>
#include <vector>

// The ".sdl" file entries, with the person asked for the file and told of a failure in an error box.

// "Open Speed Dial List": asks for the file and reads it into list. A file that is refused leaves the list
// as it was. False when no file was read, also when the person chose none.
bool OpenSpeedDialList(TUserInteraction& ui, TPP5SpeedDial& list);
// "Save Speed Dial List As...": asks for the file and saves list into it. False when nothing was saved,
// also when the person chose no file.
bool SaveSpeedDialListAs(TUserInteraction& ui, const TPP5SpeedDial& list);

// What the handset cannot take of a speed dial number as a .sdl line gives it.
std::vector<std::string> SpeedDialNumberProblems(const std::string& number);
// The key a .sdl line names ("Key 3"), in any case.
std::optional<int> SpeedDialKeyNamed(const std::string& name);
