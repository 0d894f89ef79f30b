// The soak on a real kernel: two uhid generators plugged and unplugged, 200
// unplugs in all, in a random order while the window watches; some unplugs
// are made from another thread while the window reads the generator back,
// and now and then a setting is sent. After every tick the window holds a generator exactly
// when one is plugged, on exactly two descriptors; every setting reaches the
// open generator and no other; at the end the process's descriptors are
// back to where they began.
#include <array>
#include <random>
#include <thread>

#include "GuestGenerators.h"
#include "hid/linux/uhid/VirtualGenerator.h"

namespace tpg::guest {

namespace {

using hid::uhid::VirtualGenerator;

constexpr int kUnplugs = 200;

// The first thing that went wrong, and how often something did.
struct Mismatches {
    int count = 0;
    std::string first;
    void note(bool ok, int cycle, const std::string& what) {
        if (!ok && count++ == 0) {
            first = "cycle " + std::to_string(cycle) + ": " + what;
        }
    }
};

}  // namespace

void runKernelSoak() {
    const std::string k = "uhid soak: ";
    std::array<hid::uhid::VirtualGeneratorSpec, 2> specs;
    specs[0].serialNumber = "TPG-SOAK-A";
    specs[1].serialNumber = "TPG-SOAK-B";
    std::array<std::unique_ptr<VirtualGenerator>, 2> generators;
    const Descriptors before = openDescriptors();

    auto w = std::make_unique<Window>();
    w->window.Form_Load();
    std::mt19937 rng(20240612);
    Mismatches wrong;
    int plugs = 0;
    int unplugs = 0;
    int unplugsDuringReadBack = 0;
    int settings = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int cycle = 0; unplugs < kUnplugs; ++cycle) {
        const auto i = static_cast<std::size_t>(rng() % 2);
        const auto& link = w->window.linkState();
        if (!generators[i]) {
            std::string error;
            generators[i] = VirtualGenerator::create(specs[i], error);
            wrong.note(generators[i] != nullptr, cycle, "plugging failed: " + error);
            ++plugs;
        } else if (cycle % 5 == 0 && link.deviceAttached && link.uiReady &&
                   w->text(ControlId::SerNo) == specs[i].serialNumber) {
            // The open generator goes while the window reads it back: the
            // user picks it again, which closes, opens and reads it.
            std::thread unplug([&, delay = rng() % 4] {
                std::this_thread::sleep_for(std::chrono::milliseconds(delay));
                generators[i].reset();
            });
            w->window.userPicked(ControlId::SerNo, w->skin.selectedIndex(ControlId::SerNo));
            unplug.join();
            ++unplugs;
            ++unplugsDuringReadBack;
        } else {
            generators[i].reset();
            ++unplugs;
        }

        // Input reports queue up, then one tick.
        std::this_thread::sleep_for(std::chrono::milliseconds(12));
        if (const auto wait = w->skin.clock().untilNextTick()) {
            w->skin.clock().advance(*wait);
        }
        const bool any = generators[0] || generators[1];
        wrong.note(link.deviceAttached == any, cycle,
                   any ? "a generator is plugged but none is open" : "a generator is open");
        wrong.note(openDescriptors().hidraw == (link.deviceAttached ? 2 : 0), cycle,
                   "hidraw descriptors: " + std::to_string(openDescriptors().hidraw));
        if (!link.deviceAttached) {
            continue;
        }
        const std::string serial = w->text(ControlId::SerNo);
        const std::size_t open = serial == specs[0].serialNumber ? 0 : 1;
        wrong.note(generators[open] != nullptr && serial == specs[open].serialNumber, cycle,
                   "the list shows " + serial);

        // Now and then a setting: it reaches the open generator alone.
        if (cycle % 7 == 3 && link.uiReady && generators[open]) {
            const int polarity = static_cast<int>(rng() % 2);
            w->window.userPicked(ControlId::polarity, polarity);
            ++settings;
            const auto got = generators[open]->takeReceivedReports();
            wrong.note(got.size() == 1 && got[0] == report({0x00, 0x03, 0x00,
                                                            static_cast<std::uint8_t>(polarity)}),
                       cycle, "the setting did not reach " + serial + " as one report");
            const std::size_t other = 1 - open;
            wrong.note(!generators[other] || generators[other]->takeReceivedReports().empty(),
                       cycle, "a setting reached the generator that is not open");
        }
    }
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    check(wrong.count == 0,
          k + std::to_string(plugs) + " plugs and " + std::to_string(unplugs) + " unplugs (" +
              std::to_string(unplugsDuringReadBack) + " during a read-back, " +
              std::to_string(settings) + " settings) in " + std::to_string(ms) +
              " ms: the window followed the generators",
          std::to_string(wrong.count) + " mismatches, first: " + wrong.first);

    w->window.Form_Unload();
    w.reset();
    generators = {};
    const Descriptors after = openDescriptors();
    checkEqual(after.hidraw, 0, k + "no hidraw descriptor open at the end");
    checkEqual(after.total, before.total, k + "descriptors back to where they began");
}

}  // namespace tpg::guest
