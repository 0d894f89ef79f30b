// The setups that the command line's apply reads, over any bytes, and the
// way back from what show writes.
//
// The JSON reader: an accepted text has distinct keys in every object and
// valid UTF-8 in every string; written out and read again it gives the same
// value and the same text; a refused text says on which line.
//
// The setup: an accepted one gives the five settings in the order the
// defaults are applied, each in range; what the exact check accepts, the
// nearest-step check accepts alike.
//
// Show, then apply: what show writes for any state and any identity strings
// is read back as exactly the settings it shows.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Check.h"
#include "Utf8.h"
#include "cli/Json.h"
#include "cli/Output.h"
#include "cli/SetupFile.h"
#include "link/DescriptorString.h"
#include "settings/Defaults.h"

namespace {

using tpg::cli::JsonValue;
using tpg::protocol::ReportCommand;
using tpg::settings::SettingReport;

bool same(const JsonValue& a, const JsonValue& b) {
    if (a.kind() != b.kind() || a.asBool() != b.asBool() || a.text() != b.text() ||
        a.items().size() != b.items().size() || a.members().size() != b.members().size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.items().size(); ++i) {
        if (!same(a.items()[i], b.items()[i])) {
            return false;
        }
    }
    for (std::size_t i = 0; i < a.members().size(); ++i) {
        if (a.members()[i].first != b.members()[i].first ||
            !same(a.members()[i].second, b.members()[i].second)) {
            return false;
        }
    }
    return true;
}

// Distinct keys and valid UTF-8 throughout.
bool wellFormed(const JsonValue& v) {
    if (v.kind() == JsonValue::Kind::String && !tpg::fuzz::decodeUtf8(v.text())) {
        return false;
    }
    std::set<std::string> keys;
    for (const auto& [key, member] : v.members()) {
        if (!tpg::fuzz::decodeUtf8(key) || !keys.insert(key).second || !wellFormed(member)) {
            return false;
        }
    }
    return std::all_of(v.items().begin(), v.items().end(), wellFormed);
}

void checkJson(const std::string& text) {
    std::string error;
    const auto value = tpg::cli::parseJson(text, error);
    if (!value) {
        FUZZ_CHECK(error.rfind("line ", 0) == 0);
        return;
    }
    FUZZ_CHECK(wellFormed(*value));
    const std::string written = tpg::cli::toJson(*value);
    const auto again = tpg::cli::parseJson(written, error);
    FUZZ_CHECK(again.has_value());
    FUZZ_CHECK(same(*value, *again));
    FUZZ_CHECK(tpg::cli::toJson(*again) == written);
}

bool inRange(const SettingReport& r) {
    switch (r.command) {
        case ReportCommand::SetPulseFrequency:
            return r.value >= 25000 && r.value <= 350000000;
        case ReportCommand::SetSyncFrequency:
            return r.value >= 1000000 && r.value <= 300000000;
        case ReportCommand::SetAmplitude:
            return r.value >= 0 && r.value <= 510;
        case ReportCommand::SetPolarity:
        case ReportCommand::SetTriggerSyncFunction:
            return r.value == 0 || r.value == 1;
    }
    return false;
}

void checkSetup(const std::string& text) {
    std::string error;
    const auto nearest = tpg::cli::readSetup(text, false, error);
    if (nearest) {
        FUZZ_CHECK(nearest->size() == tpg::settings::kSettingsOrder.size());
        for (std::size_t i = 0; i < nearest->size(); ++i) {
            FUZZ_CHECK((*nearest)[i].command == tpg::settings::kSettingsOrder[i]);
            FUZZ_CHECK(inRange((*nearest)[i]));
        }
    } else {
        FUZZ_CHECK(!error.empty());
    }
    const auto exact = tpg::cli::readSetup(text, true, error);
    if (exact) {
        FUZZ_CHECK(nearest == exact);
    }
}

int inRangeOr(int value, int low, int high, int replacement) {
    return value >= low && value <= high ? value : replacement;
}

// A string as the core has it from a device: the decoded query buffer.
std::string deviceString(FuzzedDataProvider& in) {
    const auto bytes = in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange(0, 100));
    return tpg::link::DescriptorStringToText(bytes);
}

void checkShowThenApply(FuzzedDataProvider& in) {
    tpg::cli::GeneratorIdentity identity;
    identity.path = "/dev/hidraw" + std::to_string(in.ConsumeIntegralInRange(0, 99));
    identity.serial = deviceString(in);
    if (in.ConsumeBool()) {
        identity.maker = deviceString(in);
    }
    if (in.ConsumeBool()) {
        identity.product = deviceString(in);
    }
    identity.versionNumber = in.ConsumeIntegral<std::uint16_t>();
    // The state as a report carries it: 16-bit fields unsigned.
    const tpg::protocol::DeviceState device{
        .pulseFrequency = in.ConsumeIntegral<std::int32_t>(),
        .amplitudeIndex = in.ConsumeIntegral<std::uint16_t>(),
        .polarityIndex = in.ConsumeIntegral<std::uint16_t>(),
        .triggerSyncFunction = in.ConsumeIntegral<std::uint16_t>(),
        .syncFrequency = in.ConsumeIntegral<std::int32_t>()};

    const std::string written = tpg::cli::toJson(tpg::cli::showJson(identity, device));
    std::string error;
    const auto setup = tpg::cli::readSetup(written, true, error);
    FUZZ_CHECK(setup.has_value());
    const std::vector<SettingReport> shown = {
        {ReportCommand::SetPulseFrequency,
         inRangeOr(device.pulseFrequency, 25000, 350000000, 10000000)},
        {ReportCommand::SetAmplitude, inRangeOr(device.amplitudeIndex, 0, 510, 339)},
        {ReportCommand::SetTriggerSyncFunction, inRangeOr(device.triggerSyncFunction, 0, 1, 0)},
        {ReportCommand::SetSyncFrequency, std::clamp(device.syncFrequency, 1000000, 300000000)},
        {ReportCommand::SetPolarity, inRangeOr(device.polarityIndex, 0, 1, 1)},
    };
    FUZZ_CHECK(*setup == shown);

    // The identity comes back as it was given.
    const auto document = tpg::cli::parseJson(written, error);
    FUZZ_CHECK(document && document->find("serial") != nullptr);
    FUZZ_CHECK(document->find("serial")->text() == identity.serial);
    const JsonValue* maker = document->find("maker");
    FUZZ_CHECK(maker != nullptr);
    FUZZ_CHECK(identity.maker ? maker->text() == *identity.maker
                              : maker->kind() == JsonValue::Kind::Null);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    checkJson(text);
    checkSetup(text);
    FuzzedDataProvider in(data, size);
    checkShowThenApply(in);
    return 0;
}
