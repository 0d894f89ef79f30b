// The devices of the generator bench in the guest, one kind per way of
// making a HID device on the real kernel. Each keeps what reached it until
// the driver takes it; a new kind is one more class and one more case in
// makeBenchDevice.
#pragma once

#include <memory>
#include <string>

#include "BenchProtocol.h"

namespace tpg::guestbench {

class BenchDevice {
  public:
    virtual ~BenchDevice() = default;
    // The hidraw node the kernel made for the device.
    virtual std::string node() const = 0;
    // What reached the device since the last call.
    virtual Received takeReceived() = 0;
    // The settings it holds now; all 0 for a device that is no generator.
    virtual protocol::DeviceState state() const = 0;
};

// A device of the kind named by the request, with its serial number and, for
// a generator, its settings; nothing, and the reason in error, when the kind
// is unknown or the kernel refuses the device.
std::unique_ptr<BenchDevice> makeBenchDevice(const PlugRequest& request, std::string& error);

}  // namespace tpg::guestbench
