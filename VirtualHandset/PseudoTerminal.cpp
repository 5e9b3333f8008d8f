#include "PseudoTerminal.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

[[noreturn]] void Fail(const std::string& what) {
    throw ELineError(what + ": " + std::strerror(errno));
}

// 115200 8N1 without any processing, as the docking station's line.
void MakeRaw(int fd) {
    termios settings{};
    if (tcgetattr(fd, &settings) != 0)
        Fail("cannot read the line settings");
    cfmakeraw(&settings);
    settings.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    settings.c_iflag &= ~(IXON | IXOFF | IXANY);
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    cfsetispeed(&settings, B115200);
    cfsetospeed(&settings, B115200);
    if (tcsetattr(fd, TCSANOW, &settings) != 0)
        Fail("cannot set the line to raw mode");
}

} // namespace

TPseudoTerminal::TPseudoTerminal() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0)
        Fail("cannot open a pseudo-terminal");
    try {
        if (grantpt(master_) != 0 || unlockpt(master_) != 0)
            Fail("cannot unlock the pseudo-terminal");
        char name[256];
        if (ptsname_r(master_, name, sizeof name) != 0)
            Fail("cannot name the pseudo-terminal");
        slavePath_ = name;
        slave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (slave_ < 0)
            Fail("cannot open " + slavePath_);
        MakeRaw(slave_);
        const int flags = fcntl(master_, F_GETFL);
        if (flags < 0 || fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0)
            Fail("cannot make the pseudo-terminal non-blocking");
    } catch (...) {
        Close();
        throw;
    }
}

TPseudoTerminal::~TPseudoTerminal() {
    Close();
}

void TPseudoTerminal::Close() {
    if (master_ >= 0)
        close(master_);
    if (slave_ >= 0)
        close(slave_);
    master_ = slave_ = -1;
}
