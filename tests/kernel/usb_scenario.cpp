// What only USB generators can show: the interrupt endpoint feeding the
// probe, a GET_REPORT that stalls or comes late, and how long one tick of
// the window blocks on usbhid, with the layer opening on first use and with
// the layer as it was, which opened every generator it examined.
#include <iostream>

#include "GuestGenerators.h"
#include "hid/linux/uhid/UhidDevice.h"
#include "hid/linux/uhid/VirtualGenerator.h"
#include "hid/linux/usbip/UsbVirtualGenerator.h"

namespace tpg::guest {

namespace {

using hid::usbip::GetReportAnswer;
using hid::usbip::UsbGeneratorSpec;
using hid::usbip::UsbVirtualGenerator;
using std::chrono::milliseconds;

constexpr int kRepeats = 5;
constexpr int kForeignDevices = 30;

std::unique_ptr<UsbVirtualGenerator> makeUsb(const std::string& serial) {
    UsbGeneratorSpec spec;
    spec.serialNumber = serial;
    std::string error;
    auto generator = UsbVirtualGenerator::create(spec, error);
    check(generator != nullptr, "USB: generator " + serial + " plugged in", error);
    return generator;
}

void interruptEndpointAndFaults() {
    auto gen = makeUsb("TPG-F-0001");
    if (!gen) {
        return;
    }
    // A GET_REPORT that stalls once: the read-back fails, the window shows
    // the identity and stays as after a failed read, and nothing leaks; the
    // next tick reads the window back again and fills it.
    gen->device().setGetReportAnswer({GetReportAnswer::Kind::Stall});
    auto w = std::make_unique<Window>();
    w->window.Form_Load();
    check(w->window.linkState().deviceAttached, "USB: a generator that stalls GET_REPORT opens");
    checkEqual(w->text(ControlId::lblVersion), std::string(" 1.03"), "USB: its identity shows");
    checkEqual(w->skin.items(ControlId::Vout).size(), std::size_t{0},
               "USB: the stalled read leaves the amplitude list empty");
    check(w->skin.isUsable(ControlId::Factory), "USB: the defaults button is usable");
    checkEqual(openDescriptors().hidraw, 2, "USB: two descriptors, no more");
    gen->device().setGetReportAnswer({GetReportAnswer::Kind::Normal});

    // The probe is fed by the interrupt endpoint while the device is open.
    const int before = gen->inputReportsSent();
    w->tick();
    checkEqual(w->skin.items(ControlId::Vout).size(), std::size_t{511},
               "USB: the next tick reads the state again and the window fills");
    checkShows(*w, hid::sim::GeneratorModel::factoryState(), "USB: after the stall");
    check(gen->inputReportsSent() > before, "USB: input reports came from the interrupt endpoint",
          std::to_string(gen->inputReportsSent() - before) + " reports");
    check(w->window.linkState().deviceAttached && w->window.timerInterval() == 500,
          "USB: and the probe read one");

    // A GET_REPORT that comes 300 ms late holds the window that long, here
    // in a rescan after a lost link.
    gen->device().setGetReportAnswer({GetReportAnswer::Kind::Delay, milliseconds(300)});
    w->window.deviceLink().closeDevice();
    w->window.linkState().deviceAttached = false;
    const double slow = Window::blocked([&] { w->window.timerTick(); });
    checkEqual(w->skin.items(ControlId::Vout).size(), std::size_t{511},
               "USB: the late state report is read back");
    std::cout << "blocking: a rescan opening a generator that answers GET_REPORT 300 ms late: "
              << describe({slow, slow}) << std::endl;
    w->window.Form_Unload();
    checkEqual(openDescriptors().hidraw, 0, "USB: none after shutdown");
    checkEqual(settled([&] { return gen->opens() - gen->closes(); }, 0), 0,
               "USB: usbhid stopped polling (the pending transfer was unlinked)");
}

// Foreign HID devices without USB below them: many, cheaply.
class Quiet : public hid::uhid::UhidHandler {
  public:
    std::optional<Bytes> getReport(std::uint8_t, hid::uhid::ReportType) override {
        return std::nullopt;
    }
    bool setReport(std::uint8_t, hid::uhid::ReportType, std::span<const std::uint8_t>) override {
        return false;
    }
    std::optional<Bytes> inputReport() override { return std::nullopt; }
};

struct Figures {
    Blocking search, rescan, probe, sw;
    int listedOpens = 0;  // opens of the generator that the rescans only listed
};

Figures blockingOfOneTick(bool eager, UsbVirtualGenerator& first, UsbVirtualGenerator& last) {
    Figures f;
    {
        // Searching: no generator plugged in, every tick a rescan.
        first.unplug();
        last.unplug();
        Window w(eager);
        w.window.Form_Load();
        f.search =
            measure(kRepeats, [&] { return Window::blocked([&] { w.window.timerTick(); }); });
        w.window.Form_Unload();
    }
    std::string error;
    first.plug(error);
    last.plug(error);
    Window w(eager);
    w.window.Form_Load();
    const int firstOpens = first.opens();
    f.rescan = measure(kRepeats, [&] {
        w.window.deviceLink().closeDevice();
        w.window.linkState().deviceAttached = false;
        std::this_thread::sleep_for(milliseconds(100));
        return Window::blocked([&] { w.window.timerTick(); });
    });
    f.listedOpens = first.opens() - firstOpens;
    f.probe = measure(kRepeats, [&] {
        std::this_thread::sleep_for(milliseconds(60));
        return Window::blocked([&] { w.window.timerTick(); });
    });
    int pick = 0;
    f.sw = measure(kRepeats, [&] {
        std::this_thread::sleep_for(milliseconds(60));
        return Window::blocked([&] { w.window.userPicked(ControlId::SerNo, pick++ % 2); });
    });
    w.window.Form_Unload();
    return f;
}

void measureBlocking() {
    Quiet quiet;
    std::vector<std::unique_ptr<hid::uhid::UhidDevice>> foreign;
    for (int i = 0; i < kForeignDevices; ++i) {
        std::string error;
        // Appended, not prefixed: gcc 12 warns wrongly on "text" + a temporary.
        std::string name = "Foreign ";
        name += std::to_string(i);
        std::string uniq = "F";
        uniq += std::to_string(i);
        auto device =
            hid::uhid::UhidDevice::create({.name = name,
                                           .uniq = uniq,
                                           .vendorId = 0x1000,
                                           .productId = static_cast<std::uint16_t>(i + 1),
                                           .descriptor = hid::uhid::generatorDescriptor(9, 33)},
                                          quiet, std::chrono::hours(1), error);
        if (device) {
            device->waitForNode(std::chrono::seconds(5));
            foreign.push_back(std::move(device));
        }
    }
    checkEqual(foreign.size(), std::size_t{kForeignDevices}, "USB: 30 foreign HID devices made");
    auto first = makeUsb("TPG-M-0001");
    auto last = makeUsb("TPG-M-0002");
    if (!first || !last) {
        return;
    }
    const Figures before = blockingOfOneTick(true, *first, *last);
    const Figures after = blockingOfOneTick(false, *first, *last);
    checkEqual(after.listedOpens, 0, "USB: rescans that list a generator never open it");
    check(before.listedOpens >= kRepeats, "USB: the layer as it was opened it on every rescan",
          std::to_string(before.listedOpens) + " opens");
    const auto line = [](const std::string& what, const Blocking& b, const Blocking& a) {
        std::cout << "blocking: " << what << ": before " << describe(b) << ", after " << describe(a)
                  << std::endl;
    };
    line("search, no generator, 30 foreign HID devices", before.search, after.search);
    line("rescan listing two USB generators and opening one", before.rescan, after.rescan);
    line("probe", before.probe, after.probe);
    line("switch", before.sw, after.sw);
}

}  // namespace

void runUsbScenario() {
    interruptEndpointAndFaults();
    measureBlocking();
}

}  // namespace tpg::guest
