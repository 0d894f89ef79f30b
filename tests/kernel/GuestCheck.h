// What the scenarios on a real kernel share: checks that print one line
// each, waiting for counts the kernel reports a little later, the process's
// descriptors, and the tool's window with headless controls over the real
// hidraw layer.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "EagerOpenPlatform.h"
#include "hid/linux/HidrawPlatform.h"
#include "link/DeviceLink.h"
#include "ui/MainWindow.h"
#include "ui/headless/HeadlessSkin.h"

namespace tpg::guest {

using Bytes = std::vector<std::uint8_t>;
using ui::ControlId;

void check(bool ok, const std::string& what, const std::string& detail = {});

template <typename T>
void checkEqual(const T& actual, const T& expected, const std::string& what) {
    std::ostringstream detail;
    detail << "got \"" << actual << "\", expected \"" << expected << "\"";
    check(actual == expected, what, detail.str());
}

int passedChecks();
int failedChecks();

// A count that the kernel or a device thread updates a little later: read
// once it has reached the expected value, or after two seconds.
int settled(const std::function<int()>& value, int expected);

std::string hex(const Bytes& bytes);
std::string join(const std::vector<std::string>& items);

// The descriptors of this process: all of them, and those on hidraw nodes.
struct Descriptors {
    int total = 0;
    int hidraw = 0;
};
Descriptors openDescriptors();

// A report as the tool sends it: the head, then zeros to the feature length.
Bytes report(std::initializer_list<std::uint8_t> head);

// The tool's window over the hidraw layer; with eager, over the layer as it
// was before it opened on first use.
struct Window {
    explicit Window(bool eager = false);
    // Lets real time pass so the generator's input reports queue up, then
    // delivers the next tick; returns the milliseconds of virtual time.
    long long tick();
    // Milliseconds the window's thread spent in fn.
    static double blocked(const std::function<void()>& fn);
    std::string text(ControlId id) const { return skin.text(id); }

    hid::hidraw::HidrawPlatform hidraw{hid::hidraw::HidrawConfig{
        .openable = {{link::kGeneratorVendorId, link::kGeneratorProductId}}}};
    test::EagerOpenPlatform eagerPlatform{hidraw};
    ui::headless::HeadlessSkin skin;
    ui::MainWindow window;
};

void checkShows(const Window& w, const protocol::DeviceState& s, const std::string& who);

// What one measurement of blocking gave, in milliseconds.
struct Blocking {
    double median = 0;
    double max = 0;
};
Blocking measure(int times, const std::function<double()>& once);
std::string describe(const Blocking& b);

}  // namespace tpg::guest
