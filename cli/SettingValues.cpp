#include "cli/SettingValues.h"

#include <cmath>

#include "protocol/AmplitudeTable.h"
#include "settings/AmplitudeSteps.h"
#include "settings/Frequencies.h"
#include "settings/NumberText.h"

namespace tpg::cli {
namespace {

using protocol::ReportCommand;
using settings::SettingReport;

// Scripts run in any locale: the decimal separator is always the point.
constexpr const char* kDecimalSeparator = ".";

std::optional<SettingReport> frequency(const std::string& value,
                                       const settings::FrequencyRule& rule, ReportCommand command,
                                       std::string& error) {
    const auto checked = settings::checkFrequency(value, rule, kDecimalSeparator);
    switch (checked.verdict) {
        case settings::FrequencyVerdict::NotANumber:
            error = rule.notANumber;
            return std::nullopt;
        case settings::FrequencyVerdict::OutOfRange:
            error = rule.outOfRange;
            return std::nullopt;
        case settings::FrequencyVerdict::Ok:
            break;
    }
    return SettingReport{command, rule.whole(checked.value)};
}

std::optional<SettingReport> amplitudeMillivolts(const std::string& value, bool exact,
                                                 std::string& error) {
    const auto mv = settings::parseNumber(value, kDecimalSeparator);
    if (!mv) {
        error = "Enter amplitude in mV";
        return std::nullopt;
    }
    const auto nearest = settings::nearestAmplitudeIndex(*mv);
    if (!nearest) {
        error = settings::amplitudeOutOfRangeMessage();
        return std::nullopt;
    }
    if (exact && !settings::exactAmplitudeIndex(*mv)) {
        // The two listed steps around the value.
        int below = *nearest;
        if (settings::amplitudeMillivolts(below) > *mv) {
            --below;
        }
        error = value + " mV is not a listed amplitude step; the nearest are " +
                protocol::amplitudeText(below) + " and " + protocol::amplitudeText(below + 1);
        return std::nullopt;
    }
    return SettingReport{ReportCommand::SetAmplitude, *nearest};
}

std::optional<SettingReport> amplitudeIndex(const std::string& value, std::string& error) {
    const auto index = settings::parseNumber(value, kDecimalSeparator);
    if (!index || *index != std::floor(*index)) {
        error = settings::kAmplitudeIndexNotWhole;
        return std::nullopt;
    }
    if (*index < 0 || *index > settings::kHighestAmplitudeIndex) {
        error = settings::kAmplitudeIndexOutOfRange;
        return std::nullopt;
    }
    return SettingReport{ReportCommand::SetAmplitude, static_cast<std::int32_t>(*index)};
}

std::optional<SettingReport> word(const std::string& value, const char* const (&words)[2],
                                  ReportCommand command, const char* message, std::string& error) {
    for (int i = 0; i < 2; ++i) {
        if (value == words[i]) {
            return SettingReport{command, i};
        }
    }
    error = message;
    return std::nullopt;
}

}  // namespace

std::optional<SettingReport> parseSetting(const std::string& name, const std::string& value,
                                          bool exact, std::string& error) {
    if (name == "freq") {
        return frequency(value, settings::kPulseFrequency, ReportCommand::SetPulseFrequency, error);
    }
    if (name == "sync-freq") {
        return frequency(value, settings::kSyncFrequency, ReportCommand::SetSyncFrequency, error);
    }
    if (name == "amplitude-mv") {
        return amplitudeMillivolts(value, exact, error);
    }
    if (name == "amplitude-index") {
        return amplitudeIndex(value, error);
    }
    if (name == "polarity") {
        return word(value, kPolarityWords, ReportCommand::SetPolarity,
                    "Enter polarity: normal or inverted", error);
    }
    if (name == "trigger") {
        return word(value, kTriggerWords, ReportCommand::SetTriggerSyncFunction,
                    "Enter trigger/sync function: output or sync", error);
    }
    error = "unknown setting \"" + name +
            "\"; the settings are freq, sync-freq, amplitude-mv, amplitude-index, polarity, "
            "trigger";
    return std::nullopt;
}

std::optional<SettingReport> parseAssignment(const std::string& argument, bool exact,
                                             std::string& error) {
    const auto equals = argument.find('=');
    if (equals == std::string::npos) {
        error = argument + ": a setting is NAME=VALUE";
        return std::nullopt;
    }
    auto report =
        parseSetting(argument.substr(0, equals), argument.substr(equals + 1), exact, error);
    if (!report) {
        error = argument + ": " + error;
    }
    return report;
}

}  // namespace tpg::cli
