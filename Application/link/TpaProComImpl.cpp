#include "link/TpaProComImpl.h"

#include "link/Timing.h"
#include "platform/DeviceMap.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <poll.h>
#include <vector>

namespace {

constexpr qint64 ReceiveBufferSize = 10000;
constexpr qint64 ReceiveBlockSize = 100001;
constexpr int CloseStepMs = 10;
constexpr int CloseSteps = 150;
// A device that takes no byte for this long is not written to.
constexpr auto WriteDeadline = std::chrono::milliseconds(500);

// The group whose members may read and write the device, if there is one.
std::string GroupWithAccess(const std::string& device) {
    struct stat info {};
    if (stat(device.c_str(), &info) != 0 || (info.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP))
        return {};
    const group* owner = getgrgid(info.st_gid);
    return owner ? owner->gr_name : std::to_string(info.st_gid);
}

} // namespace

std::string PortFailureText(int comNumber, const TPortFailure& failure) {
    const std::string port = "COM" + std::to_string(comNumber);
    const std::string named = failure.device.empty() ? port : port + " (" + failure.device + ")";
    using Kind = TPortFailure::Kind;
    switch (failure.kind) {
    case Kind::None:
        return {};
    case Kind::NotMapped:
        return "No serial device is known as " + port + ".";
    case Kind::NotFound:
        return named + " does not exist.";
    case Kind::Busy:
        return named + " is in use by another program.";
    case Kind::PermissionDenied:
        if (failure.detail.empty())
            return "You may not open " + named + ": ask the administrator for read and write access to it.";
        return "You may not open " + named + ": it belongs to the group \"" + failure.detail +
               "\". Join that group (sudo usermod -aG " + failure.detail + " $USER) and log in again.";
    case Kind::Lost:
        return "The docking station on " + port + " went away (the device was removed or switched off).";
    case Kind::Other:
        return named + " could not be opened: " + failure.detail;
    }
    return {};
}

namespace {

std::string ProcessName(const std::string& pid) {
    std::string name;
    std::ifstream("/proc/" + pid + "/comm") >> name;
    return (name.empty() ? "a program" : name) + " (process " + pid + ")";
}

// The process named in the lock file the serial port layer keeps for the device ("/run/lock/LCK..pts_4"
// for /dev/pts/4): the one that opened it as a port, not a program at the other end of the line.
std::string LockHolder(const std::string& device, const std::string& self) {
    std::string name = device.starts_with("/dev/") ? device.substr(5) : device;
    std::replace(name.begin(), name.end(), '/', '_');
    for (const char* folder : {"/run/lock/", "/var/lock/"}) {
        std::ifstream lock(folder + std::string("LCK..") + name);
        std::string pid;
        if (lock >> pid && !pid.empty() && pid.find_first_not_of("0123456789") == std::string::npos &&
            pid != self && std::filesystem::exists("/proc/" + pid))
            return pid;
    }
    return {};
}

} // namespace

namespace {

// Any process but this one with the device open, found through the processes' open files. The far end
// of a pseudo-terminal holds the multiplexer /dev/ptmx as well: with skipPtyOwners, such a process is
// the line's own end (a virtual handset), not a program in its way.
std::string FileHolder(const std::filesystem::path& target, const std::string& self, bool skipPtyOwners) {
    namespace fs = std::filesystem;
    std::error_code error;
    for (const fs::directory_entry& process : fs::directory_iterator("/proc", error)) {
        const std::string pid = process.path().filename().string();
        if (pid.find_first_not_of("0123456789") != std::string::npos || pid == self)
            continue;
        bool holds = false;
        bool ownsPty = false;
        std::error_code fdError;
        for (const fs::directory_entry& fd : fs::directory_iterator(process.path() / "fd", fdError)) {
            std::error_code linkError;
            const fs::path file = fs::read_symlink(fd.path(), linkError);
            holds = holds || file == target;
            ownsPty = ownsPty || file == "/dev/ptmx" || file == "/dev/pts/ptmx";
        }
        if (holds && !(skipPtyOwners && ownsPty))
            return ProcessName(pid);
    }
    return {};
}

} // namespace

std::string PortHolder(const std::string& device) {
    namespace fs = std::filesystem;
    const std::string self = std::to_string(getpid());
    std::error_code error;
    const fs::path target = fs::canonical(device, error);
    for (const std::string& named : {device, error ? device : target.string()})
        if (const std::string pid = LockHolder(named, self); !pid.empty())
            return ProcessName(pid);
    if (error)
        return {};
    // Without a lock file: any process with the device itself open.
    return FileHolder(target, self, false);
}

std::string OtherHolder(const std::string& device) {
    std::error_code error;
    const std::string target = std::filesystem::canonical(device, error).string();
    if (error || !target.starts_with("/dev/pts/"))
        return PortHolder(device);
    const std::string self = std::to_string(getpid());
    for (const std::string& named : {device, target})
        if (const std::string pid = LockHolder(named, self); !pid.empty())
            return ProcessName(pid);
    // A program that opened the line without a lock file reads what is meant for us.
    return FileHolder(target, self, true);
}

TTpaProComImpl::TTpaProComImpl(TSerialDriver& driver)
    : LowLatency(driver) {
    Port.setBaudRate(Rate);
    Port.setDataBits(QSerialPort::Data8);
    Port.setParity(QSerialPort::NoParity);
    Port.setStopBits(QSerialPort::OneStop);
    Port.setFlowControl(QSerialPort::NoFlowControl);
    Port.setReadBufferSize(ReceiveBufferSize);
    connect(&Port, &QSerialPort::readyRead, this, &TTpaProComImpl::PortReadyRead);
    connect(&Port, &QSerialPort::errorOccurred, this, &TTpaProComImpl::PortError);
}

TTpaProComImpl::~TTpaProComImpl() {
    OnReceive = nullptr;
    OnLost = nullptr;
    CloseDevice();
}

void TTpaProComImpl::CloseDevice() {
    LowLatency.PutBack();
    Port.close();
}

bool TTpaProComImpl::IsOpen() {
    return Port.isOpen();
}

uint8_t TTpaProComImpl::ComNumber() {
    return uint8_t(Number);
}

int32_t TTpaProComImpl::Baud() {
    return Rate;
}

bool TTpaProComImpl::ModemLine(QSerialPort::PinoutSignal line) {
    if (!Port.isOpen())
        return false;
    const bool on = Port.pinoutSignals().testFlag(line);
    Port.clearError(); // pseudo-terminals have no modem lines
    return on;
}

bool TTpaProComImpl::CarrierDetect() {
    return ModemLine(QSerialPort::DataCarrierDetectSignal);
}

bool TTpaProComImpl::ClearToSend() {
    return ModemLine(QSerialPort::ClearToSendSignal);
}

bool TTpaProComImpl::DataSetReady() {
    return ModemLine(QSerialPort::DataSetReadySignal);
}

void TTpaProComImpl::Fail(TPortFailure::Kind kind, const std::string& detail) {
    Failure.kind = kind;
    Failure.detail = detail;
}

bool TTpaProComImpl::Open(uint8_t n, int32_t rate) {
    bool ok = true;
    if (n != Number) {
        ok = Close();
        Number = n;
    }
    if (!ok)
        return false;

    Rate = rate;
    Port.setBaudRate(rate);
    Port.clearError();
    if (!Port.isOpen()) {
        Failure = {};
        const auto device = DeviceMap::DeviceOf(Number);
        if (!device) {
            Fail(TPortFailure::Kind::NotMapped, {});
            return false;
        }
        Failure.device = *device;
        Port.setPortName(QString::fromStdString(*device));
        if (!Port.open(QIODevice::ReadWrite)) {
            const QSerialPort::SerialPortError error = Port.error();
            const std::string why = Port.errorString().toStdString();
            Port.clearError();
            if (error == QSerialPort::DeviceNotFoundError)
                Fail(TPortFailure::Kind::NotFound, why);
            else if (error == QSerialPort::PermissionError || error == QSerialPort::OpenError) {
                // Qt reports a device in use and a device we may not touch alike.
                if (access(device->c_str(), R_OK | W_OK) != 0 && errno == EACCES)
                    Fail(TPortFailure::Kind::PermissionDenied, GroupWithAccess(*device));
                else
                    Fail(TPortFailure::Kind::Busy, why);
            } else
                Fail(TPortFailure::Kind::Other, why);
            return false;
        }
        LowLatency.Ask(int(Port.handle()));
    }
    FlushInput();
    FlushOutput();
    // The line-status watches of the original port layer lead to no listener; Qt has no such signals.
    return Port.isOpen();
}

bool TTpaProComImpl::Close() {
    if (Port.isOpen()) {
        CloseDevice();
        for (int step = 0; step < CloseSteps && Port.isOpen(); ++step)
            PreciseDelay(CloseStepMs);
    }
    return !Port.isOpen();
}

void TTpaProComImpl::SetDTR(bool on) {
    if (Port.isOpen() && !Port.setDataTerminalReady(on))
        Port.clearError();
}

void TTpaProComImpl::SetRTS(bool on) {
    if (Port.isOpen() && !Port.setRequestToSend(on))
        Port.clearError();
}

void TTpaProComImpl::FlushInput() {
    if (Port.isOpen() && !Port.clear(QSerialPort::Input))
        Port.clearError();
}

void TTpaProComImpl::FlushOutput() {
    if (Port.isOpen() && !Port.clear(QSerialPort::Output))
        Port.clearError();
}

void TTpaProComImpl::SetHardwareFlow(bool on) {
    Port.setFlowControl(on ? QSerialPort::HardwareControl : QSerialPort::NoFlowControl);
    Port.clearError();
}

int32_t TTpaProComImpl::Write(const uint8_t* bytes, int32_t count) {
    if (!Port.isOpen() || count <= 0)
        return 0;
    // Straight to the device, as a frame fits the driver's buffer: through the port's own buffer each
    // frame would switch its write watch on and off, and wake the event loop for it.
    int32_t written = 0;
    const auto deadline = std::chrono::steady_clock::now() + WriteDeadline;
    while (written < count) {
        const ssize_t n = ::write(int(Port.handle()), bytes + written, size_t(count - written));
        if (n > 0) {
            written += int32_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN && std::chrono::steady_clock::now() < deadline) {
            pollfd ready{int(Port.handle()), POLLOUT, 0};
            poll(&ready, 1, 10);
            continue;
        }
        return written;
    }
    return written;
}

void TTpaProComImpl::PortReadyRead() {
    if (!OnReceive)
        return;
    std::vector<uint8_t> block;
    while (Port.isOpen() && Port.bytesAvailable() > 0) {
        block.resize(size_t(std::min(Port.bytesAvailable(), ReceiveBlockSize)));
        const qint64 got = Port.read(reinterpret_cast<char*>(block.data()), qint64(block.size()));
        if (got <= 0)
            break;
        NotifyReceived({block.data(), size_t(got)});
    }
}

void TTpaProComImpl::PortError(QSerialPort::SerialPortError error) {
    // When the far end goes away Qt keeps the port open and repeats the error at full speed; close it
    // on the first one so that the engine sees a closed link.
    if ((error == QSerialPort::ResourceError || error == QSerialPort::ReadError ||
         error == QSerialPort::WriteError) &&
        Port.isOpen()) {
        Fail(TPortFailure::Kind::Lost, Port.errorString().toStdString());
        CloseDevice();
        Port.clearError();
        NotifyLost();
    }
}
