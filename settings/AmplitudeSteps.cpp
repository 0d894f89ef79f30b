#include "settings/AmplitudeSteps.h"

#include <array>
#include <cmath>
#include <string>

#include "protocol/AmplitudeTable.h"

namespace tpg::settings {
namespace {

// The figures of the 511 steps, built once from the amplitude table's texts
// so that they are the very figures the list shows.
const std::array<int, protocol::kAmplitudeSteps>& figures() {
    static const auto table = [] {
        std::array<int, protocol::kAmplitudeSteps> out{};
        for (int i = 0; i < protocol::kAmplitudeSteps; ++i) {
            out[i] = std::stoi(protocol::amplitudeText(i));
        }
        return out;
    }();
    return table;
}

}  // namespace

int amplitudeMillivolts(int index) {
    return figures().at(index);
}

std::optional<int> nearestAmplitudeIndex(double millivolts) {
    const auto& steps = figures();
    if (!(millivolts >= steps.front() && millivolts <= steps.back())) {
        return std::nullopt;  // also for NaN
    }
    int best = 0;
    for (int i = 1; i < protocol::kAmplitudeSteps; ++i) {
        // Strictly nearer only: a tie keeps the lower step.
        if (std::abs(steps[i] - millivolts) < std::abs(steps[best] - millivolts)) {
            best = i;
        }
    }
    return best;
}

std::string amplitudeOutOfRangeMessage() {
    return "Amplitude is between " + protocol::amplitudeText(0) + "mV and " +
           protocol::amplitudeText(kHighestAmplitudeIndex) + "mV";
}

std::optional<int> exactAmplitudeIndex(double millivolts) {
    for (int i = 0; i < protocol::kAmplitudeSteps; ++i) {
        if (figures()[i] == millivolts) {
            return i;
        }
    }
    return std::nullopt;
}

}  // namespace tpg::settings
