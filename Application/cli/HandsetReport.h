#pragma once

#include "platform/HandsetIdentity.h"

#include <optional>
#include <string>

// The line that names the handset a command works on, given once its connection step has read it:
// "Handset 00291 0284280 at COM10 (software 62018400, PCS 06A)."
std::string HandsetLine(const THandsetIdentity& handset);

// The serial number text a handset line names ("00291 0284280", "no SIM", "not read"); nothing for any
// other message. A station reads it from each port's messages for its table.
std::optional<std::string> SerialOfHandsetLine(const std::string& message);

// The handset the connection step named last in this run; nullptr before.
const THandsetIdentity* IdentifiedHandset();
