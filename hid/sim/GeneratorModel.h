// What a generator does with the feature reports it receives: it keeps the
// five settings, stores the value of each command and answers the state
// report with what it holds. Used by the simulated bench and by any virtual
// generator that stands in for the instrument.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "protocol/FeatureReports.h"

namespace tpg::hid::sim {

class GeneratorModel {
  public:
    explicit GeneratorModel(protocol::DeviceState initial = factoryState()) : state_(initial) {}

    // The settings a generator has when it leaves the factory.
    static protocol::DeviceState factoryState();

    // Acts on a received SET_REPORT. Returns false (and changes nothing) for a
    // report that is not one of the five commands.
    bool handleSetFeature(std::span<const std::uint8_t> report);

    // Answers a GET_REPORT of reportLength bytes; nothing when the length is
    // too short for the state report.
    std::optional<std::vector<std::uint8_t>> stateReport(std::size_t reportLength) const;

    const protocol::DeviceState& state() const { return state_; }
    void setState(const protocol::DeviceState& state) { state_ = state; }

  private:
    protocol::DeviceState state_;
};

}  // namespace tpg::hid::sim
