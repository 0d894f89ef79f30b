// The translation between the Tango device's attributes and the settings'
// rules: what a written value sends (or the message refusing it), and what
// a state report reads as.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>

#include "settings/Defaults.h"
#include "tango/AttributeRules.h"

namespace {

using tpg::protocol::ReportCommand;
using tpg::tango::Setting;

struct WriteCase {
    Setting setting;
    double value;
    std::optional<std::int32_t> sent;  // nothing: refused with the rule's message
    ReportCommand command;
};

TEST(TangoRules, WrittenValuesSendOneReportOrTheWindowsMessage) {
    const WriteCase cases[] = {
        {Setting::Frequency, 1000000.5, 1000001, ReportCommand::SetPulseFrequency},  // halves up
        {Setting::Frequency, 24999.99, std::nullopt, ReportCommand::SetPulseFrequency},
        {Setting::Frequency, NAN, std::nullopt, ReportCommand::SetPulseFrequency},
        {Setting::SyncFrequency, 2000000.5, 2000000, ReportCommand::SetSyncFrequency},  // to even
        {Setting::SyncFrequency, 300000000.5, std::nullopt, ReportCommand::SetSyncFrequency},
        {Setting::Amplitude, 1.624, 510, ReportCommand::SetAmplitude},  // 1624.0000000000002 mV
        {Setting::Amplitude, 0.049, 0, ReportCommand::SetAmplitude},
        {Setting::Amplitude, 1.097, 339, ReportCommand::SetAmplitude},  // the nearest step
        {Setting::Amplitude, 1.6241, std::nullopt, ReportCommand::SetAmplitude},
        {Setting::Amplitude, 0.0489, std::nullopt, ReportCommand::SetAmplitude},
        {Setting::AmplitudeIndex, 510, 510, ReportCommand::SetAmplitude},
        {Setting::AmplitudeIndex, 511, std::nullopt, ReportCommand::SetAmplitude},
        // The enums list Output and Normal first; Normal is the generator's 1.
        {Setting::TriggerDirection, 1, tpg::settings::kSyncInput,
         ReportCommand::SetTriggerSyncFunction},
        {Setting::Polarity, 0, tpg::settings::kPolarityNormal, ReportCommand::SetPolarity},
        {Setting::Polarity, 1, tpg::settings::kPolarityInverted, ReportCommand::SetPolarity},
        {Setting::Polarity, 2, std::nullopt, ReportCommand::SetPolarity},
    };
    for (const auto& c : cases) {
        const auto& rule = tpg::tango::rule(c.setting);
        SCOPED_TRACE(std::string(rule.name) + " = " + std::to_string(c.value));
        const auto written =
            rule.kind == tpg::tango::Kind::Double
                ? tpg::tango::writtenNumber(c.setting, c.value)
                : tpg::tango::writtenWhole(c.setting, static_cast<std::int64_t>(c.value));
        if (c.sent) {
            ASSERT_TRUE(written.report.has_value()) << written.refusal;
            EXPECT_EQ(*written.report, (tpg::settings::SettingReport{c.command, *c.sent}));
        } else {
            EXPECT_FALSE(written.report.has_value());
            EXPECT_EQ(written.refusal, rule.outOfRange);
        }
    }
}

TEST(TangoRules, BoundsAndReadBackFollowTheSettingsRules) {
    // Tango refuses a write outside min_value and max_value before the device
    // sees it: the bounds must be the values the rules accept at the edges.
    for (const auto& rule : tpg::tango::attributeRules()) {
        if (rule.kind == tpg::tango::Kind::Enum) {
            continue;
        }
        SCOPED_TRACE(rule.name);
        const auto edge = [&](const std::string& text) {
            return rule.kind == tpg::tango::Kind::Double
                       ? tpg::tango::writtenNumber(rule.setting, std::stod(text))
                       : tpg::tango::writtenWhole(rule.setting, std::stoll(text));
        };
        EXPECT_TRUE(edge(rule.minimum).report.has_value());
        EXPECT_TRUE(edge(rule.maximum).report.has_value());
    }
    // The read-back's range rule: an out-of-range frequency shows its default.
    const auto values = tpg::tango::attributeValues({1, 339, 0, 1, 400000000});
    EXPECT_EQ(values, (tpg::tango::AttributeValues{10000000, 300000000, 1.096, 339, 1, 1}));
}

}  // namespace
