// A simulated bench that checks every report the window sends: it must go
// through the open generator's device handle while uiReady, deviceAttached
// and stateLoaded all hold. Shared by the fault matrix, the soak and the fuzz
// targets that drive the window.
#pragma once

#include <span>

#include "hid/sim/SimulatedBench.h"
#include "link/LinkState.h"

namespace tpg::test {

class GuardedBench : public hid::sim::SimulatedBench {
  public:
    // The window's link state; set before the window starts.
    const link::LinkState* link = nullptr;
    int sendsOutsideGuards = 0;

    hid::Result setFeature(hid::Handle handle, std::span<const std::uint8_t> report) override {
        if (!(link->uiReady && link->deviceAttached && link->stateLoaded) ||
            handle != link->deviceHandle) {
            ++sendsOutsideGuards;
        }
        return SimulatedBench::setFeature(handle, report);
    }
};

}  // namespace tpg::test
