// The platform seam on Linux: HID interfaces are the kernel's hidraw nodes,
// their identity comes from sysfs, reports travel through hidraw ioctls.
//
// Only nodes whose HID device carries one of the openable vendor/product
// pairs are ever opened; every other node reports that it cannot be opened
// without being touched. Opening the keyboards, mice and UPSes of the
// machine on every rescan tick is what makes their input stutter, and the
// IDs are already in sysfs.
//
// Even a generator's node is opened only when an operation needs the
// device: a handle opened plain is a promise, and its descriptor is opened
// by the first capability query or feature report. Attributes and strings
// come from sysfs, so listing generators and searching for one open
// nothing: on USB the first open of a device waits for its input pipe to
// settle (usbhid sleeps 50 ms), and the rescan walks every generator twice.
// A handle opened overlapped opens its descriptor at once, so the input
// reports that the link probe reads start queueing then.
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
    // The IDs come from sysfs; access was denied when the last open of a
    // node of an openable device failed with EACCES or EPERM.
    Result explainRefusal(const std::string& path, Refusal& refusal) override;

    // Handles of device nodes this layer has given out and not closed.
    std::size_t openNodeCount() const { return open_.size(); }
    // Descriptors on device nodes open right now, and opened since creation.
    std::size_t openDescriptorCount() const;
    std::size_t descriptorsOpened() const { return descriptorsOpened_; }

  private:
    struct OpenNode {
        HidrawNode node;
        OpenMode mode;
        int fd = -1;
        // The descriptor's open failed or showed another device: every
        // operation on the handle fails from then on.
        bool broken = false;
    };

    bool isOpenable(const HidrawNode& node) const;
    // The node behind a path: from the last listing, else read afresh.
    std::optional<HidrawNode> lookup(const std::string& path) const;
    // The open node behind a handle this layer opened, or nullptr.
    const OpenNode* openNode(Handle handle) const;
    // The descriptor of a handle, opened now if it was not yet; -1 when the
    // handle is not ours or its node cannot be opened.
    int descriptor(Handle handle);
    // Opens the node's descriptor and checks that the device behind it has
    // the IDs the listing gave; -1 otherwise.
    int openConfirmed(const HidrawNode& node, OpenMode mode);
    Handle newToken();
    // Keeps why the open of an openable device's node failed (errno, which
    // it leaves as it was) and returns kNoHandle.
    Handle refused(const std::string& path);
    // The identity of a listed node, read once per device: a USB device's
    // strings and version do not change while it is plugged in, and a node
    // that the listing shows with a new inode is a new device.
    std::optional<HidIdentity> identity(const HidrawNode& node);

    HidrawConfig config_;
    SysfsHidraw sysfs_;
    std::vector<HidrawNode> listed_;
    std::map<std::string, std::pair<std::uint64_t, HidIdentity>> identities_;
    std::map<Handle, OpenNode> open_;
    // errno of the last failed open of each openable node, until it opens.
    std::map<std::string, int> refusals_;
    // Reads never wait here (the read handle is non-blocking), so an event
    // has nothing to signal: it is a token of this layer, not a descriptor.
    std::set<Handle> events_;
    // Handles are tokens of this layer, never descriptor numbers, so a
    // descriptor opened on first use does not change the handle.
    Handle nextToken_;
    std::size_t descriptorsOpened_ = 0;
};

}  // namespace tpg::hid::hidraw
