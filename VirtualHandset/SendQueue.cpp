#include "SendQueue.h"

#include <algorithm>

namespace {

// A stall longer than this (the far end not reading) is not made up by a burst afterwards.
constexpr auto kMaxLag = std::chrono::milliseconds(2);
constexpr unsigned kBitsPerByte = 10;

} // namespace

TSendQueue::TSendQueue(std::optional<TClock::duration> bytePeriod, std::size_t capacity)
    : bytePeriod_(bytePeriod)
    , capacity_(capacity) {}

TSendQueue::TClock::duration TSendQueue::BytePeriod(unsigned baud) {
    return std::chrono::nanoseconds(1'000'000'000ull * kBitsPerByte / std::max(baud, 1u));
}

std::size_t TSendQueue::Fit(std::size_t count) {
    const std::size_t taken = std::min(count, capacity_ - queued_);
    dropped_ += count - taken;
    queued_ += taken;
    return taken;
}

void TSendQueue::PushEcho(std::span<const uint8_t> bytes, TClock::time_point now) {
    const std::size_t taken = Fit(bytes.size());
    if (taken == 0)
        return;
    if (chunks_.empty() || chunks_.back().answer)
        chunks_.push_back({{}, 0, now, false});
    auto& echo = chunks_.back().bytes;
    echo.insert(echo.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(taken));
}

void TSendQueue::PushAnswer(std::span<const uint8_t> bytes, TClock::time_point due) {
    // An answer is worthless in part, so it is kept whole or not at all.
    if (bytes.empty() || bytes.size() > capacity_ - queued_) {
        dropped_ += bytes.size();
        return;
    }
    queued_ += bytes.size();
    chunks_.push_back({{bytes.begin(), bytes.end()}, 0, due, true});
}

std::optional<std::size_t> TSendQueue::FirstEcho() const {
    for (std::size_t i = 0; i < chunks_.size(); ++i)
        if (!chunks_[i].answer)
            return i;
    return std::nullopt;
}

std::optional<std::size_t> TSendQueue::Started() const {
    for (std::size_t i = 0; i < chunks_.size(); ++i)
        if (chunks_[i].sent > 0)
            return i;
    return std::nullopt;
}

// A chunk once begun is finished first. An answer still waiting for its time lets echo queued behind
// it pass, as the line's echo does not wait for the handset.
std::optional<std::size_t> TSendQueue::Current(TClock::time_point now) const {
    if (chunks_.empty())
        return std::nullopt;
    if (const auto started = Started())
        return started;
    const TChunk& front = chunks_.front();
    if (!front.answer || front.due <= now)
        return 0;
    return FirstEcho();
}

std::optional<TSendQueue::TClock::time_point> TSendQueue::NextDeparture() const {
    if (chunks_.empty())
        return std::nullopt;
    TClock::time_point at = chunks_.front().due;
    if (const auto started = Started())
        at = chunks_[*started].due;
    else if (const auto echo = FirstEcho())
        at = std::min(at, chunks_[*echo].due);
    return bytePeriod_ ? std::max(at, nextSlot_) : at;
}

std::span<const uint8_t> TSendQueue::Ready(TClock::time_point now) const {
    const auto index = Current(now);
    if (!index)
        return {};
    const TChunk& chunk = chunks_[*index];
    if (bytePeriod_) {
        if (now < std::max(nextSlot_, chunk.due))
            return {};
        return std::span<const uint8_t>(chunk.bytes).subspan(chunk.sent, 1);
    }
    return std::span<const uint8_t>(chunk.bytes).subspan(chunk.sent);
}

void TSendQueue::Sent(std::size_t count, TClock::time_point now) {
    const auto index = Current(now);
    if (!index || count == 0)
        return;
    TChunk& chunk = chunks_[*index];
    if (bytePeriod_) {
        TClock::time_point deadline = std::max(nextSlot_, chunk.due);
        if (deadline < now - kMaxLag)
            deadline = now;
        nextSlot_ = deadline + *bytePeriod_ * static_cast<long>(count);
    }
    count = std::min(count, chunk.bytes.size() - chunk.sent);
    chunk.sent += count;
    queued_ -= count;
    if (chunk.sent == chunk.bytes.size())
        chunks_.erase(chunks_.begin() + static_cast<std::ptrdiff_t>(*index));
}
