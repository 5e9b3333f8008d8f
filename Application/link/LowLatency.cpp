#include "link/LowLatency.h"

#include <sys/ioctl.h>

namespace {

class TSystemSerialDriver : public TSerialDriver {
public:
    bool Get(int fd, serial_struct& settings) override { return ioctl(fd, TIOCGSERIAL, &settings) == 0; }
    bool Set(int fd, const serial_struct& settings) override {
        return ioctl(fd, TIOCSSERIAL, &settings) == 0;
    }
};

} // namespace

TSerialDriver& SystemSerialDriver() {
    static TSystemSerialDriver driver;
    return driver;
}

bool TLowLatency::Ask(int fd) {
    PutBack();
    serial_struct settings{};
    if (fd < 0 || !Driver.Get(fd, settings))
        return false;
    if (settings.flags & ASYNC_LOW_LATENCY)
        return true;
    const int before = settings.flags;
    settings.flags |= ASYNC_LOW_LATENCY;
    if (!Driver.Set(fd, settings))
        return false;
    Fd = fd;
    Before = before;
    return true;
}

void TLowLatency::PutBack() {
    if (!Before)
        return;
    serial_struct settings{};
    // Only the flag goes back: whatever else changed meanwhile stays.
    if (Driver.Get(Fd, settings)) {
        settings.flags = (settings.flags & ~ASYNC_LOW_LATENCY) | (*Before & ASYNC_LOW_LATENCY);
        Driver.Set(Fd, settings);
    }
    Before.reset();
    Fd = -1;
}
