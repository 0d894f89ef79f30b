#include "hid/linux/usbip/UsbVirtualGenerator.h"

#include <unistd.h>

#include <thread>

#include "hid/linux/SysfsHidraw.h"
#include "hid/linux/usbip/VhciPort.h"

namespace tpg::hid::usbip {

namespace {

// Enumeration on a slow machine (an emulator without acceleration) takes
// a second or two.
constexpr auto kNodeTimeout = std::chrono::seconds(15);
constexpr auto kGoneTimeout = std::chrono::seconds(5);
constexpr std::uint32_t kBusNumber = 1;

}  // namespace

std::unique_ptr<UsbVirtualGenerator> UsbVirtualGenerator::create(const UsbGeneratorSpec& spec,
                                                                 std::string& error) {
    std::unique_ptr<UsbVirtualGenerator> generator(new UsbVirtualGenerator(spec));
    if (!generator->plug(error)) {
        return nullptr;
    }
    return generator;
}

UsbVirtualGenerator::~UsbVirtualGenerator() {
    unplug();
}

int UsbVirtualGenerator::opens() const {
    return opensBefore_ + (server_ ? server_->pollingStarts() : 0);
}

int UsbVirtualGenerator::closes() const {
    return closesBefore_ + (server_ ? server_->pollingStops() : 0);
}

int UsbVirtualGenerator::inputReportsSent() const {
    return inputBefore_ + (server_ ? server_->inputReportsSent() : 0);
}

bool UsbVirtualGenerator::plug(std::string& error) {
    if (server_) {
        return true;
    }
    // The device ID only has to be unique among the controller's devices.
    static std::atomic<std::uint32_t> nextDevice{2};
    const auto attachment = attachFullSpeed((kBusNumber << 16) | nextDevice++, error);
    if (!attachment) {
        return false;
    }
    port_ = attachment->port;
    server_ = std::make_unique<UsbipServer>(attachment->socket, device_);
    node_ = waitForNode(kNodeTimeout);
    if (node_.empty()) {
        error = "no hidraw node appeared for the USB device at port " + std::to_string(port_);
        unplug();
        return false;
    }
    return true;
}

void UsbVirtualGenerator::unplug() {
    if (!server_) {
        return;
    }
    std::string ignored;
    if (server_->connected() && detach(port_, ignored)) {
        server_->waitDisconnected(kGoneTimeout);
    }
    // Whatever the kernel still has of the device goes with the connection.
    opensBefore_ = opens();
    closesBefore_ = closes() + (server_->polling() ? 1 : 0);
    inputBefore_ = inputReportsSent();
    server_.reset();
    const auto deadline = std::chrono::steady_clock::now() + kGoneTimeout;
    while (!node_.empty() && ::access(node_.c_str(), F_OK) == 0 &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    node_.clear();
}

std::string UsbVirtualGenerator::waitForNode(std::chrono::milliseconds timeout) const {
    // usbhid names the HID device's path after the controller and the port:
    // usb-vhci_hcd.0-<port + 1>/input0 for a device on the root hub.
    const std::string phys = "usb-vhci_hcd.0-" + std::to_string(port_ + 1) + "/";
    const hidraw::SysfsHidraw sysfs("/sys", "/dev");
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (server_->connected()) {
        for (const auto& node : sysfs.listNodes()) {
            const auto uevent = sysfs.readUevent(node.name);
            const auto value = uevent ? hidraw::ueventValue(*uevent, "HID_PHYS") : std::nullopt;
            if (value && value->rfind(phys, 0) == 0 && ::access(node.devPath.c_str(), F_OK) == 0) {
                return node.devPath;
            }
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return {};
}

}  // namespace tpg::hid::usbip
