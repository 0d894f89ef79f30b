#include "cli/SetupFile.h"

#include <array>
#include <map>

#include "cli/Json.h"
#include "cli/SettingValues.h"
#include "protocol/AmplitudeTable.h"
#include "settings/AmplitudeSteps.h"
#include "settings/NumberText.h"

namespace tpg::cli {
namespace {

using protocol::ReportCommand;

// The keys of the settings object, and the set name each is checked as.
constexpr std::array<std::pair<const char*, const char*>, 6> kKeys = {{
    {"freq", "freq"},
    {"amplitude_index", "amplitude-index"},
    {"amplitude_mv", "amplitude-mv"},
    {"polarity", "polarity"},
    {"trigger", "trigger"},
    {"sync_freq", "sync-freq"},
}};

const char* setNameOf(const std::string& key) {
    for (const auto& [json, name] : kKeys) {
        if (key == json) {
            return name;
        }
    }
    return nullptr;
}

// The key a setting is missing under, for the message.
const char* keyFor(ReportCommand command) {
    switch (command) {
        case ReportCommand::SetPulseFrequency:
            return "freq";
        case ReportCommand::SetAmplitude:
            return "amplitude_index\" or \"amplitude_mv";
        case ReportCommand::SetPolarity:
            return "polarity";
        case ReportCommand::SetTriggerSyncFunction:
            return "trigger";
        case ReportCommand::SetSyncFrequency:
            return "sync_freq";
    }
    return "?";
}

// A number keeps its text; a string is taken as typed.
std::optional<std::string> valueText(const JsonValue& value) {
    if (value.kind() == JsonValue::Kind::Number || value.kind() == JsonValue::Kind::String) {
        return value.text();
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::vector<settings::SettingReport>> readSetup(const std::string& text, bool exact,
                                                              std::string& error) {
    const auto document = parseJson(text, error);
    if (!document) {
        error = "not a JSON text: " + error;
        return std::nullopt;
    }
    const JsonValue* object =
        document->kind() == JsonValue::Kind::Object ? document->find("settings") : nullptr;
    if (object == nullptr || object->kind() != JsonValue::Kind::Object) {
        error = "no \"settings\" object, as 'show --json' writes it";
        return std::nullopt;
    }

    std::map<std::string, settings::SettingReport> checked;
    for (const auto& [key, value] : object->members()) {
        const char* name = setNameOf(key);
        if (name == nullptr) {
            error = "unknown setting \"" + key + "\"";
            return std::nullopt;
        }
        const auto valueAsText = valueText(value);
        if (!valueAsText) {
            error = key + ": a number or a text was expected";
            return std::nullopt;
        }
        auto report = parseSetting(name, *valueAsText, exact, error);
        if (!report) {
            error.insert(0, key + "=" + *valueAsText + ": ");
            return std::nullopt;
        }
        checked.emplace(key, *report);
    }

    // Two ways to give the amplitude: the index rules, the figure must agree.
    const auto index = checked.find("amplitude_index");
    const auto mv = checked.find("amplitude_mv");
    if (index != checked.end() && mv != checked.end()) {
        const std::string& figure = object->find("amplitude_mv")->text();
        const auto millivolts = settings::parseNumber(figure, ".");
        if (!millivolts || *millivolts != settings::amplitudeMillivolts(index->second.value)) {
            error = "amplitude_mv " + figure + " is not the figure of amplitude_index " +
                    std::to_string(index->second.value) + " (" +
                    protocol::amplitudeText(index->second.value) + " mV)";
            return std::nullopt;
        }
        checked.erase(mv);
    }

    // One report per setting, in the order the defaults are applied.
    std::vector<settings::SettingReport> ordered;
    for (const ReportCommand command : settings::kSettingsOrder) {
        for (const auto& [key, report] : checked) {
            if (report.command == command) {
                ordered.push_back(report);
            }
        }
        if (ordered.empty() || ordered.back().command != command) {
            error = std::string("the setup has no \"") + keyFor(command) + "\"";
            return std::nullopt;
        }
    }
    return ordered;
}

}  // namespace tpg::cli
