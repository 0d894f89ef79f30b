// How the settings read back from a generator are shown: the range rule
// applied to each field of the state report, and the version text.
#pragma once

#include <cstdint>
#include <string>

#include "protocol/FeatureReports.h"

namespace tpg::settings {

// A field as shown, and whether the device's own value lay outside the
// field's range (and so was replaced or clamped).
struct ShownValue {
    std::int32_t value = 0;
    bool outOfRange = false;
    bool operator==(const ShownValue&) const = default;
};

struct ShownState {
    ShownValue pulseFrequency;       // 25000..350000000, else 10000000
    ShownValue amplitudeIndex;       // 0..510, else 339
    ShownValue polarityIndex;        // 0..1, else 1
    ShownValue triggerSyncFunction;  // 0..1, else 0
    ShownValue syncFrequency;        // clamped to 1000000..300000000
    bool operator==(const ShownState&) const = default;
};

// The range rule of the read-back: an out-of-range pulse frequency,
// amplitude index, polarity or connector function is replaced by its
// default; an out-of-range sync frequency is clamped to the nearer bound.
ShownState applyRangeRule(const protocol::DeviceState& device);

// The release number as "major.minor": the major number in decimal, the
// minor one as two upper-case hexadecimal digits, so that a BCD number reads
// naturally (0x0103 gives "1.03"). The window shows it after one blank.
std::string versionText(std::uint16_t versionNumber);

}  // namespace tpg::settings
