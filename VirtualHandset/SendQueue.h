#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <vector>

// The bytes waiting to leave on the line. Echo goes out as soon as possible; an answer not before its
// due time and never ahead of the echo queued before it. With a pace, bytes leave one at a time on
// deadlines a byte time apart, counted from the previous deadline so that late wake-ups do not add up.
class TSendQueue {
public:
    using TClock = std::chrono::steady_clock;

    explicit TSendQueue(std::optional<TClock::duration> bytePeriod = std::nullopt,
                        std::size_t capacity = 1 << 20);

    void PushEcho(std::span<const uint8_t> bytes, TClock::time_point now);
    void PushAnswer(std::span<const uint8_t> bytes, TClock::time_point due);

    bool Empty() const { return chunks_.empty(); }
    // When the next byte may leave; no value when nothing waits.
    std::optional<TClock::time_point> NextDeparture() const;
    // The bytes that may be written at `now`: none, one (paced) or the rest of a chunk.
    std::span<const uint8_t> Ready(TClock::time_point now) const;
    // `count` of the bytes that Ready(now) gave have been written.
    void Sent(std::size_t count, TClock::time_point now);

    // Bytes thrown away because the far end did not take them and the queue was full.
    std::size_t Dropped() const { return dropped_; }

    static TClock::duration BytePeriod(unsigned baud);

private:
    struct TChunk {
        std::vector<uint8_t> bytes;
        std::size_t sent = 0;
        TClock::time_point due;
        bool answer = false;
    };

    std::size_t Fit(std::size_t count);
    // The chunk that goes next at `now`, if one may.
    std::optional<std::size_t> Current(TClock::time_point now) const;
    std::optional<std::size_t> FirstEcho() const;
    std::optional<std::size_t> Started() const;

    std::optional<TClock::duration> bytePeriod_;
    std::size_t capacity_;
    std::size_t queued_ = 0;
    std::size_t dropped_ = 0;
    std::deque<TChunk> chunks_;
    TClock::time_point nextSlot_{};
};
