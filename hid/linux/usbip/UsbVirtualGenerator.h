// A generator that exists only in software on a real USB stack: a
// UsbGenerator served over USB/IP and attached to the kernel's virtual host
// controller, so that usbcore enumerates it, usbhid drives it and hidraw
// gives it a node, as for the instrument on a USB port. It can be unplugged
// (a USB disconnect) and plugged in again; it keeps its settings meanwhile.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "hid/linux/usbip/UsbGenerator.h"
#include "hid/linux/usbip/UsbipServer.h"

namespace tpg::hid::usbip {

class UsbVirtualGenerator {
  public:
    // Makes the device and plugs it in. Nothing, and the reason in error,
    // when vhci-hcd is missing or no hidraw node appears.
    static std::unique_ptr<UsbVirtualGenerator> create(const UsbGeneratorSpec& spec,
                                                       std::string& error);
    UsbVirtualGenerator(const UsbVirtualGenerator&) = delete;
    UsbVirtualGenerator& operator=(const UsbVirtualGenerator&) = delete;
    ~UsbVirtualGenerator();

    // Attaches the device and waits for its hidraw node.
    bool plug(std::string& error);
    // Detaches it (a USB disconnect) and waits until its node has gone.
    void unplug();
    bool plugged() const { return server_ != nullptr; }

    const std::string& node() const { return node_; }
    unsigned port() const { return port_; }
    UsbGenerator& device() { return device_; }
    const UsbGeneratorSpec& spec() const { return device_.spec(); }

    // How often the kernel opened and closed the device (usbhid polls the
    // interrupt endpoint exactly while it is open), over all plug-ins.
    int opens() const;
    int closes() const;
    int inputReportsSent() const;
    bool open() const { return server_ && server_->polling(); }

  private:
    explicit UsbVirtualGenerator(const UsbGeneratorSpec& spec) : device_(spec) {}
    std::string waitForNode(std::chrono::milliseconds timeout) const;

    UsbGenerator device_;
    std::unique_ptr<UsbipServer> server_;
    unsigned port_ = 0;
    std::string node_;
    int opensBefore_ = 0;
    int closesBefore_ = 0;
    int inputBefore_ = 0;
};

}  // namespace tpg::hid::usbip
