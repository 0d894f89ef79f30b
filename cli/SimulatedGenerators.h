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
    // The generator a command opens without --serial: the first.
    std::string firstSerial() const { return generators_.serial(0); }
    // Unplugs the first generator, or plugs it in again; true when it is
    // plugged in afterwards.
    bool toggleFirst() {
        if (generators_.isPlugged(0)) {
            generators_.unplug(0);
        } else {
            generators_.plug(0);
        }
        return generators_.isPlugged(0);
    }

  private:
    hid::sim::SimulatedBench bench_;
    hid::sim::DemoBench generators_{bench_, hid::sim::DemoBench::Maker::MarkedSimulated};
};

}  // namespace tpg::cli
