#include "web/SettingRequest.h"

#include <nlohmann/json.hpp>

#include "protocol/AmplitudeTable.h"
#include "settings/Frequencies.h"
#include "settings/NumberText.h"
#include "ui/ControlTable.h"

namespace tpg::web {
namespace {

using protocol::ReportCommand;
using ui::ControlId;
using Verdict = CheckedChange::Verdict;

CheckedChange malformed(std::string why) {
    CheckedChange out;
    out.message = std::move(why);
    return out;
}

// The window's frequency entry: the text checked against the rule with a
// point for the decimal separator, the message of the violated rule, the
// bound put in the box for a value out of range.
CheckedChange frequency(const std::string& text, const settings::FrequencyRule& rule,
                        ReportCommand command, bool writeBack) {
    const auto checked = settings::checkFrequency(text, rule, ".");
    CheckedChange out;
    switch (checked.verdict) {
        case settings::FrequencyVerdict::NotANumber:
            out.verdict = Verdict::Message;
            out.title = settings::kBadInputTitle;
            out.message = rule.notANumber;
            return out;
        case settings::FrequencyVerdict::OutOfRange:
            out.verdict = Verdict::Message;
            out.title = settings::kBadDataRangeTitle;
            out.message = rule.outOfRange;
            out.boxText = checked.value < rule.lower ? rule.lowerText : rule.upperText;
            return out;
        case settings::FrequencyVerdict::Ok:
            break;
    }
    const std::int32_t whole = rule.whole(checked.value);
    out.verdict = Verdict::Send;
    out.reports = {{command, whole}};
    if (writeBack) {
        out.boxText = settings::decimalText(whole);
    }
    return out;
}

CheckedChange pick(const nlohmann::json& request, int entries, ReportCommand command) {
    const auto index = request.find("index");
    if (index == request.end() || !index->is_number_integer()) {
        return malformed("a pick in a list needs \"index\", a whole number");
    }
    const auto value = index->get<std::int64_t>();
    if (value < 0 || value >= entries) {
        return malformed("the list has no entry " + std::to_string(value));
    }
    CheckedChange out;
    out.verdict = Verdict::Send;
    out.reports = {{command, static_cast<std::int32_t>(value)}};
    return out;
}

}  // namespace

CheckedChange checkChange(std::string_view body) {
    const auto request = nlohmann::json::parse(body, nullptr, false);
    if (request.is_discarded() || !request.is_object()) {
        return malformed("the body is not a JSON object");
    }
    const auto control = request.find("control");
    if (control == request.end() || !control->is_string()) {
        return malformed("the body names no \"control\"");
    }
    const auto id = ui::controlNamed(control->get<std::string>());
    const auto text = [&]() -> std::optional<std::string> {
        const auto found = request.find("text");
        if (found == request.end() || !found->is_string()) {
            return std::nullopt;
        }
        return found->get<std::string>();
    };
    switch (id.value_or(ControlId::Timer)) {
        case ControlId::Foutput:
            if (const auto typed = text()) {
                return frequency(*typed, settings::kPulseFrequency,
                                 ReportCommand::SetPulseFrequency, true);
            }
            return malformed("a frequency box needs \"text\", a string");
        case ControlId::ext_sync_freq:
            if (const auto typed = text()) {
                return frequency(*typed, settings::kSyncFrequency, ReportCommand::SetSyncFrequency,
                                 false);
            }
            return malformed("a frequency box needs \"text\", a string");
        case ControlId::Vout:
            return pick(request, protocol::kAmplitudeSteps, ReportCommand::SetAmplitude);
        case ControlId::ext_trig_dir:
            return pick(request, static_cast<int>(ui::kTriggerSyncEntries.size()),
                        ReportCommand::SetTriggerSyncFunction);
        case ControlId::polarity:
            return pick(request, static_cast<int>(ui::kPolarityEntries.size()),
                        ReportCommand::SetPolarity);
        case ControlId::Factory: {
            CheckedChange out;
            out.verdict = Verdict::Send;
            out.reports = settings::restoreDefaultsReports();
            return out;
        }
        default:
            return malformed("\"" + control->get<std::string>() + "\" is not a setting");
    }
}

}  // namespace tpg::web
