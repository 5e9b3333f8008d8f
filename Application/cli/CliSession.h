#pragma once

#include "cli/CliOptions.h"
#include "link/Sndmail.h"

// The engine of one command: set up as the window sets up its own, on the port the options name.
class TCliSession {
public:
    explicit TCliSession(const TGlobalOptions& options);

    // Opens the port at 115200 baud; a port that cannot be opened ends the command with the reason.
    void OpenPort();

    TSendmail& Engine() { return Sendmail; }
    int Port() const { return PortNumber; }

private:
    TSendmail Sendmail;
    int PortNumber;
};
