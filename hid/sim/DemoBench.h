// The demo's generators on the simulated bench. Each keeps its settings for
// the whole run: unplugging one puts it aside as it is, and plugging it in
// again brings back the same serial number and settings. The window's demos
// (Linux and Windows) and the command line's --simulate all start from it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "hid/sim/SimulatedBench.h"

namespace tpg::hid::sim {

class DemoBench {
  public:
    // How the generators name their maker: as shipped (the window's demo), or
    // marked "(simulated)" wherever a program shows the identity to someone
    // who might take it for an instrument (the command line's --simulate).
    enum class Maker { AsShipped, MarkedSimulated };

    explicit DemoBench(SimulatedBench& bench, Maker maker = Maker::AsShipped)
        : bench_(bench), maker_(maker) {}

    // The two generators the demo starts with, of different serial numbers
    // and settings, plugged in that order.
    void plugStartingGenerators();
    // A new generator with the next serial number and factory settings,
    // plugged at the end of the enumeration order. Returns its number.
    std::size_t addGenerator();

    void plug(std::size_t generator);
    void unplug(std::size_t generator);
    bool isPlugged(std::size_t generator) const;

    std::size_t count() const { return generators_.size(); }
    const std::string& path(std::size_t generator) const { return generators_[generator].path; }
    std::string serial(std::size_t generator) const;
    // The settings the generator holds now (as put aside while unplugged).
    protocol::DeviceState settings(std::size_t generator) const;

    SimulatedBench& bench() { return bench_; }

  private:
    std::size_t add(const std::u16string& serial, const protocol::DeviceState& state);

    SimulatedBench& bench_;
    Maker maker_;
    // Every generator of the run; a plugged one lives on the bench, an
    // unplugged one here.
    std::vector<DeviceSpec> generators_;
};

}  // namespace tpg::hid::sim
