// A timer on a virtual clock: tests move time forward by hand, and the ticks
// that fall due in that time are delivered in order, without sleeping.
#pragma once

#include <functional>
#include <optional>

#include "ui/Widgets.h"

namespace tpg::ui::headless {

class VirtualClock : public TimerWidget {
  public:
    // onTick runs at the end of every interval while the timer runs.
    void setTickHandler(std::function<void()> onTick) { onTick_ = std::move(onTick); }

    void start(int intervalMs) override;
    void stop() override;

    bool running() const { return running_; }
    long long now() const { return now_; }
    // Milliseconds until the next tick, or nothing while the timer is stopped.
    std::optional<long long> untilNextTick() const;

    // Moves the clock forward, delivering every tick that falls due. A tick
    // handler may stop or restart the timer; the next due time follows it.
    void advance(long long milliseconds);
    // Moves the clock to the next tick and delivers it; false when stopped.
    bool fireNextTick();

  private:
    std::function<void()> onTick_;
    long long now_ = 0;
    long long due_ = 0;
    int interval_ = 0;
    bool running_ = false;
};

}  // namespace tpg::ui::headless
