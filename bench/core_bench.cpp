// How long the core's busy paths take: a timer tick on a bench of 32 HID
// devices, one read-back of the window, and building and parsing reports.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "hid/sim/SimulatedBench.h"
#include "protocol/AmplitudeTable.h"
#include "protocol/FeatureReports.h"
#include "ui/MainWindow.h"
#include "ui/headless/HeadlessSkin.h"

namespace {

using tpg::hid::sim::foreignSpec;
using tpg::hid::sim::generatorSpec;
using tpg::hid::sim::Op;
using tpg::hid::sim::SimulatedBench;
namespace protocol = tpg::protocol;

constexpr int kForeignDevices = 30;

// The window over a bench with two generators among 30 foreign devices,
// the generators enumerated in the middle and at the end.
struct Desk {
    SimulatedBench bench;
    tpg::ui::headless::HeadlessSkin skin;
    tpg::ui::MainWindow window{bench, skin};

    Desk() {
        for (int i = 0; i < kForeignDevices; ++i) {
            bench.plug(foreignSpec("/dev/hid/foreign" + std::to_string(i),
                                   static_cast<std::uint16_t>(0x0400 + i),
                                   static_cast<std::uint16_t>(0x1000 + i)));
            if (i == kForeignDevices / 2) {
                bench.plug(generatorSpec("/dev/hid/gen-a", u"TPG-000101"));
            }
        }
        bench.plug(generatorSpec("/dev/hid/gen-b", u"TPG-000102"));
        skin.clock().setTickHandler([this] { window.timerTick(); });
    }
};

// A searching tick: both generators refuse to be opened, so every tick
// rebuilds the list, walks all 32 interfaces for the selected serial, finds
// nothing and empties the window.
void BM_RescanTickSearching(benchmark::State& state) {
    Desk desk;
    desk.bench.failAlways(Op::Open, "/dev/hid/gen-a");
    desk.bench.failAlways(Op::Open, "/dev/hid/gen-b");
    desk.window.Form_Load();
    for (auto _ : state) {
        (void)_;
        desk.window.timerTick();
    }
    if (desk.window.linkState().deviceAttached || desk.bench.openDeviceHandles() != 0) {
        state.SkipWithError("the window found a device");
    }
}
BENCHMARK(BM_RescanTickSearching);

// A rescan tick that finds the last generator: the list rebuild, the walk
// that opens it, and the read-back that fills the window. The link is
// dropped again outside the timed part.
void BM_RescanTickFinding(benchmark::State& state) {
    Desk desk;
    desk.window.Form_Load();
    auto& link = desk.window.deviceLink();
    for (auto _ : state) {
        (void)_;
        state.PauseTiming();
        link.closeDevice();
        desk.window.linkState().deviceAttached = false;
        state.ResumeTiming();
        link.CheckConnection();
    }
    if (!desk.window.linkState().uiReady || desk.bench.openDeviceHandles() != 2) {
        state.SkipWithError("the window did not link to a generator");
    }
}
BENCHMARK(BM_RescanTickFinding);

// A probe tick on an open link.
void BM_ProbeTick(benchmark::State& state) {
    Desk desk;
    desk.window.Form_Load();
    for (auto _ : state) {
        (void)_;
        desk.window.timerTick();
    }
    if (!desk.window.linkState().deviceAttached) {
        state.SkipWithError("the link was lost");
    }
}
BENCHMARK(BM_ProbeTick);

// One read-back with a generator open: identity, the lists, the amplitude
// list of 511 entries and the five settings.
void BM_RefreshDeviceState(benchmark::State& state) {
    Desk desk;
    desk.window.Form_Load();
    for (auto _ : state) {
        (void)_;
        desk.window.RefreshDeviceState();
    }
    if (!desk.window.linkState().uiReady || !desk.bench.sentReports().empty()) {
        state.SkipWithError("the read-back failed or sent a report");
    }
}
BENCHMARK(BM_RefreshDeviceState);

void BM_FillAmplitudeList(benchmark::State& state) {
    Desk desk;
    for (auto _ : state) {
        (void)_;
        desk.window.FillAmplitudeList();
    }
}
BENCHMARK(BM_FillAmplitudeList);

void BM_BuildCommand(benchmark::State& state) {
    const auto length = static_cast<std::size_t>(state.range(0));
    std::int32_t value = 10000000;
    for (auto _ : state) {
        (void)_;
        auto report =
            protocol::buildCommand(protocol::ReportCommand::SetPulseFrequency, value, length);
        benchmark::DoNotOptimize(report);
        ++value;
    }
}
BENCHMARK(BM_BuildCommand)->Arg(7)->Arg(65);

void BM_ParseStateReport(benchmark::State& state) {
    const auto report =
        *protocol::buildStateReport(protocol::DeviceState{10000000, 339, 1, 0, 10000000}, 65);
    for (auto _ : state) {
        (void)_;
        benchmark::DoNotOptimize(report.data());
        auto parsed = protocol::parseStateReport(report);
        benchmark::DoNotOptimize(parsed);
    }
}
BENCHMARK(BM_ParseStateReport);

void BM_BuildStateReport(benchmark::State& state) {
    protocol::DeviceState settings{10000000, 339, 1, 0, 10000000};
    for (auto _ : state) {
        (void)_;
        auto report = protocol::buildStateReport(settings, 65);
        benchmark::DoNotOptimize(report);
        ++settings.pulseFrequency;
    }
}
BENCHMARK(BM_BuildStateReport);

void BM_ParseCommand(benchmark::State& state) {
    const auto report = *protocol::buildCommand(protocol::ReportCommand::SetAmplitude, 339, 65);
    for (auto _ : state) {
        (void)_;
        benchmark::DoNotOptimize(report.data());
        auto parsed = protocol::parseCommand(report);
        benchmark::DoNotOptimize(parsed);
    }
}
BENCHMARK(BM_ParseCommand);

void BM_AmplitudeText(benchmark::State& state) {
    int index = 0;
    for (auto _ : state) {
        (void)_;
        auto text = protocol::amplitudeText(index);
        benchmark::DoNotOptimize(text);
        index = (index + 1) % protocol::kAmplitudeSteps;
    }
}
BENCHMARK(BM_AmplitudeText);

}  // namespace

BENCHMARK_MAIN();
