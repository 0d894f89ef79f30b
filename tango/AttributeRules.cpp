#include "tango/AttributeRules.h"

#include <algorithm>

#include "settings/AmplitudeSteps.h"
#include "settings/Frequencies.h"
#include "settings/NumberText.h"
#include "settings/Readback.h"

namespace tpg::tango {
namespace {

using protocol::ReportCommand;

// An enum's value and the setting's value, both ways: Polarity lists Normal
// first, while the generator's value for it is 1.
std::int32_t settingOfLabel(Setting setting, std::int64_t label) {
    if (setting == Setting::Polarity) {
        return label == 0 ? settings::kPolarityNormal : settings::kPolarityInverted;
    }
    return label == 0 ? settings::kTriggerOutput : settings::kSyncInput;
}

std::int16_t labelOfSetting(Setting setting, std::int32_t value) {
    if (setting == Setting::Polarity) {
        return value == settings::kPolarityNormal ? 0 : 1;
    }
    return value == settings::kTriggerOutput ? 0 : 1;
}

Written sent(ReportCommand command, std::int32_t value) {
    return {settings::SettingReport{command, value}, {}};
}

Written refused(const std::string& message) {
    return {std::nullopt, message};
}

Written frequency(const settings::FrequencyRule& frequencyRule, ReportCommand command,
                  double hertz) {
    if (!settings::withinBounds(hertz, frequencyRule)) {
        return refused(frequencyRule.outOfRange);
    }
    return sent(command, frequencyRule.whole(hertz));
}

}  // namespace

std::string voltsText(int millivolts) {
    const std::string thousandths = settings::decimalText(1000 + millivolts % 1000);
    return settings::decimalText(millivolts / 1000) + "." + thousandths.substr(1);
}

const std::array<AttributeRule, kSettingCount>& attributeRules() {
    static const std::array<AttributeRule, kSettingCount> rules = {{
        {Setting::Frequency, "Frequency", Kind::Double, "Hz", "%.0f",
         "Pulse frequency in Hz; a fraction is rounded as the window rounds it (halves up)",
         settings::kPulseFrequency.lowerText, settings::kPulseFrequency.upperText,
         settings::kPulseFrequency.outOfRange},
        {Setting::SyncFrequency, "SyncFrequency", Kind::Double, "Hz", "%.0f",
         "External sync frequency in Hz, used when TriggerDirection is Input; a fraction is "
         "rounded to the nearest whole hertz (halves to even)",
         settings::kSyncFrequency.lowerText, settings::kSyncFrequency.upperText,
         settings::kSyncFrequency.outOfRange},
        {Setting::Amplitude, "Amplitude", Kind::Double, "V", "%5.3f",
         "Amplitude in volts into a 50 ohm load; a value is set to the nearest of the 511 "
         "steps (of two equally near, the lower)",
         voltsText(settings::amplitudeMillivolts(0)),
         voltsText(settings::amplitudeMillivolts(settings::kHighestAmplitudeIndex)),
         settings::amplitudeOutOfRangeMessage()},
        {Setting::AmplitudeIndex, "AmplitudeIndex", Kind::Long, "", "%d",
         "The amplitude step, 0 (the lowest) to 510 (the highest)", "0",
         settings::decimalText(settings::kHighestAmplitudeIndex),
         settings::kAmplitudeIndexOutOfRange},
        {Setting::TriggerDirection,
         "TriggerDirection",
         Kind::Enum,
         "",
         "%d",
         "The external connector: Output gives the trigger, Input takes a sync signal",
         "",
         "",
         "TriggerDirection is Output or Input",
         {"Output", "Input"}},
        {Setting::Polarity,
         "Polarity",
         Kind::Enum,
         "",
         "%d",
         "The pulse polarity",
         "",
         "",
         "Polarity is Normal or Inverted",
         {"Normal", "Inverted"}},
    }};
    return rules;
}

const AttributeRule& rule(Setting setting) {
    return attributeRules().at(static_cast<std::size_t>(setting));
}

const AttributeRule* ruleNamed(const std::string& name) {
    const auto& rules = attributeRules();
    const auto found = std::find_if(rules.begin(), rules.end(),
                                    [&](const AttributeRule& r) { return name == r.name; });
    return found == rules.end() ? nullptr : &*found;
}

Written writtenNumber(Setting setting, double value) {
    switch (setting) {
        case Setting::Frequency:
            return frequency(settings::kPulseFrequency, ReportCommand::SetPulseFrequency, value);
        case Setting::SyncFrequency:
            return frequency(settings::kSyncFrequency, ReportCommand::SetSyncFrequency, value);
        case Setting::Amplitude: {
            // The bounds in volts are the first and last steps; within them,
            // a product with 1000 that lands a hair outside (1.624 * 1000)
            // is the step itself.
            const double lowest = settings::amplitudeMillivolts(0);
            const double highest = settings::amplitudeMillivolts(settings::kHighestAmplitudeIndex);
            if (!(value * 1000 >= lowest - 1e-6 && value * 1000 <= highest + 1e-6)) {
                return refused(rule(setting).outOfRange);
            }
            const double millivolts = std::clamp(value * 1000, lowest, highest);
            return sent(ReportCommand::SetAmplitude, *settings::nearestAmplitudeIndex(millivolts));
        }
        default:
            return refused(rule(setting).outOfRange);
    }
}

Written writtenWhole(Setting setting, std::int64_t value) {
    switch (setting) {
        case Setting::AmplitudeIndex:
            if (value < 0 || value > settings::kHighestAmplitudeIndex) {
                return refused(rule(setting).outOfRange);
            }
            return sent(ReportCommand::SetAmplitude, static_cast<std::int32_t>(value));
        case Setting::TriggerDirection:
        case Setting::Polarity:
            if (value != 0 && value != 1) {
                return refused(rule(setting).outOfRange);
            }
            return sent(setting == Setting::Polarity ? ReportCommand::SetPolarity
                                                     : ReportCommand::SetTriggerSyncFunction,
                        settingOfLabel(setting, value));
        default:
            return refused(rule(setting).outOfRange);
    }
}

AttributeValues attributeValues(const protocol::DeviceState& device) {
    const settings::ShownState shown = settings::applyRangeRule(device);
    AttributeValues out;
    out.frequency = shown.pulseFrequency.value;
    out.syncFrequency = shown.syncFrequency.value;
    out.amplitudeIndex = shown.amplitudeIndex.value;
    out.amplitude = settings::amplitudeMillivolts(shown.amplitudeIndex.value) / 1000.0;
    out.triggerDirection =
        labelOfSetting(Setting::TriggerDirection, shown.triggerSyncFunction.value);
    out.polarity = labelOfSetting(Setting::Polarity, shown.polarityIndex.value);
    return out;
}

bool differs(Setting setting, const AttributeValues& a, const AttributeValues& b) {
    switch (setting) {
        case Setting::Frequency:
            return a.frequency != b.frequency;
        case Setting::SyncFrequency:
            return a.syncFrequency != b.syncFrequency;
        case Setting::Amplitude:
        case Setting::AmplitudeIndex:
            return a.amplitudeIndex != b.amplitudeIndex;
        case Setting::TriggerDirection:
            return a.triggerDirection != b.triggerDirection;
        case Setting::Polarity:
            return a.polarity != b.polarity;
    }
    return false;
}

}  // namespace tpg::tango
