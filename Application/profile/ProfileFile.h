#pragma once

#include "link/Sndmail.h"
#include "platform/UserInteraction.h"
#include "profile/ProfileSettings.h"
#include "profile/ProfileTransfer.h"
#include <optional>
#include <string>

#include <functional>

// The profile's files as the window opens and saves them, without the window: each asks the person for
// the file and tells them what went wrong.

// "Open Profile": the settings the file holds (a setting it does not hold stays empty) go to show. A file
// that cannot be read, has no profile sections or holds keys of no setting is refused whole; values of
// a setting it cannot take are named once the others are shown. False when nothing was shown.
bool OpenProfile(TUserInteraction& ui, TMailControl& engine,
                 const std::function<void(const TProfileValues&)>& show);

// "Save Profile As": the values given, each setting that has one. False when nothing was saved (the
// person cancelled, or the file could not be written, which the person is told).
bool SaveProfileAs(TUserInteraction& ui, TMailControl& engine, const TProfileValues& values);

// The setting a profile file's key names, in any case; nullptr for none.
const TProfileField* ProfileFieldNamed(const std::string& name);
// A value a profile setting takes, as the profile file's reader accepts it: a whole decimal number that
// an item of the setting's list shows.
std::optional<int> ProfileFileValue(const TProfileField& field, const std::string& text);
// "0 to 5", or "0, 1" for values that are not one run.
std::string ProfileValuesText(const TProfileField& field);
