#include "settings/Readback.h"

#include <algorithm>
#include <cstdio>

#include "settings/Defaults.h"

namespace tpg::settings {
namespace {

constexpr std::int32_t kLowestPulse = 25000;
constexpr std::int32_t kHighestPulse = 350000000;
constexpr std::int32_t kHighestAmplitudeIndex = 510;
constexpr std::int32_t kLowestSync = 1000000;
constexpr std::int32_t kHighestSync = 300000000;

ShownValue inRangeOr(std::int32_t value, std::int32_t low, std::int32_t high,
                     std::int32_t replacement) {
    const bool inside = value >= low && value <= high;
    return {inside ? value : replacement, !inside};
}

}  // namespace

ShownState applyRangeRule(const protocol::DeviceState& device) {
    ShownState shown;
    shown.pulseFrequency =
        inRangeOr(device.pulseFrequency, kLowestPulse, kHighestPulse, kDefaultPulseFrequency);
    shown.amplitudeIndex =
        inRangeOr(device.amplitudeIndex, 0, kHighestAmplitudeIndex, kDefaultAmplitudeIndex);
    shown.polarityIndex = inRangeOr(device.polarityIndex, 0, 1, kDefaultPolarityIndex);
    shown.triggerSyncFunction =
        inRangeOr(device.triggerSyncFunction, 0, 1, kDefaultTriggerSyncFunction);
    const std::int32_t sync = std::clamp(device.syncFrequency, kLowestSync, kHighestSync);
    shown.syncFrequency = {sync, sync != device.syncFrequency};
    return shown;
}

std::string versionText(std::uint16_t versionNumber) {
    char minor[3];
    std::snprintf(minor, sizeof minor, "%02X", versionNumber % 256U);
    return std::to_string(versionNumber / 256U) + '.' + minor;
}

}  // namespace tpg::settings
