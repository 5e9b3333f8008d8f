#pragma once

#include "link/HandsetConnection.h"
#include "platform/UserInteraction.h"
#include "profile/ProfileSettings.h"

#include <functional>

// Reading and writing the connected handset's profile, with the person told how it went. Where the
// settings come from and go to is left to the two hooks: the window's lists, or a file for the
// command line.
class TProfileTransfer {
public:
    TProfileTransfer(THandsetConnection& link, TUserInteraction& ui);

    // Called with the settings just read from the handset.
    std::function<void(TProfileSettings&)> ShowProfile;
    // Called with the settings just read, to set those that are to be written.
    std::function<void(TProfileSettings&)> TakeProfile;

    bool ReadFromHandset();
    // Asks first; false also when the person declines.
    bool WriteToHandset();

private:
    THandsetConnection& Link;
    TUserInteraction& Ui;
};
