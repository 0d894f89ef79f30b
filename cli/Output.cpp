#include "cli/Output.h"

#include "cli/SettingValues.h"
#include "protocol/AmplitudeTable.h"
#include "settings/Readback.h"

namespace tpg::cli {
namespace {

// A device string on one line: control characters (a tab, a line break)
// would split the item, and are shown as '?'.
std::string oneLine(const std::optional<std::string>& text) {
    std::string out = text.value_or("");
    for (char& c : out) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = '?';
        }
    }
    return out;
}

JsonValue stringOrNull(const std::optional<std::string>& text) {
    return text ? JsonValue::string(*text) : JsonValue();
}

JsonValue identityJson(const GeneratorIdentity& g) {
    JsonValue out = JsonValue::object();
    out.set("serial", JsonValue::string(g.serial));
    out.set("maker", stringOrNull(g.maker));
    out.set("product", stringOrNull(g.product));
    out.set("version", JsonValue::string(settings::versionText(g.versionNumber)));
    out.set("path", JsonValue::string(g.path));
    return out;
}

// The system's reason, and where the fix is when access was denied.
std::string reasonWithFix(const RefusedGenerator& refused) {
    // The README section that tells how a user gets access to the generator.
    constexpr const char* kAccessSection = "No root is needed";
    std::string text = refused.reason.empty() ? "the system gave no reason" : refused.reason;
    if (refused.accessDenied) {
        text += std::string(": see README, \"") + kAccessSection + "\"";
    }
    return text;
}

std::string line(const std::string& name, const std::string& value, bool outOfRange,
                 std::int64_t deviceValue) {
    std::string text = name + "=" + value;
    if (outOfRange) {
        text += " (out of range: the generator holds " + std::to_string(deviceValue) + ")";
    }
    return text + "\n";
}

}  // namespace

std::string refusalText(const RefusedGenerator& refused) {
    return refused.path + ": " + reasonWithFix(refused);
}

std::string refusalLines(const std::vector<RefusedGenerator>& refused) {
    std::string text;
    for (const auto& r : refused) {
        text += "\n  " + refusalText(r);
    }
    return text;
}

std::string listText(const std::vector<GeneratorIdentity>& generators) {
    std::string out;
    for (const auto& g : generators) {
        out += oneLine(g.serial) + '\t' + oneLine(g.maker) + '\t' + oneLine(g.product) + '\t' +
               settings::versionText(g.versionNumber) + '\t' + oneLine(g.path) + '\n';
    }
    return out;
}

JsonValue listJson(const std::vector<GeneratorIdentity>& generators,
                   const std::vector<RefusedGenerator>& refused) {
    JsonValue out = JsonValue::array();
    for (const auto& g : generators) {
        out.push(identityJson(g));
    }
    for (const auto& r : refused) {
        JsonValue entry = JsonValue::object();
        entry.set("path", JsonValue::string(r.path));
        entry.set("error", JsonValue::string(reasonWithFix(r)));
        out.push(std::move(entry));
    }
    return out;
}

std::string showText(const GeneratorIdentity& g, const protocol::DeviceState& device) {
    const settings::ShownState s = settings::applyRangeRule(device);
    std::string out;
    out += "serial=" + oneLine(g.serial) + "\n";
    out += "maker=" + oneLine(g.maker) + "\n";
    out += "product=" + oneLine(g.product) + "\n";
    out += "version=" + settings::versionText(g.versionNumber) + "\n";
    out += "path=" + oneLine(g.path) + "\n";
    out += line("freq", std::to_string(s.pulseFrequency.value), s.pulseFrequency.outOfRange,
                device.pulseFrequency);
    out += line("amplitude-mv", protocol::amplitudeText(s.amplitudeIndex.value),
                s.amplitudeIndex.outOfRange, device.amplitudeIndex);
    out += line("amplitude-index", std::to_string(s.amplitudeIndex.value),
                s.amplitudeIndex.outOfRange, device.amplitudeIndex);
    out += line("polarity", kPolarityWords[s.polarityIndex.value], s.polarityIndex.outOfRange,
                device.polarityIndex);
    out += line("trigger", kTriggerWords[s.triggerSyncFunction.value],
                s.triggerSyncFunction.outOfRange, device.triggerSyncFunction);
    out += line("sync-freq", std::to_string(s.syncFrequency.value), s.syncFrequency.outOfRange,
                device.syncFrequency);
    return out;
}

JsonValue showJson(const GeneratorIdentity& g, const protocol::DeviceState& device) {
    const settings::ShownState s = settings::applyRangeRule(device);
    JsonValue out = identityJson(g);

    JsonValue shown = JsonValue::object();
    shown.set("freq", JsonValue::number(s.pulseFrequency.value));
    shown.set("amplitude_mv",
              JsonValue::numberText(protocol::amplitudeText(s.amplitudeIndex.value)));
    shown.set("amplitude_index", JsonValue::number(s.amplitudeIndex.value));
    shown.set("polarity", JsonValue::string(kPolarityWords[s.polarityIndex.value]));
    shown.set("trigger", JsonValue::string(kTriggerWords[s.triggerSyncFunction.value]));
    shown.set("sync_freq", JsonValue::number(s.syncFrequency.value));

    out.set("settings", std::move(shown));

    JsonValue flags = JsonValue::object();
    flags.set("freq", JsonValue::boolean(s.pulseFrequency.outOfRange));
    flags.set("amplitude", JsonValue::boolean(s.amplitudeIndex.outOfRange));
    flags.set("polarity", JsonValue::boolean(s.polarityIndex.outOfRange));
    flags.set("trigger", JsonValue::boolean(s.triggerSyncFunction.outOfRange));
    flags.set("sync_freq", JsonValue::boolean(s.syncFrequency.outOfRange));

    out.set("out_of_range", std::move(flags));

    JsonValue raw = JsonValue::object();
    raw.set("freq", JsonValue::number(device.pulseFrequency));
    raw.set("amplitude_index", JsonValue::number(device.amplitudeIndex));
    raw.set("polarity", JsonValue::number(device.polarityIndex));
    raw.set("trigger", JsonValue::number(device.triggerSyncFunction));
    raw.set("sync_freq", JsonValue::number(device.syncFrequency));
    out.set("device", std::move(raw));
    return out;
}

}  // namespace tpg::cli
