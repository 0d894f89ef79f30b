// --simulate: the demo's two generators on a simulated bench in place of the
// HID devices, their maker marked "(simulated)" so that nobody takes list's
// or *IDN?'s answer for an instrument. Each run starts from the demo's
// settings.
#pragma once

#include <optional>
#include <string>

#include "hid/sim/DemoBench.h"

namespace tpg::cli {

class SimulatedGenerators {
  public:
    SimulatedGenerators() { generators_.plugStartingGenerators(); }
    hid::HidPlatform& platform() { return bench_; }
    // The generator a command opens without --serial: the one the demo's
    // window opens, the last listed.
    std::string shownSerial() const { return generators_.serial(generators_.count() - 1); }
    // The demo's generators, for a program that plugs and unplugs them.
    hid::sim::DemoBench& generators() { return generators_; }
    // Unplugs the generator a command opens without --serial, or plugs it
    // in again; true when it is plugged in afterwards.
    bool toggleShown() {
        const std::size_t shown = generators_.count() - 1;
        if (generators_.isPlugged(shown)) {
            generators_.unplug(shown);
        } else {
            generators_.plug(shown);
        }
        return generators_.isPlugged(shown);
    }

  private:
    hid::sim::SimulatedBench bench_;
    hid::sim::DemoBench generators_{bench_, hid::sim::DemoBench::Maker::MarkedSimulated};
};

}  // namespace tpg::cli
