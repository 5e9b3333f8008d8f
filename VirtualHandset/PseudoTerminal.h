#pragma once

#include <stdexcept>
#include <string>

class ELineError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A pseudo-terminal pair whose slave side plays the serial port. The handset holds a slave descriptor
// of its own, so that the program may close and reopen the port without the master seeing a hang-up.
class TPseudoTerminal {
public:
    // Raises ELineError when no pair can be had.
    TPseudoTerminal();
    ~TPseudoTerminal();
    TPseudoTerminal(const TPseudoTerminal&) = delete;
    TPseudoTerminal& operator=(const TPseudoTerminal&) = delete;

    // Non-blocking.
    int Master() const { return master_; }
    const std::string& SlavePath() const { return slavePath_; }

    // Both sides go; whoever has the port open sees the line drop.
    void Close();

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};
