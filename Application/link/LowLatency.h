#pragma once

#include <linux/serial.h>

#include <optional>
#include <string>

// The driver's side of a serial device's settings: its serial_struct, read and written by TIOCGSERIAL
// and TIOCSSERIAL. Behind an interface so that tests can stand in for a driver that takes them.
class TSerialDriver {
public:
    virtual ~TSerialDriver() = default;
    // False when the device has no such settings (a pseudo-terminal, a driver without them).
    virtual bool Get(int fd, serial_struct& settings) = 0;
    virtual bool Set(int fd, const serial_struct& settings) = 0;
};

// A USB serial adapter's latency timer, as sysfs shows it for the device (the tty's
// device/latency_timer, under $QUORVEL_SYSFS or /sys): how long the adapter holds what it receives before
// it hands a short answer on, in ms, and the file. Nothing for a device that has none (not such an
// adapter, a pseudo-terminal).
struct TLatencyTimer {
    int Ms = 0;
    std::string File;
};
std::optional<TLatencyTimer> AdapterLatencyTimer(const std::string& device);

// The system's: the ioctls themselves.
TSerialDriver& SystemSerialDriver();

// Asks a serial device's driver for low latency (ASYNC_LOW_LATENCY) while the program has it open, and
// puts the flag back as it was before the device is closed. A USB serial adapter of the ftdi_sio driver
// otherwise holds what it receives for its latency timer, 16 ms, before it hands a short answer on: as
// every mail waits for its answer, that would make a write nine times slower than the wire. A device
// that takes no such request is left as it is, silently.
class TLowLatency {
public:
    explicit TLowLatency(TSerialDriver& driver = SystemSerialDriver())
        : Driver(driver) {}
    ~TLowLatency() = default;
    TLowLatency(const TLowLatency&) = delete;
    TLowLatency& operator=(const TLowLatency&) = delete;

    // Asks for low latency on the device open as fd; gives whether the device has it now.
    bool Ask(int fd);
    // Puts the flag back as Ask found it, where Ask changed it; the device is still open.
    void PutBack();

private:
    TSerialDriver& Driver;
    int Fd = -1;
    // The flags before Ask set the flag; nothing when Ask changed nothing.
    std::optional<int> Before;
};
