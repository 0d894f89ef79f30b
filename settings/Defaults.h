// The generator's default settings: what "Restore default settings" puts
// back, in its order, and what the read-back shows in place of a value the
// device holds out of range.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "protocol/FeatureReports.h"

namespace tpg::settings {

inline constexpr std::int32_t kDefaultPulseFrequency = 10000000;
inline constexpr std::int32_t kDefaultAmplitudeIndex = 339;     // the step 1096 mV
inline constexpr std::int32_t kDefaultTriggerSyncFunction = 0;  // trigger output
inline constexpr std::int32_t kDefaultSyncFrequency = 10000000;
inline constexpr std::int32_t kDefaultPolarityIndex = 1;  // normal

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
