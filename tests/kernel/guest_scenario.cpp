// Runs inside a virtual machine on a real Linux kernel with uhid: two virtual
// generators and one foreign HID device, and the tool's window (headless
// controls) over the real hidraw layer. Prints one line per check and a
// closing "RESULT" line; exits non-zero when any check failed.
#include <dirent.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <functional>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "hid/linux/HidrawPlatform.h"
#include "hid/linux/uhid/UhidDevice.h"
#include "hid/linux/uhid/VirtualGenerator.h"
#include "link/DeviceLink.h"
#include "ui/MainWindow.h"
#include "ui/headless/HeadlessSkin.h"

namespace {

using tpg::hid::uhid::VirtualGenerator;
using tpg::hid::uhid::VirtualGeneratorSpec;
using tpg::ui::ControlId;
using Bytes = std::vector<std::uint8_t>;

int passed = 0;
int failed = 0;

void check(bool ok, const std::string& what, const std::string& detail = {}) {
    (ok ? passed : failed)++;
    std::cout << (ok ? "ok " : "not ok ") << (passed + failed) << " - " << what;
    if (!ok && !detail.empty()) {
        std::cout << " (" << detail << ")";
    }
    std::cout << std::endl;
}

template <typename T>
void checkEqual(const T& actual, const T& expected, const std::string& what) {
    std::ostringstream detail;
    detail << "got \"" << actual << "\", expected \"" << expected << "\"";
    check(actual == expected, what, detail.str());
}

// The kernel tells a uhid device of opens and closes through its event
// queue, which the device's thread reads a little later: counts are read
// once they have reached the expected value, or after two seconds.
int settled(const std::function<int()>& value, int expected) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    int now = value();
    while (now != expected && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        now = value();
    }
    return now;
}

std::string hex(const Bytes& bytes) {
    std::string out;
    for (const auto b : bytes) {
        std::array<char, 4> part{};
        std::snprintf(part.data(), part.size(), "%02X ", b);
        out += part.data();
    }
    return out;
}

std::string join(const std::vector<std::string>& items) {
    std::string out;
    for (const auto& item : items) {
        out += (out.empty() ? "" : ",") + item;
    }
    return out;
}

// The descriptors of this process: all of them, and those on hidraw nodes.
struct Descriptors {
    int total = 0;
    int hidraw = 0;
};
Descriptors openDescriptors() {
    Descriptors d;
    DIR* dir = ::opendir("/proc/self/fd");
    if (dir == nullptr) {
        return {-1, -1};
    }
    const int own = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.' || std::stoi(entry->d_name) == own) {
            continue;
        }
        ++d.total;
        std::array<char, 256> target{};
        const std::string link = std::string("/proc/self/fd/") + entry->d_name;
        const ssize_t n = ::readlink(link.c_str(), target.data(), target.size() - 1);
        if (n > 0 && std::string(target.data(), static_cast<std::size_t>(n)).find("/hidraw") !=
                         std::string::npos) {
            ++d.hidraw;
        }
    }
    ::closedir(dir);
    return d;
}

// A report as the tool sends it: the head, then zeros to the feature length.
Bytes report(std::initializer_list<std::uint8_t> head) {
    Bytes bytes(head);
    bytes.resize(65, 0);
    return bytes;
}

// A HID device of someone else's, with an ID that is not the generator's.
// It answers nothing.
class ForeignDevice : public tpg::hid::uhid::UhidHandler {
  public:
    std::optional<Bytes> getReport(std::uint8_t, tpg::hid::uhid::ReportType) override {
        return std::nullopt;
    }
    bool setReport(std::uint8_t, tpg::hid::uhid::ReportType,
                   std::span<const std::uint8_t>) override {
        return false;
    }
    std::optional<Bytes> inputReport() override { return std::nullopt; }
};

// The foreign device has a vendor page like the generator's, so nothing in
// the kernel (no input handler) opens it: any open would be the tool's.
const Bytes kForeignDescriptor = tpg::hid::uhid::generatorDescriptor(9, 33);

const tpg::protocol::DeviceState kStateA{.pulseFrequency = 25000,
                                         .amplitudeIndex = 0,
                                         .polarityIndex = 0,
                                         .triggerSyncFunction = 1,
                                         .syncFrequency = 1000000};
const tpg::protocol::DeviceState kStateB{.pulseFrequency = 123456789,
                                         .amplitudeIndex = 510,
                                         .polarityIndex = 0,
                                         .triggerSyncFunction = 1,
                                         .syncFrequency = 250000000};

// A's name is not ASCII: it travels UTF-8 in the kernel, UTF-16LE through
// the string query, and UTF-8 again in the window.
const std::string kNameA = "G\xC3\xA9n\xC3\xA9rateur \xCE\xA9 \xF0\x9F\x93\x88";

std::unique_ptr<VirtualGenerator> makeGenerator(const std::string& serial,
                                                const tpg::protocol::DeviceState& state) {
    VirtualGeneratorSpec config;
    config.serialNumber = serial;
    config.state = state;
    if (serial == "TPG-A-0001") {
        config.name = kNameA;
    }
    std::string error;
    auto generator = VirtualGenerator::create(config, error);
    check(generator != nullptr, "virtual generator " + serial + " created", error);
    return generator;
}

struct Window {
    tpg::hid::hidraw::HidrawPlatform platform{tpg::hid::hidraw::HidrawConfig{
        .openable = {{tpg::link::kGeneratorVendorId, tpg::link::kGeneratorProductId}}}};
    tpg::ui::headless::HeadlessSkin skin;
    tpg::ui::MainWindow window{platform, skin};

    Window() {
        skin.clock().setTickHandler([this] { window.timerTick(); });
    }
    // Lets real time pass so the generator's input reports queue up, then
    // delivers the next tick; returns the milliseconds of virtual time.
    long long tick() {
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        const auto wait = skin.clock().untilNextTick();
        if (!wait) {
            return -1;
        }
        skin.clock().advance(*wait);
        return *wait;
    }
    std::string text(ControlId id) const { return skin.text(id); }
};

void checkShows(const Window& w, const tpg::protocol::DeviceState& s, const std::string& who) {
    checkEqual(w.text(ControlId::Foutput), std::to_string(s.pulseFrequency),
               who + ": pulse frequency read back");
    checkEqual(w.skin.selectedIndex(ControlId::Vout), s.amplitudeIndex,
               who + ": amplitude index read back");
    checkEqual(w.skin.selectedIndex(ControlId::polarity), s.polarityIndex,
               who + ": polarity read back");
    checkEqual(w.skin.selectedIndex(ControlId::ext_trig_dir), s.triggerSyncFunction,
               who + ": trigger/sync function read back");
    checkEqual(w.text(ControlId::ext_sync_freq), std::to_string(s.syncFrequency),
               who + ": sync frequency read back");
}

void checkReceived(VirtualGenerator& generator, const std::vector<Bytes>& expected,
                   const std::string& what) {
    const auto got = generator.takeReceivedReports();
    bool same = got.size() == expected.size();
    std::string detail = std::to_string(got.size()) + " reports";
    for (std::size_t i = 0; same && i < got.size(); ++i) {
        same = got[i] == expected[i];
        if (!same) {
            detail = "report " + std::to_string(i) + " was " + hex(got[i]);
        }
    }
    check(same, what, detail);
}

void run() {
    if (::access("/dev/uhid", R_OK | W_OK) != 0) {
        check(false, "/dev/uhid is there");
        return;
    }
    std::string error;
    ForeignDevice foreignHandler;
    auto foreign =
        tpg::hid::uhid::UhidDevice::create({.name = "Foreign device",
                                            .uniq = "FD-0001",
                                            .bus = 0x03,
                                            .vendorId = 0x6C3A,
                                            .productId = 0x0001,
                                            .version = 0x0100,
                                            .descriptor = kForeignDescriptor},
                                           foreignHandler, std::chrono::milliseconds(50), error);
    check(foreign != nullptr && !foreign->waitForNode(std::chrono::seconds(5)).empty(),
          "foreign HID device created", error);
    auto genA = makeGenerator("TPG-A-0001", kStateA);
    auto genB = makeGenerator("TPG-B-0002", kStateB);
    if (!foreign || !genA || !genB) {
        return;
    }
    const Descriptors before = openDescriptors();
    check(before.hidraw == 0, "no hidraw node open before start-up");

    auto w = std::make_unique<Window>();
    std::vector<std::string> paths;
    w->platform.listInterfaces(paths);
    checkEqual(paths.size(), std::size_t{3}, "three hidraw interfaces listed");

    // Start-up: both listed, the last one opened and read back.
    w->window.Form_Load();
    checkEqual(join(w->skin.items(ControlId::SerNo)), std::string("TPG-A-0001,TPG-B-0002"),
               "start-up lists both generators in enumeration order");
    checkEqual(w->text(ControlId::SerNo), std::string("TPG-B-0002"), "the last one is selected");
    check(w->window.linkState().deviceAttached, "the last one is open");
    checkEqual(w->window.linkState().capabilities.featureReportByteLength, std::uint16_t{65},
               "feature report length from the descriptor");
    checkEqual(w->window.linkState().capabilities.inputReportByteLength, std::uint16_t{65},
               "input report length from the descriptor");
    checkEqual(w->text(ControlId::lblProduct), std::string(" Trelvix Pulse Generator"),
               "product name from the HID name");
    checkEqual(w->text(ControlId::lblVersion), std::string(" 0.00"),
               "version 0 without a USB parent");
    checkShows(*w, kStateB, "B");
    checkEqual(openDescriptors().hidraw, 2, "two descriptors on the open generator");
    checkEqual(settled([&] { return genB->opens() - genB->closes(); }, 1), 1,
               "B open (the kernel counts one opener)");
    checkEqual(settled([&] { return genA->opens() - genA->closes(); }, 0), 0,
               "A examined and closed again");

    // Every command reaches the device with its bytes.
    w->skin.type(ControlId::Foutput, "10000000");
    w->window.buttonPressed(ControlId::SetFout);
    w->window.userPicked(ControlId::Vout, 339);
    w->window.userPicked(ControlId::polarity, 1);
    w->window.userPicked(ControlId::ext_trig_dir, 1);
    w->skin.type(ControlId::ext_sync_freq, "300000000");
    w->window.buttonPressed(ControlId::SetFsync);
    checkReceived(
        *genB,
        {report({0x00, 0x01, 0x00, 0x80, 0x96, 0x98, 0x00}), report({0x00, 0x02, 0x00, 0x53, 0x01}),
         report({0x00, 0x03, 0x00, 0x01, 0x00}), report({0x00, 0x05, 0x00, 0x01, 0x00}),
         report({0x00, 0x06, 0x00, 0x00, 0xA3, 0xE1, 0x11})},
        "five commands reach B with their bytes, 65 each");
    check(genB->state() == tpg::protocol::DeviceState{10000000, 339, 1, 1, 300000000},
          "B holds the five settings sent");
    w->window.buttonPressed(ControlId::Factory);
    const auto factory = genB->takeReceivedReports();
    checkEqual(factory.size(), std::size_t{8}, "restoring the defaults sends eight reports");
    check(genB->state() == tpg::hid::sim::GeneratorModel::factoryState(),
          "B holds the factory settings");
    checkEqual(genA->takeReceivedReports().size(), std::size_t{0}, "nothing reached A");

    // The probe finds B alive.
    checkEqual(w->tick(), 50LL, "first tick after the initial interval");
    check(w->window.linkState().deviceAttached, "a probe with a report waiting keeps the link");
    checkEqual(w->window.timerInterval(), 500, "a good probe sets 500 ms");

    // B goes: the next probe fails, A is opened in the same tick.
    const int aOpensBefore = genA->opens();
    genB.reset();
    checkEqual(w->tick(), 500LL, "next probe 500 ms later");
    checkEqual(join(w->skin.items(ControlId::SerNo)), std::string("TPG-A-0001"),
               "the list holds only A");
    check(w->window.linkState().deviceAttached, "A opened in the same tick");
    checkShows(*w, kStateA, "A");
    checkEqual(w->text(ControlId::lblProduct), " " + kNameA, "A's name through UTF-16");
    checkEqual(w->text(ControlId::lblManuf), " " + kNameA, "the same name as maker");
    checkEqual(w->window.timerInterval(), 250, "a lost link sets 250 ms");
    checkEqual(settled([&] { return genA->opens(); }, aOpensBefore + 2), aOpensBefore + 2,
               "A examined by the rescan and opened");
    checkEqual(openDescriptors().hidraw, 2, "two descriptors, now on A");

    // A goes too: the window clears and the monitor keeps searching.
    genA.reset();
    w->tick();
    check(!w->window.linkState().deviceAttached, "no generator left: nothing open");
    checkEqual(w->skin.items(ControlId::SerNo).size(), std::size_t{0}, "the list is empty");
    checkEqual(w->text(ControlId::Foutput), std::string(), "the window is cleared");
    check(!w->skin.isUsable(ControlId::Vout), "the settings are disabled");
    checkEqual(openDescriptors().hidraw, 0, "no hidraw descriptor left open");

    // Both come back (B first): the next rescan lists them and opens the last.
    const tpg::protocol::DeviceState stateA2{300000000, 100, 1, 0, 5000000};
    const tpg::protocol::DeviceState stateB2{777777, 42, 0, 1, 2000000};
    genB = makeGenerator("TPG-B-0002", stateB2);
    genA = makeGenerator("TPG-A-0001", stateA2);
    if (!genA || !genB) {
        return;
    }
    checkEqual(w->tick(), 250LL, "the rescan comes 250 ms later");
    checkEqual(join(w->skin.items(ControlId::SerNo)), std::string("TPG-B-0002,TPG-A-0001"),
               "re-created generators listed again");
    check(w->window.linkState().deviceAttached, "the last listed is open again");
    checkShows(*w, stateA2, "A again");

    // A switch to B.
    w->window.userPicked(ControlId::SerNo, 0);
    checkEqual(w->text(ControlId::SerNo), std::string("TPG-B-0002"), "B picked in the list");
    check(w->window.linkState().deviceAttached, "B open after the switch");
    checkShows(*w, stateB2, "B after the switch");
    checkEqual(settled([&] { return genA->opens() - genA->closes(); }, 0), 0,
               "A closed by the switch");
    checkEqual(w->tick(), 250LL, "the tick after a switch comes 250 ms later");
    check(w->window.linkState().deviceAttached, "the probe keeps B");
    checkEqual(w->window.timerInterval(), 500, "and sets 500 ms");
    w->window.userPicked(ControlId::Vout, 200);
    checkReceived(*genB, {report({0x00, 0x02, 0x00, 0xC8, 0x00})}, "a setting reaches B");

    // Shutdown closes everything; the foreign device was never opened.
    w->window.Form_Unload();
    const Descriptors after = openDescriptors();
    checkEqual(after.hidraw, 0, "no hidraw descriptor open after shutdown");
    checkEqual(after.total, before.total, "open descriptors back to where they began");
    checkEqual(settled([&] { return genB->opens() - genB->closes(); }, 0), 0,
               "B closed at shutdown");
    w.reset();
    checkEqual(foreign->opens(), 0, "the foreign device was never opened");

    // A generator that keeps no input report waiting: every probe finds
    // nothing (EAGAIN), drops the link and opens it again in the same tick.
    genA.reset();
    genB.reset();
    VirtualGeneratorSpec quiet;
    quiet.serialNumber = "TPG-Q-0003";
    quiet.inputPeriod = std::chrono::hours(1);
    auto genQ = VirtualGenerator::create(quiet, error);
    check(genQ != nullptr, "a generator without input reports created", error);
    if (!genQ) {
        return;
    }
    w = std::make_unique<Window>();
    w->window.Form_Load();
    check(w->window.linkState().deviceAttached, "the quiet generator is opened");
    const int opensBefore =
        settled([&] { return genQ->opens() - genQ->closes(); }, 1) == 1 ? genQ->opens() : -1;
    w->tick();
    checkEqual(w->window.timerInterval(), 250, "its probe fails: the link is dropped");
    check(w->window.linkState().deviceAttached, "and opened again in the same tick");
    checkEqual(settled([&] { return genQ->opens(); }, opensBefore + 2), opensBefore + 2,
               "examined by the rescan and opened again");
    checkEqual(openDescriptors().hidraw, 2, "still exactly two descriptors on it");
    w->window.Form_Unload();
    checkEqual(openDescriptors().hidraw, 0, "none after shutdown");
}

}  // namespace

int main() {
    const auto start = std::chrono::steady_clock::now();
    run();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    std::cout << "scenario took " << ms << " ms" << std::endl;
    std::cout << "RESULT: " << passed << " passed, " << failed << " failed" << std::endl;
    return failed == 0 && passed > 0 ? 0 : 1;
}
