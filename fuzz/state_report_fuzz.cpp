// The state report at every report length from 0 to 4096, with any bytes.
//
// The parse: a report of at least 19 bytes gives the five fields as their
// little-endian bytes say (16-bit fields unsigned); a shorter one gives
// nothing. Building the parsed state again at the same length gives the
// field bytes back and zeros everywhere else.
//
// The read-back: a generator whose feature reports have that length and
// answer with those bytes. The window fills every control by the range
// rules, or (below 19 bytes) reads nothing and stays closed to the setting
// handlers; it sends nothing, and after shutdown no handle is open.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "Check.h"
#include "WindowRig.h"
#include "protocol/FeatureReports.h"

namespace {

using tpg::protocol::DeviceState;
using tpg::protocol::kStateReportLength;
using tpg::ui::ControlId;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kMaxLength = 4096;

std::uint32_t littleEndian(const Bytes& b, std::size_t at, std::size_t width) {
    std::uint32_t v = 0;
    for (std::size_t i = width; i-- > 0;) {
        v = (v << 8) | b[at + i];
    }
    return v;
}

bool isFieldByte(std::size_t i) {
    return (i >= 3 && i <= 10) || (i >= 13 && i <= 18);
}

// A generator that answers every state read with the given bytes.
class AnsweringBench : public tpg::test::GuardedBench {
  public:
    Bytes answer;
    tpg::hid::Result getFeature(tpg::hid::Handle handle, std::span<std::uint8_t> report) override {
        const tpg::hid::Result result = GuardedBench::getFeature(handle, report);
        if (result != 0) {
            std::copy(answer.begin(), answer.end(), report.begin());
        }
        return result;
    }
};

void checkParse(const Bytes& report) {
    const auto state = tpg::protocol::parseStateReport(report);
    FUZZ_CHECK(state.has_value() == (report.size() >= kStateReportLength));
    FUZZ_CHECK(tpg::protocol::buildStateReport(DeviceState{}, report.size()).has_value() ==
               state.has_value());
    if (!state) {
        return;
    }
    FUZZ_CHECK(state->pulseFrequency == static_cast<std::int32_t>(littleEndian(report, 3, 4)));
    FUZZ_CHECK(state->amplitudeIndex == static_cast<std::int32_t>(littleEndian(report, 7, 2)));
    FUZZ_CHECK(state->polarityIndex == static_cast<std::int32_t>(littleEndian(report, 9, 2)));
    FUZZ_CHECK(state->triggerSyncFunction ==
               static_cast<std::int32_t>(littleEndian(report, 13, 2)));
    FUZZ_CHECK(state->syncFrequency == static_cast<std::int32_t>(littleEndian(report, 15, 4)));

    const auto rebuilt = tpg::protocol::buildStateReport(*state, report.size());
    FUZZ_CHECK(rebuilt && rebuilt->size() == report.size());
    for (std::size_t i = 0; i < report.size(); ++i) {
        FUZZ_CHECK((*rebuilt)[i] == (isFieldByte(i) ? report[i] : 0));
    }
    FUZZ_CHECK(tpg::protocol::parseStateReport(*rebuilt) == state);
}

int inRangeOr(int value, int low, int high, int replacement) {
    return value >= low && value <= high ? value : replacement;
}

void checkReadback(const Bytes& report) {
    tpg::fuzz::BasicWindowRig<AnsweringBench> r;
    auto spec = tpg::hid::sim::generatorSpec(tpg::fuzz::kGeneratorPath, u"A");
    spec.capabilities.featureReportByteLength = static_cast<std::uint16_t>(report.size());
    r.bench.plug(spec);
    r.bench.answer = report;
    r.window.Form_Load();

    const auto& link = r.window.linkState();
    FUZZ_CHECK(link.deviceAttached && link.stateLoaded);
    FUZZ_CHECK(r.bench.sentReports().empty() && r.bench.sendsOutsideGuards == 0);
    const auto vout = r.skin.items(ControlId::Vout);
    if (report.size() < kStateReportLength) {
        // Too short to hold the settings: not read at all, the window stays
        // closed to the setting handlers.
        FUZZ_CHECK(r.bench.callCount(tpg::hid::sim::Op::GetFeature) == 0);
        FUZZ_CHECK(!link.uiReady);
        FUZZ_CHECK(vout.empty() && r.text(ControlId::Foutput).empty());
        FUZZ_CHECK(r.text(ControlId::ext_sync_freq).empty());
    } else {
        const auto state = *tpg::protocol::parseStateReport(report);
        FUZZ_CHECK(r.bench.callCount(tpg::hid::sim::Op::GetFeature) == 1);
        FUZZ_CHECK(link.uiReady);
        FUZZ_CHECK(vout.size() == 511);
        FUZZ_CHECK(r.text(ControlId::Foutput) ==
                   std::to_string(inRangeOr(state.pulseFrequency, 25000, 350000000, 10000000)));
        FUZZ_CHECK(r.skin.selectedIndex(ControlId::Vout) ==
                   inRangeOr(state.amplitudeIndex, 0, 510, 339));
        FUZZ_CHECK(r.skin.selectedIndex(ControlId::polarity) ==
                   inRangeOr(state.polarityIndex, 0, 1, 1));
        const int function = inRangeOr(state.triggerSyncFunction, 0, 1, 0);
        FUZZ_CHECK(r.skin.selectedIndex(ControlId::ext_trig_dir) == function);
        FUZZ_CHECK(r.text(ControlId::ext_sync_freq) ==
                   std::to_string(std::clamp(state.syncFrequency, 1000000, 300000000)));
        FUZZ_CHECK(r.skin.isEnabled(ControlId::ext_sync_freq) == (function == 1));
        FUZZ_CHECK(r.skin.isEnabled(ControlId::SetFsync) == (function == 1));
    }
    // The link probe and shutdown leave nothing open.
    r.skin.clock().advance(600);
    FUZZ_CHECK(r.bench.sentReports().empty());
    r.window.Form_Unload();
    FUZZ_CHECK(r.bench.openDeviceHandles() == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const auto length = in.ConsumeIntegralInRange<std::size_t>(0, kMaxLength);
    Bytes report = in.ConsumeRemainingBytes<std::uint8_t>();
    report.resize(length, 0);
    checkParse(report);
    checkReadback(report);
    return 0;
}
