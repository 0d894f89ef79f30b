// The command reports at every report length from 0 to 4096.
//
// Building: each of the five commands is built exactly when the length holds
// its layout; the report is that long, carries report ID 0, the command code,
// a zero byte, the payload little-endian and zeros after it, and reads back
// as the same command and value. Reading any bytes: a report is taken as a
// command exactly when it has report ID 0, a known code and room for the
// payload, and the value is what the payload bytes say.
//
// Sending: a window that switched to a generator of that length (so that the
// setting handlers stay open even when its state could not be read) sends
// every setting the user makes as one report of exactly that length to that
// generator, or nothing when the length cannot hold the command.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Check.h"
#include "SentReports.h"
#include "WindowRig.h"
#include "protocol/FeatureReports.h"

namespace {

using tpg::protocol::ReportCommand;
using tpg::ui::ControlId;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kMaxLength = 4096;
constexpr std::array<ReportCommand, 5> kCommands = {
    ReportCommand::SetPulseFrequency, ReportCommand::SetAmplitude, ReportCommand::SetPolarity,
    ReportCommand::SetTriggerSyncFunction, ReportCommand::SetSyncFrequency};

bool isLong(ReportCommand c) {
    return c == ReportCommand::SetPulseFrequency || c == ReportCommand::SetSyncFrequency;
}
std::size_t width(ReportCommand c) {
    return isLong(c) ? 4 : 2;
}
// The value as the payload carries it: 16-bit payloads unsigned.
std::int32_t carried(ReportCommand c, std::int32_t value) {
    return isLong(c) ? value
                     : static_cast<std::int32_t>(static_cast<std::uint32_t>(value) & 0xFFFFU);
}

std::int32_t payload(const Bytes& b, std::size_t w) {
    std::uint32_t v = 0;
    for (std::size_t i = w; i-- > 0;) {
        v = (v << 8) | b[3 + i];
    }
    return static_cast<std::int32_t>(v);
}

void checkBuild(std::size_t length, std::int32_t value) {
    for (const auto command : kCommands) {
        const auto report = tpg::protocol::buildCommand(command, value, length);
        FUZZ_CHECK(report.has_value() == (length >= 3 + width(command)));
        if (!report) {
            continue;
        }
        const Bytes& b = *report;
        FUZZ_CHECK(b.size() == length);
        FUZZ_CHECK(b[0] == 0 && b[1] == static_cast<std::uint8_t>(command) && b[2] == 0);
        FUZZ_CHECK(payload(b, width(command)) == carried(command, value));
        for (std::size_t i = 3 + width(command); i < length; ++i) {
            FUZZ_CHECK(b[i] == 0);
        }
        const auto back = tpg::protocol::parseCommand(b);
        FUZZ_CHECK(back && back->command == command && back->value == carried(command, value));
    }
}

void checkParse(const Bytes& report) {
    const auto command = tpg::protocol::parseCommand(report);
    std::optional<ReportCommand> known;
    if (report.size() >= 2) {
        for (const auto c : kCommands) {
            if (report[1] == static_cast<std::uint8_t>(c)) {
                known = c;
            }
        }
    }
    const bool fits = known && report[0] == 0 && report.size() >= 3 + width(*known);
    FUZZ_CHECK(command.has_value() == fits);
    if (command) {
        FUZZ_CHECK(command->command == *known);
        FUZZ_CHECK(command->value == payload(report, width(*known)));
    }
}

// What the user does in one step, and the report it must send.
struct Step {
    ReportCommand command;
    std::int32_t value;
};

void checkSending(FuzzedDataProvider& in, std::size_t length) {
    const std::string shortPath = "/dev/hid/short";
    tpg::fuzz::WindowRig r;
    auto spec = tpg::hid::sim::generatorSpec(shortPath, u"B");
    spec.capabilities.featureReportByteLength = static_cast<std::uint16_t>(length);
    r.bench.plug(spec);
    r.bench.plug(tpg::hid::sim::generatorSpec(tpg::fuzz::kGeneratorPath, u"A"));
    // The start opens the last generator listed (A, 65 bytes); picking B
    // switches without a rescan, so the handlers stay open.
    r.window.Form_Load();
    FUZZ_CHECK(r.window.linkState().uiReady);
    r.pick(ControlId::SerNo, 0);
    FUZZ_CHECK(r.text(ControlId::SerNo) == "B");
    FUZZ_CHECK(r.bench.openHandles(shortPath) == 2);
    FUZZ_CHECK(r.bench.sentReports().empty());

    const bool stateRead = length >= tpg::protocol::kStateReportLength;
    const int steps = in.ConsumeIntegralInRange(1, 8);
    for (int i = 0; i < steps; ++i) {
        std::optional<Step> step;
        switch (in.ConsumeIntegralInRange(0, 4)) {
            case 0: {
                const int v = in.ConsumeIntegralInRange(25000, 350000000);
                r.skin.type(ControlId::Foutput, std::to_string(v));
                r.press(ControlId::SetFout);
                step = Step{ReportCommand::SetPulseFrequency, v};
                break;
            }
            case 1: {
                const int v = in.ConsumeIntegralInRange(1000000, 300000000);
                r.skin.type(ControlId::ext_sync_freq, std::to_string(v));
                r.press(ControlId::SetFsync);
                step = Step{ReportCommand::SetSyncFrequency, v};
                break;
            }
            case 2: {
                const int v = in.ConsumeIntegralInRange(0, 1);
                r.pick(ControlId::polarity, v);
                step = Step{ReportCommand::SetPolarity, v};
                break;
            }
            case 3: {
                const int v = in.ConsumeIntegralInRange(0, 1);
                r.pick(ControlId::ext_trig_dir, v);
                step = Step{ReportCommand::SetTriggerSyncFunction, v};
                break;
            }
            default: {
                // The amplitude list is filled only by a state read.
                const int v = in.ConsumeIntegralInRange(0, 510);
                r.pick(ControlId::Vout, v);
                if (stateRead) {
                    step = Step{ReportCommand::SetAmplitude, v};
                }
                break;
            }
        }
        const auto sent = r.bench.sentReports();
        r.bench.clearSentReports();
        if (!step || length < 3 + width(step->command)) {
            FUZZ_CHECK(sent.empty());
            continue;
        }
        FUZZ_CHECK(sent.size() == 1);
        FUZZ_CHECK(sent[0].path == shortPath);
        FUZZ_CHECK(sent[0].bytes ==
                   *tpg::protocol::buildCommand(step->command, step->value, length));
    }
    FUZZ_CHECK(r.bench.sendsOutsideGuards == 0);
    r.window.Form_Unload();
    FUZZ_CHECK(r.bench.openDeviceHandles() == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const auto length = in.ConsumeIntegralInRange<std::size_t>(0, kMaxLength);
    const auto value = in.ConsumeIntegral<std::int32_t>();
    checkBuild(length, value);
    Bytes report = in.ConsumeBytes<std::uint8_t>(length);
    report.resize(length, 0);
    checkParse(report);
    checkSending(in, length);
    return 0;
}
