#include "ui/headless/VirtualClock.h"

namespace tpg::ui::headless {

void VirtualClock::start(int intervalMs) {
    interval_ = intervalMs;
    due_ = now_ + intervalMs;
    running_ = true;
}

void VirtualClock::stop() {
    running_ = false;
}

std::optional<long long> VirtualClock::untilNextTick() const {
    if (!running_) {
        return std::nullopt;
    }
    return due_ - now_;
}

void VirtualClock::advance(long long milliseconds) {
    const long long end = now_ + milliseconds;
    while (running_ && due_ <= end) {
        fireNextTick();
    }
    now_ = end;
}

bool VirtualClock::fireNextTick() {
    if (!running_) {
        return false;
    }
    now_ = due_;
    // The next interval counts from this tick, unless the handler restarts
    // or stops the timer.
    due_ = now_ + interval_;
    if (onTick_) {
        onTick_();
    }
    return true;
}

}  // namespace tpg::ui::headless
