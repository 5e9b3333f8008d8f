#pragma once

#include "Handset.h"
#include "link/VirtualCom.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <vector>

// A link with the handset in the same process: what the engine writes goes to a THandset (or to a
// test's own script), and the echo and the answer come back through the event loop after the delays
// the test sets, in notifications as a serial port would give them.
class TFakeLink : public TVirtualCom {
public:
    struct TReply {
        int delayMs;
        TBytes bytes;
    };
    using TScript = std::function<std::vector<TReply>(const TBytes& frame)>;

    explicit TFakeLink(THandset handset = THandset{})
        : Handset(std::move(handset)) {}

    bool IsOpen() override { return Opened; }
    uint8_t ComNumber() override { return Number; }
    int32_t Baud() override { return Rate; }
    bool CarrierDetect() override { return false; }
    bool ClearToSend() override { return false; }
    bool DataSetReady() override { return false; }
    bool Open(uint8_t n, int32_t rate) override {
        if (n != Number) {
            if (!Close())
                return false;
            Number = n;
        }
        Rate = rate;
        Opened = Opened || OpenSucceeds;
        return Opened;
    }
    // What a failed open is put down to.
    TPortFailure LastFailure() const override { return Opened ? TPortFailure{} : OpenFailure; }
    bool Close() override {
        if (!CloseSucceeds)
            return false;
        Opened = false;
        return true;
    }
    void SetDTR(bool) override {}
    void SetRTS(bool) override {}
    void FlushInput() override {}
    void FlushOutput() override {}
    void SetHardwareFlow(bool) override {}
    int32_t Write(const uint8_t* bytes, int32_t count) override {
        if (!Opened)
            return 0;
        const TBytes frame(bytes, bytes + count);
        Frames.push_back(frame);
        for (const TReply& reply : Script ? Script(frame) : HandsetReplies(frame))
            Deliver(reply.delayMs, reply.bytes);
        return count;
    }

    // The far end goes away, as a pulled adapter: the link closes and says so.
    void Lose() {
        Opened = false;
        OpenFailure = {TPortFailure::Kind::Lost, "", "the device went away"};
        NotifyLost();
    }

    // Bytes that come in after delayMs, whatever was sent.
    void Deliver(int delayMs, const TBytes& bytes) {
        QTimer::singleShot(delayMs, Qt::PreciseTimer, &Context, [this, bytes] { NotifyReceived(bytes); });
    }

    THandset Handset;
    TScript Script;
    int EchoDelayMs = 0;
    int AnswerDelayMs = 1;
    bool Opened = true;
    bool OpenSucceeds = true;
    bool CloseSucceeds = true;
    TPortFailure OpenFailure;
    uint8_t Number = 1;
    int32_t Rate = 115200;
    std::vector<TBytes> Frames;

private:
    std::vector<TReply> HandsetReplies(const TBytes& frame) {
        std::vector<TReply> replies;
        for (TOutput& out : Handset.Receive(frame))
            replies.push_back(
                {out.kind == TOutput::TKind::Echo ? EchoDelayMs : AnswerDelayMs, std::move(out.bytes)});
        return replies;
    }

    QObject Context;
};
