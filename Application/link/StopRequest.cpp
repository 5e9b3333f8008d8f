#include "link/StopRequest.h"

#include <atomic>

namespace {

std::atomic<bool> Requested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

} // namespace

void RequestStop() {
    Requested.store(true);
}

bool StopRequested() {
    return Requested.load();
}

void ClearStopRequest() {
    Requested.store(false);
}
