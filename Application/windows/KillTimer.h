#pragma once

// Ends the process if it is still running some time after it was enabled: a guard against a shutdown
// that hangs (in a serial driver, say), which no event loop would get out of.
class TKillTimer {
public:
    void Enable(int ms);
    void Disable();
    bool Enabled() const { return Armed; }

private:
    bool Armed = false;
};
