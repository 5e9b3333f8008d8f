#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <string>
#include <termios.h>
#include <unistd.h>

// A pseudo-terminal pair for a test: the program under test gets the terminal end (as its stderr, its
// stdin), the test reads and writes the other. Raw, so that "\n" stays "\n" both ways.
class TPseudoTerminal {
public:
    TPseudoTerminal() {
        Master = posix_openpt(O_RDWR | O_NOCTTY);
        if (Master < 0 || grantpt(Master) != 0 || unlockpt(Master) != 0)
            return;
        Terminal = open(ptsname(Master), O_RDWR | O_NOCTTY);
        termios raw{};
        if (Terminal >= 0 && tcgetattr(Terminal, &raw) == 0) {
            cfmakeraw(&raw);
            tcsetattr(Terminal, TCSANOW, &raw);
        }
        fcntl(Master, F_SETFL, fcntl(Master, F_GETFL) | O_NONBLOCK);
    }
    ~TPseudoTerminal() {
        if (Terminal >= 0)
            close(Terminal);
        if (Master >= 0)
            close(Master);
    }
    TPseudoTerminal(const TPseudoTerminal&) = delete;
    TPseudoTerminal& operator=(const TPseudoTerminal&) = delete;

    bool Opened() const { return Master >= 0 && Terminal >= 0; }
    int TerminalEnd() const { return Terminal; }

    // What arrived since the last call, waiting up to ms for the first byte.
    std::string Drain(int ms) {
        std::string text;
        pollfd ready{Master, POLLIN, 0};
        if (poll(&ready, 1, ms) <= 0)
            return text;
        char buffer[4096];
        for (;;) {
            const ssize_t n = read(Master, buffer, sizeof buffer);
            if (n <= 0)
                break;
            text.append(buffer, size_t(n));
        }
        return text;
    }
    // Types text at the terminal, as a person would.
    bool Type(const std::string& text) {
        return write(Master, text.data(), text.size()) == ssize_t(text.size());
    }

private:
    int Master = -1;
    int Terminal = -1;
};
