// A test rig: the tool's window over a simulated bench with the headless
// skin, and the helpers that tests use to act as the user and to read back
// what reached the generators.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "SentReports.h"
#include "hid/sim/SimulatedBench.h"
#include "ui/MainWindow.h"
#include "ui/headless/HeadlessSkin.h"

namespace tpg::test {

using hid::sim::DeviceSpec;
using hid::sim::Op;
using hid::sim::SimulatedBench;
using ui::ControlId;
struct Rig {
    SimulatedBench bench;
    ui::headless::HeadlessSkin skin;
    ui::MainWindow window{bench, skin};

    Rig() {
        skin.clock().setTickHandler([this] { window.timerTick(); });
    }

    // A generator at /dev/hid/<name> with the given serial number.
    DeviceSpec& plugGenerator(
        const std::string& name, const std::u16string& serial,
        const protocol::DeviceState& state = hid::sim::GeneratorModel::factoryState()) {
        bench.plug(hid::sim::generatorSpec(path(name), serial, state));
        return *bench.device(path(name));
    }
    void plugForeign(const std::string& name, std::uint16_t vendorId, std::uint16_t productId) {
        bench.plug(hid::sim::foreignSpec(path(name), vendorId, productId));
    }
    static std::string path(const std::string& name) { return "/dev/hid/" + name; }

    const link::LinkState& link() const { return window.linkState(); }

    // The bytes of every report sent so far, in order; then forgets them.
    std::vector<Bytes> takeSent() { return test::takeSent(bench); }

    // Starts the window and forgets what start-up sent (nothing, normally).
    void start() { window.Form_Load(); }

    // Lets the clock run to the next tick; returns the milliseconds waited.
    long long nextTick() {
        const auto wait = skin.clock().untilNextTick();
        EXPECT_TRUE(wait.has_value()) << "the timer is stopped";
        if (!wait) {
            return -1;
        }
        skin.clock().advance(*wait);
        return *wait;
    }

    // What the user does.
    void type(ControlId box, const std::string& text) { skin.type(box, text); }
    void press(ControlId button) { window.buttonPressed(button); }
    void pick(ControlId list, int index) { window.userPicked(list, index); }
    std::string text(ControlId id) const { return skin.text(id); }
    bool usable(ControlId id) const { return skin.isUsable(id); }
};

}  // namespace tpg::test
