// The two kinds of virtual generator the scenario runs over, behind one
// face: uhid devices (no USB below the HID device) and USB devices served
// over USB/IP to vhci-hcd and driven by usbhid. Each kind also says what the
// window shows of its identity.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "GuestCheck.h"
#include "protocol/FeatureReports.h"

namespace tpg::guest {

class GuestGenerator {
  public:
    virtual ~GuestGenerator() = default;
    // The feature reports received since the last call, each as the tool
    // built it (report ID first), in order.
    virtual std::vector<Bytes> takeFeatureReports() = 0;
    // How often the state report was read from the device.
    virtual int stateReads() const = 0;
    virtual protocol::DeviceState state() const = 0;
    // How often the kernel opened and closed the device.
    virtual int opens() const = 0;
    virtual int closes() const = 0;
    virtual void unplug() = 0;
    // Plugs it in again, holding the given settings.
    virtual bool plug(const protocol::DeviceState& state) = 0;
};

// A HID device of someone else's, for the checks that the tool never opens it.
class ForeignDevice {
  public:
    virtual ~ForeignDevice() = default;
    virtual int opens() const = 0;
    // Report requests it received: the tool's kind of traffic.
    virtual int toolRequests() = 0;
};

struct GeneratorKind {
    std::string name;
    std::function<std::unique_ptr<GuestGenerator>(
        const std::string& serial, const protocol::DeviceState& state, const std::string& product)>
        make;
    // The foreign device's IDs differ from the generator's in one of the two.
    std::function<std::unique_ptr<ForeignDevice>()> makeForeign;
    // Serial numbers of the two generators of the scenario.
    std::string serialA;
    std::string serialB;
    // What the window shows as maker for a given product name, and as version.
    std::function<std::string(const std::string& product)> maker;
    std::string version;
};

GeneratorKind uhidKind();
GeneratorKind usbKind();

// Runs the scenario that both kinds go through: start-up, every command's
// bytes, the probe, unplugging, replugging, a switch and shutdown.
void runSharedScenario(const GeneratorKind& kind);

// The checks that only one kind can make, each after the shared scenario.
void runUhidScenario();
void runUsbScenario();

// 200 plug/unplug cycles of two uhid generators under the window's eye.
void runKernelSoak();
// Devices that break the rules: odd feature report lengths, random report
// descriptors, one that vanishes in a feature ioctl (uhid); a serial number
// of 126 code units with bad surrogates (USB).
void runHostileDevices();
void runHostileUsbDevices();

}  // namespace tpg::guest
