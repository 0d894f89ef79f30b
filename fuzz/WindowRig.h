// The tool's window over a simulated bench with the headless skin, for the
// fuzz targets that drive its handlers as a user would.
#pragma once

#include <string>

#include "GuardedBench.h"
#include "ui/MainWindow.h"
#include "ui/headless/HeadlessSkin.h"

namespace tpg::fuzz {

inline const std::string kGeneratorPath = "/dev/hid/generator";

// Bench is test::GuardedBench or a bench derived from it.
template <typename Bench>
struct BasicWindowRig {
    Bench bench;
    ui::headless::HeadlessSkin skin;
    ui::MainWindow window{bench, skin};

    BasicWindowRig() {
        bench.link = &window.linkState();
        skin.clock().setTickHandler([this] { window.timerTick(); });
    }
    BasicWindowRig(const BasicWindowRig&) = delete;
    BasicWindowRig& operator=(const BasicWindowRig&) = delete;
    ~BasicWindowRig() { window.Form_Unload(); }

    void press(ui::ControlId button) { window.buttonPressed(button); }
    void pick(ui::ControlId list, int index) { window.userPicked(list, index); }
    std::string text(ui::ControlId id) const { return skin.text(id); }
};

using WindowRig = BasicWindowRig<test::GuardedBench>;

}  // namespace tpg::fuzz
