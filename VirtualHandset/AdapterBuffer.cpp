#include "AdapterBuffer.h"

#include <algorithm>

std::size_t TAdapterBuffer::Take(std::span<const uint8_t> bytes, TClock::time_point now) {
    const std::size_t taken = std::min(bytes.size(), PacketBytes - std::min(held_.size(), PacketBytes));
    if (taken == 0)
        return 0;
    if (held_.empty())
        since_ = now;
    held_.insert(held_.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(taken));
    return taken;
}

bool TAdapterBuffer::Due(TClock::time_point now) const {
    return !held_.empty() && (held_.size() >= PacketBytes || now - since_ >= latency_);
}

std::optional<TAdapterBuffer::TClock::time_point> TAdapterBuffer::NextRelease() const {
    if (held_.empty())
        return std::nullopt;
    return held_.size() >= PacketBytes ? since_ : since_ + latency_;
}

void TAdapterBuffer::Released(std::size_t count) {
    count = std::min(count, held_.size());
    held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(count));
    // What is left went out in part: the rest goes as soon as the PC takes it.
}
