// The Tango attributes of a generator and the settings' rules behind them:
// what each attribute is called, its unit, format, bounds (as Tango's
// min_value and max_value) and description; the report a written value
// sends, or the window's message refusing it; and the values a state report
// shows. Pure: the device class (GeneratorDevice) only moves these values in
// and out of Tango.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "protocol/FeatureReports.h"
#include "settings/Defaults.h"

namespace tpg::tango {

// The six settings' attributes, in the order the device lists them.
enum class Setting {
    Frequency,
    SyncFrequency,
    Amplitude,
    AmplitudeIndex,
    TriggerDirection,
    Polarity
};
inline constexpr int kSettingCount = 6;

enum class Kind { Double, Long, Enum };

struct AttributeRule {
    Setting setting;
    const char* name;
    Kind kind;
    const char* unit;
    const char* format;
    const char* description;
    std::string minimum;  // Tango's min_value and max_value; empty for an enum
    std::string maximum;
    std::string outOfRange;                  // the window's message for a value outside them
    std::array<const char*, 2> labels = {};  // an enum's labels, by their value
};

// The rules of the six attributes, in Setting's order.
const std::array<AttributeRule, kSettingCount>& attributeRules();
const AttributeRule& rule(Setting setting);
// The rule of the attribute with this name, or nullptr.
const AttributeRule* ruleNamed(const std::string& name);

// A written value: the one report it sends, or the message refusing it.
struct Written {
    std::optional<settings::SettingReport> report;
    std::string refusal;
};

// A value written to a Double attribute (hertz, or volts for Amplitude):
// frequencies made whole with their setting's rounding, an amplitude put on
// the nearest step.
Written writtenNumber(Setting setting, double value);
// A value written to AmplitudeIndex or to an enum (its label's value).
Written writtenWhole(Setting setting, std::int64_t value);

// What the six attributes read for a state report, after the read-back's
// range rule: the frequencies in hertz, the amplitude in volts.
struct AttributeValues {
    double frequency = 0;
    double syncFrequency = 0;
    double amplitude = 0;
    std::int32_t amplitudeIndex = 0;
    std::int16_t triggerDirection = 0;  // the enum's value: 0 Output, 1 Input
    std::int16_t polarity = 0;          // 0 Normal, 1 Inverted
    bool operator==(const AttributeValues&) const = default;
};
AttributeValues attributeValues(const protocol::DeviceState& device);

// Whether one setting's attribute reads differently in two sets of values.
bool differs(Setting setting, const AttributeValues& a, const AttributeValues& b);

// An amplitude step in volts as written, e.g. "1.096" for 1096 mV.
std::string voltsText(int millivolts);

}  // namespace tpg::tango
