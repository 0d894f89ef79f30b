// What only uhid devices can show: a generator with no input report waiting,
// a node number taken by another device between listing and opening, and a
// feature ioctl interrupted by a signal.
#include <fcntl.h>
#include <linux/hidraw.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <sstream>

#include "GuestGenerators.h"
#include "cli/Commands.h"
#include "hid/linux/uhid/UhidDevice.h"
#include "hid/linux/uhid/VirtualGenerator.h"

namespace tpg::guest {

namespace {

using hid::uhid::VirtualGenerator;
using hid::uhid::VirtualGeneratorSpec;

void quietGenerator() {
    // Every probe finds nothing (EAGAIN), drops the link and opens it again
    // in the same tick.
    VirtualGeneratorSpec quiet;
    quiet.serialNumber = "TPG-Q-0003";
    quiet.inputPeriod = std::chrono::hours(1);
    std::string error;
    auto genQ = VirtualGenerator::create(quiet, error);
    check(genQ != nullptr, "uhid: a generator without input reports made", error);
    if (!genQ) {
        return;
    }
    auto w = std::make_unique<Window>();
    w->window.Form_Load();
    check(w->window.linkState().deviceAttached, "uhid: the quiet generator is opened");
    const int opensBefore =
        settled([&] { return genQ->opens() - genQ->closes(); }, 1) == 1 ? genQ->opens() : -1;
    w->tick();
    checkEqual(w->window.timerInterval(), 250, "uhid: its probe fails: the link is dropped");
    check(w->window.linkState().deviceAttached, "uhid: and opened again in the same tick");
    checkEqual(settled([&] { return genQ->opens(); }, opensBefore + 1), opensBefore + 1,
               "uhid: opened again once, not for the listing");
    checkEqual(openDescriptors().hidraw, 2, "uhid: still exactly two descriptors on it");
    w->window.Form_Unload();
    checkEqual(openDescriptors().hidraw, 0, "uhid: none after shutdown");
}

// Answers nothing, counts what reaches it.
class CountingHandler : public hid::uhid::UhidHandler {
  public:
    std::optional<Bytes> getReport(std::uint8_t, hid::uhid::ReportType) override {
        ++requests;
        return std::nullopt;
    }
    bool setReport(std::uint8_t, hid::uhid::ReportType, std::span<const std::uint8_t>) override {
        ++requests;
        return false;
    }
    std::optional<Bytes> inputReport() override { return std::nullopt; }
    std::atomic<int> requests{0};
};

void nodeNumberTakenByAnotherDevice() {
    // hidraw hands out the lowest free number, so a device made right after
    // an unplug takes the number the generator had.
    VirtualGeneratorSpec spec;
    spec.serialNumber = "TPG-R-0004";
    std::string error;
    auto generator = VirtualGenerator::create(spec, error);
    check(generator != nullptr, "uhid: generator for the number check made", error);
    if (!generator) {
        return;
    }
    const std::string node = generator->node();
    hid::hidraw::HidrawPlatform platform(hid::hidraw::HidrawConfig{
        .openable = {{link::kGeneratorVendorId, link::kGeneratorProductId}}});
    std::vector<std::string> paths;
    platform.listInterfaces(paths);
    generator.reset();

    CountingHandler handler;
    auto other =
        hid::uhid::UhidDevice::create({.name = "Other",
                                       .uniq = "O-1",
                                       .vendorId = 0x1234,
                                       .productId = link::kGeneratorProductId,
                                       .descriptor = hid::uhid::generatorDescriptor(65, 65)},
                                      handler, std::chrono::milliseconds(50), error);
    const std::string otherNode = other ? other->waitForNode(std::chrono::seconds(5)) : "";
    checkEqual(otherNode, node, "uhid: another device took the generator's node number");

    // The layer still has the old listing: the handle is given, but the
    // device behind the node shows other IDs when it is opened.
    const hid::Handle handle = platform.open(node, hid::OpenMode::Plain, {});
    check(hid::isOpen(handle), "uhid: the stale listing still offers the node");
    hid::Capabilities caps;
    Bytes buffer(65, 0);
    checkEqual(platform.getCapabilities(handle, caps), 0, "uhid: its capabilities are refused");
    checkEqual(platform.getFeature(handle, buffer), 0, "uhid: so is a state read");
    checkEqual(platform.setFeature(handle, report({0x00, 0x02, 0x00, 0x53, 0x01})), 0,
               "uhid: and a command");
    check(!hid::isOpen(platform.open(node, hid::OpenMode::Overlapped, {})),
          "uhid: an overlapped open is refused at once");
    checkEqual(handler.requests.load(), 0, "uhid: no report reached the other device");
    checkEqual(platform.close(handle), 1, "uhid: the handle still closes");
    checkEqual(platform.openDescriptorCount(), std::size_t{0}, "uhid: no descriptor left open");
    platform.listInterfaces(paths);
    check(!hid::isOpen(platform.open(node, hid::OpenMode::Plain, {})),
          "uhid: a new listing reads the node afresh and refuses it");
}

// A generator whose first GET_REPORT takes 300 ms.
class SlowHandler : public hid::uhid::UhidHandler {
  public:
    std::optional<Bytes> getReport(std::uint8_t, hid::uhid::ReportType) override {
        if (requests++ == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        }
        return protocol::buildStateReport(hid::sim::GeneratorModel::factoryState(), 65);
    }
    bool setReport(std::uint8_t, hid::uhid::ReportType, std::span<const std::uint8_t>) override {
        return true;
    }
    std::optional<Bytes> inputReport() override { return std::nullopt; }
    std::atomic<int> requests{0};
};

// A uhid device with the generator's IDs and 65-byte reports, answered by
// handler; waits for its node and checks that it came. The node, or empty.
std::string makeGeneratorDevice(hid::uhid::UhidHandler& handler, const std::string& name,
                                const std::string& serial,
                                std::unique_ptr<hid::uhid::UhidDevice>& device) {
    std::string error;
    device = hid::uhid::UhidDevice::create({.name = name,
                                            .uniq = serial,
                                            .vendorId = link::kGeneratorVendorId,
                                            .productId = link::kGeneratorProductId,
                                            .descriptor = hid::uhid::generatorDescriptor(65, 65)},
                                           handler, std::chrono::milliseconds(5), error);
    std::string node = device ? device->waitForNode(std::chrono::seconds(5)) : "";
    check(!node.empty(), "uhid: " + name + " made", error);
    return node;
}

std::atomic<int> signalsCaught{0};
void onSignal(int /*signal*/) {
    ++signalsCaught;
}

void interruptedFeatureRead() {
    // uhid serves one report request at a time; a second one waits for the
    // first, interruptibly, and a signal ends that wait with EINTR.
    SlowHandler handler;
    std::unique_ptr<hid::uhid::UhidDevice> device;
    const std::string node = makeGeneratorDevice(handler, "Slow generator", "TPG-S-0005", device);
    if (node.empty()) {
        return;
    }
    struct sigaction action {};
    action.sa_handler = onSignal;  // no SA_RESTART
    struct sigaction previous {};
    sigaction(SIGUSR1, &action, &previous);

    hid::hidraw::HidrawPlatform platform(hid::hidraw::HidrawConfig{
        .openable = {{link::kGeneratorVendorId, link::kGeneratorProductId}}});
    std::vector<std::string> paths;
    platform.listInterfaces(paths);
    const hid::Handle handle = platform.open(node, hid::OpenMode::Plain, {});
    hid::Capabilities caps;
    platform.getCapabilities(handle, caps);

    std::thread first([&] {
        const int fd = ::open(node.c_str(), O_RDWR | O_CLOEXEC);
        Bytes buffer(65, 0);
        ::ioctl(fd, HIDIOCGFEATURE(buffer.size()), buffer.data());
        ::close(fd);
    });
    const pthread_t self = ::pthread_self();
    std::thread interrupter([self] {
        std::this_thread::sleep_for(std::chrono::milliseconds(120));
        ::pthread_kill(self, SIGUSR1);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    Bytes buffer(65, 0);
    const hid::Result result = platform.getFeature(handle, buffer);
    interrupter.join();
    first.join();
    checkEqual(signalsCaught.load(), 1, "uhid: the waiting state read was interrupted");
    checkEqual(result, 65, "uhid: and asked again, it succeeded with all 65 bytes");
    checkEqual(handler.requests.load(), 2, "uhid: both reads reached the device");
    platform.close(handle);
    sigaction(SIGUSR1, &previous, nullptr);
}

// A generator that answers the state request with 5 bytes of its 65.
class ShortStateHandler : public hid::uhid::UhidHandler {
  public:
    std::optional<Bytes> getReport(std::uint8_t, hid::uhid::ReportType) override {
        ++requests;
        auto full = protocol::buildStateReport(hid::sim::GeneratorModel::factoryState(), 65);
        full->resize(5);
        return full;
    }
    bool setReport(std::uint8_t, hid::uhid::ReportType, std::span<const std::uint8_t>) override {
        return true;
    }
    std::optional<Bytes> inputReport() override { return Bytes(64, 0); }
    std::atomic<int> requests{0};
};

class NoSystemError : public cli::SystemError {
  public:
    void clear() override {}
    std::string text() const override { return {}; }
};

void shortStateAnswer() {
    ShortStateHandler handler;
    std::unique_ptr<hid::uhid::UhidDevice> device;
    if (makeGeneratorDevice(handler, "Short generator", "TPG-5-0006", device).empty()) {
        return;
    }
    // The bytes it did not send are not read as zeros: the read has failed,
    // and each tick reads again.
    auto w = std::make_unique<Window>();
    w->window.Form_Load();
    check(w->window.linkState().deviceAttached, "uhid: the short answerer is opened");
    checkEqual(w->text(ControlId::Foutput), std::string(), "uhid: no frequency shown from 5 bytes");
    checkEqual(w->skin.items(ControlId::Vout).size(), std::size_t{0},
               "uhid: its 5-byte answer is a failed read");
    const int before = handler.requests.load();
    w->tick();
    checkEqual(handler.requests.load(), before + 1, "uhid: the next tick reads once more");
    check(!w->window.linkState().uiReady, "uhid: and the window stays unfilled");
    w->window.Form_Unload();

    std::ostringstream out;
    std::ostringstream err;
    std::istringstream in;
    NoSystemError errors;
    const int status =
        cli::run({"show", "--serial", "TPG-5-0006"}, w->hidraw, errors, {in, out, err});
    checkEqual(status, 3, "uhid: show exits 3 on a 5-byte state report");
    check(err.str().find("answered with 5 bytes") != std::string::npos,
          "uhid: and says what the generator answered", err.str());
    checkEqual(out.str(), std::string(), "uhid: and shows no settings");
    checkEqual(openDescriptors().hidraw, 0, "uhid: nothing left open");
}

}  // namespace

void runUhidScenario() {
    quietGenerator();
    nodeNumberTakenByAnotherDevice();
    interruptedFeatureRead();
    shortStateAnswer();
}

}  // namespace tpg::guest
