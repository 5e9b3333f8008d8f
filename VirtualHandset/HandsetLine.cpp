#include "HandsetLine.h"

#include "AdapterBuffer.h"
#include "Replay.h"
#include "SendQueue.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <poll.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

using TClock = TSendQueue::TClock;

// A frame's bytes come in one go; a pause this long inside one means its start was not a frame.
constexpr auto kIdleTime = std::chrono::milliseconds(50);
// After a read error the line is left alone this long, so that a lasting fault does not spin.
constexpr auto kErrorPause = std::chrono::milliseconds(10);
constexpr std::size_t kReadBlock = 4096;

// Any handset with Receive, the incomplete frame, HungUp and the state's change.
template <typename THandsetSide> class TLine {
public:
    TLine(TPseudoTerminal& line, THandsetSide& handset, const TLineSettings& settings)
        : fd_(line.Master())
        , handset_(handset)
        , settings_(settings)
        , queue_(settings.paceBaud ? std::optional(TSendQueue::BytePeriod(*settings.paceBaud))
                                   : std::nullopt) {
        if (settings.adapterLatency)
            adapter_.emplace(*settings.adapterLatency);
    }

    TServeEnd Serve(const volatile std::sig_atomic_t& stop, const sigset_t& waitMask,
                    const std::function<void()>& save) {
        while (!stop) {
            TClock::time_point now = TClock::now();
            if (now - lastInput_ >= kIdleTime) {
                if (handset_.HasIncompleteFrame())
                    Queue(handset_.ExpireIncompleteFrame(), now);
                if (handset_.StateChanged()) {
                    save();
                    handset_.StateSaved();
                }
            }
            Send(now);

            std::optional<TClock::time_point> wake;
            const auto earliest = [&wake](TClock::time_point t) { wake = wake ? std::min(*wake, t) : t; };
            const bool resting = now < restUntil_;
            if (resting)
                earliest(restUntil_);
            else if (!writeBlocked_) {
                if (!queue_.Empty())
                    earliest(*queue_.NextDeparture());
                if (adapter_ && !adapter_->Empty())
                    earliest(*adapter_->NextRelease());
            }
            if (handset_.HasIncompleteFrame() || handset_.StateChanged())
                earliest(lastInput_ + kIdleTime);

            // While resting the descriptor is left out: a hang-up is reported whatever is asked for.
            pollfd poll{resting ? -1 : fd_, static_cast<short>(POLLIN | (writeBlocked_ ? POLLOUT : 0)), 0};
            timespec timeout{};
            if (wake) {
                const auto left = std::max(*wake - now, TClock::duration::zero());
                const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
                timeout = {static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
            }
            const int ready = ppoll(&poll, 1, wake ? &timeout : nullptr, &waitMask);
            if (ready < 0) {
                if (errno != EINTR)
                    throw ELineError(std::string("waiting for the line failed: ") + std::strerror(errno));
                continue;
            }
            now = TClock::now();
            if (poll.revents & POLLOUT)
                writeBlocked_ = false;
            if (poll.revents & POLLIN) {
                if (Read(now))
                    return TServeEnd::HungUp;
            } else if (poll.revents & (POLLHUP | POLLERR | POLLNVAL)) {
                restUntil_ = now + kErrorPause;
            }
        }
        return TServeEnd::Stopped;
    }

private:
    // True when the handset hangs up.
    bool Read(TClock::time_point now) {
        uint8_t block[kReadBlock];
        const ssize_t n = read(fd_, block, sizeof block);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return false;
        if (n <= 0) {
            restUntil_ = now + kErrorPause;
            return false;
        }
        lastInput_ = now;
        Queue(handset_.Receive(std::span<const uint8_t>(block, static_cast<std::size_t>(n))), now);
        return handset_.HungUp();
    }

    void Queue(const std::vector<TOutput>& outputs, TClock::time_point now) {
        for (const TOutput& output : outputs) {
            if (output.kind == TOutput::TKind::Echo)
                queue_.PushEcho(output.bytes, now);
            else
                queue_.PushAnswer(output.bytes, now + settings_.answerDelay);
        }
        if (settings_.log && queue_.Dropped() != reportedDrops_) {
            std::cerr << "quorvel-handset: the PC reads nothing, " << queue_.Dropped() - reportedDrops_
                      << " bytes not sent\n";
            reportedDrops_ = queue_.Dropped();
        }
    }

    void Send(TClock::time_point now) {
        if (now < restUntil_)
            return;
        while (true) {
            // Through an adapter, bytes leave the wire into its buffer and reach the PC when it lets them.
            if (adapter_ && adapter_->Due(now)) {
                const std::optional<std::size_t> n = Write(adapter_->Held(), now);
                if (!n)
                    return;
                adapter_->Released(*n);
                if (!adapter_->Empty())
                    return;
            }
            const auto bytes = queue_.Ready(now);
            if (bytes.empty())
                return;
            if (adapter_) {
                const std::size_t taken = adapter_->Take(bytes, now);
                queue_.Sent(taken, now);
                if (taken == 0 && !adapter_->Due(now))
                    return;
                continue;
            }
            const std::optional<std::size_t> n = Write(bytes, now);
            if (!n)
                return;
            queue_.Sent(*n, now);
        }
    }

    // Writes to the line; how many bytes went, or nothing when none could (the line is full, or failed).
    std::optional<std::size_t> Write(std::span<const uint8_t> bytes, TClock::time_point now) {
        while (true) {
            const ssize_t n = write(fd_, bytes.data(), bytes.size());
            if (n > 0)
                return static_cast<std::size_t>(n);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno == EAGAIN)
                writeBlocked_ = true;
            else
                restUntil_ = now + kErrorPause;
            return std::nullopt;
        }
    }

    int fd_;
    THandsetSide& handset_;
    const TLineSettings& settings_;
    TSendQueue queue_;
    std::optional<TAdapterBuffer> adapter_;
    TClock::time_point lastInput_ = TClock::now();
    TClock::time_point restUntil_{};
    bool writeBlocked_ = false;
    std::size_t reportedDrops_ = 0;
};

} // namespace

TServeEnd ServeLine(TPseudoTerminal& line, THandset& handset, const TLineSettings& settings,
                    const volatile std::sig_atomic_t& stop, const sigset_t& waitMask,
                    const std::function<void()>& save) {
    // Paced bytes a few microseconds apart need sleeps that end when asked, not 50 us later.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    return TLine<THandset>(line, handset, settings).Serve(stop, waitMask, save);
}

TServeEnd ServeLine(TPseudoTerminal& line, TReplayHandset& handset, const TLineSettings& settings,
                    const volatile std::sig_atomic_t& stop, const sigset_t& waitMask) {
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    return TLine<TReplayHandset>(line, handset, settings).Serve(stop, waitMask, [] {});
}
