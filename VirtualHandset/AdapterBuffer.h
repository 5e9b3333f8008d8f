#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// A USB serial adapter between the handset and the PC: the bytes the handset sends are held in the
// adapter until its latency timer has run since the first of them, or until a USB packet's worth is
// waiting (62 data bytes in a 64-byte packet), and then reach the PC together. A driver asked for low
// latency sets the timer to 1 ms; without it the timer stays at the adapter's 16 ms.
class TAdapterBuffer {
public:
    using TClock = std::chrono::steady_clock;

    static constexpr std::size_t PacketBytes = 62;

    explicit TAdapterBuffer(std::chrono::milliseconds latency)
        : latency_(latency) {}

    // Takes bytes off the wire at `now`; as many as fit the packet that is filling (all of them when the
    // packet was empty and there are fewer than a packet's worth).
    std::size_t Take(std::span<const uint8_t> bytes, TClock::time_point now);
    // Whether the held bytes go to the PC at `now`.
    bool Due(TClock::time_point now) const;
    // When the held bytes go at the latest; no value when none are held.
    std::optional<TClock::time_point> NextRelease() const;
    // The held bytes; Released(n) when n of them reached the PC.
    std::span<const uint8_t> Held() const { return held_; }
    void Released(std::size_t count);
    bool Empty() const { return held_.empty(); }

private:
    std::chrono::milliseconds latency_;
    std::vector<uint8_t> held_;
    TClock::time_point since_{};
};
