#include "link/LowLatency.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
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

std::optional<TLatencyTimer> AdapterLatencyTimer(const std::string& device) {
    const char* root = std::getenv("QUORVEL_SYSFS");
    std::error_code error;
    const std::filesystem::path target = std::filesystem::canonical(device, error);
    if (error)
        return std::nullopt;
    const std::string file = std::string(root && *root ? root : "/sys") + "/class/tty/" +
                             target.filename().string() + "/device/latency_timer";
    std::ifstream in(file);
    int ms = -1;
    if (!(in >> ms) || ms < 0)
        return std::nullopt;
    return TLatencyTimer{ms, file};
}

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
