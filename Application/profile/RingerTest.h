#pragma once

#include "link/HandsetConnection.h"
#include "platform/UserInteraction.h"

#include <chrono>

// Plays a ringer tone (1 to 9) on the connected handset for the person to hear. The handset's answer
// is not looked at. False when no handset could be connected or the tone is out of range.
bool TestRinger(THandsetConnection& link, TUserInteraction& ui, int tone);

// How long the status names the tone after it was sent.
constexpr std::chrono::milliseconds RingerStatusShown{1000};
