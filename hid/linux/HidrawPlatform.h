// The platform seam on Linux: HID interfaces are the kernel's hidraw nodes,
// their identity comes from sysfs, reports travel through hidraw ioctls.
//
// Only nodes whose HID device carries one of the openable vendor/product
// pairs are ever opened; every other node reports that it cannot be opened
// without being touched. Opening the keyboards, mice and UPSes of the
// machine on every rescan tick is what makes their input stutter, and the
// IDs are already in sysfs.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "hid/HidPlatform.h"
#include "hid/linux/SysfsHidraw.h"

namespace tpg::hid::hidraw {

struct DeviceId {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    bool operator==(const DeviceId&) const = default;
};

struct HidrawConfig {
    std::string sysfsRoot = "/sys";
    std::string devRoot = "/dev";
    std::vector<DeviceId> openable;
};

class HidrawPlatform : public HidPlatform {
  public:
    explicit HidrawPlatform(HidrawConfig config);
    HidrawPlatform(const HidrawPlatform&) = delete;
    HidrawPlatform& operator=(const HidrawPlatform&) = delete;
    // Closes whatever the caller left open.
    ~HidrawPlatform() override;

    Result listInterfaces(std::vector<std::string>& paths) override;
    Handle open(const std::string& path, OpenMode mode,
                const SecurityAttributes& security) override;
    Result getAttributes(Handle handle, Attributes& attributes) override;
    Result getString(Handle handle, StringKind kind, std::span<std::uint8_t> buffer) override;
    Result getCapabilities(Handle handle, Capabilities& capabilities) override;
    Result setFeature(Handle handle, std::span<const std::uint8_t> report) override;
    Result getFeature(Handle handle, std::span<std::uint8_t> report) override;
    Handle createEvent(const SecurityAttributes& security) override;
    Result readInputReport(Handle readHandle, std::span<std::uint8_t> buffer,
                           ReadOverlapped& overlapped) override;
    Result close(Handle handle) override;

    // Device nodes this layer has open right now.
    std::size_t openNodeCount() const { return open_.size(); }

  private:
    struct OpenNode {
        HidrawNode node;
        OpenMode mode;
    };

    bool isOpenable(const HidrawNode& node) const;
    // The node behind a path: from the last listing, else read afresh.
    std::optional<HidrawNode> lookup(const std::string& path) const;
    // The open node behind a handle this layer opened, or nullptr.
    const OpenNode* openNode(Handle handle) const;

    HidrawConfig config_;
    SysfsHidraw sysfs_;
    std::vector<HidrawNode> listed_;
    std::map<Handle, OpenNode> open_;
    // Reads never wait here (the read handle is non-blocking), so an event
    // has nothing to signal: it is a token of this layer, not a descriptor.
    std::set<Handle> events_;
    Handle nextEvent_;
};

}  // namespace tpg::hid::hidraw
