#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

// Why the last Open failed, or why an open port was given up.
struct TPortFailure {
    enum class Kind { None, NotMapped, NotFound, Busy, PermissionDenied, Lost, Other };
    Kind kind = Kind::None;
    std::string device;
    std::string detail; // the port layer's own words, or the group that may use the device
};

// The serial link as the mail engine sees it. The engine never talks to a port directly, so that tests
// can put a scripted link in its place.
class TVirtualCom {
public:
    // Given the link and one block of received bytes; called in the event loop's thread.
    using TReceiveEvent = std::function<void(TVirtualCom& link, std::span<const uint8_t> block)>;

    virtual ~TVirtualCom();

    virtual bool IsOpen() = 0;
    virtual uint8_t ComNumber() = 0;
    virtual int32_t Baud() = 0;
    virtual bool CarrierDetect() = 0;
    virtual bool ClearToSend() = 0;
    virtual bool DataSetReady() = 0;
    virtual bool Open(uint8_t n, int32_t rate) = 0;
    virtual bool Close() = 0;
    virtual void SetDTR(bool on) = 0;
    virtual void SetRTS(bool on) = 0;
    virtual void FlushInput() = 0;
    virtual void FlushOutput() = 0;
    virtual void SetHardwareFlow(bool on) = 0;
    virtual int32_t Write(const uint8_t* bytes, int32_t count) = 0;
    // Why the last Open failed, or why an open link was given up; a link that cannot tell gives None.
    virtual TPortFailure LastFailure() const { return {}; }

    TReceiveEvent OnReceive;
    // Told when the link gives up a line that was open because its far end went away (the device was
    // removed, the line hung up); called in the event loop's thread, after the link has closed.
    std::function<void(TVirtualCom& link)> OnLost;

protected:
    // Hands a block to the listener; what the listener raises stays here.
    void NotifyReceived(std::span<const uint8_t> block);
    void NotifyLost();
};
