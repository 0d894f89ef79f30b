// The generator's default settings: what "Restore default settings" puts
// back, in its order, and what the read-back shows in place of a value the
// device holds out of range.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "protocol/FeatureReports.h"

namespace tpg::settings {

// The values of the two list settings.
inline constexpr std::int32_t kPolarityInverted = 0;
inline constexpr std::int32_t kPolarityNormal = 1;
inline constexpr std::int32_t kTriggerOutput = 0;  // the connector gives the trigger
inline constexpr std::int32_t kSyncInput = 1;      // the connector takes a sync signal

inline constexpr std::int32_t kDefaultPulseFrequency = 10000000;
inline constexpr std::int32_t kDefaultAmplitudeIndex = 339;  // the step 1096 mV
inline constexpr std::int32_t kDefaultTriggerSyncFunction = kTriggerOutput;
inline constexpr std::int32_t kDefaultSyncFrequency = 10000000;
inline constexpr std::int32_t kDefaultPolarityIndex = kPolarityNormal;

// One setting as it goes out: a command and its value.
struct SettingReport {
    protocol::ReportCommand command;
    std::int32_t value;
    bool operator==(const SettingReport&) const = default;
};

// The five settings in the order the defaults are applied: pulse frequency,
// amplitude, trigger/sync function, sync frequency, polarity.
inline constexpr std::array<protocol::ReportCommand, 5> kSettingsOrder = {
    protocol::ReportCommand::SetPulseFrequency,
    protocol::ReportCommand::SetAmplitude,
    protocol::ReportCommand::SetTriggerSyncFunction,
    protocol::ReportCommand::SetSyncFrequency,
    protocol::ReportCommand::SetPolarity,
};

// What one press of "Restore default settings" sends to a filled window:
// each list's setting goes out twice (once for the selection, once for the
// handler called after it), the frequencies once; eight reports in all.
std::vector<SettingReport> restoreDefaultsReports();

}  // namespace tpg::settings
