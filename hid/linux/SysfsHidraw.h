// What sysfs tells about the hidraw nodes of the machine, read without
// opening any device node. The sysfs root and the device-node directory are
// given, so the same code reads the live /sys and fixture trees alike.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tpg::hid::hidraw {

// One entry of <sysfs>/class/hidraw, with the IDs of the HID device behind it
// as its uevent states them (HID_ID=bus:vendor:product).
struct HidrawNode {
    std::string name;     // "hidraw3"
    std::string devPath;  // "<dev>/hidraw3"
    bool hasId = false;   // false when the uevent lacks a readable HID_ID
    std::uint16_t bus = 0;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    // The inode of the class entry as the listing saw it; 0 when not known.
    // Sysfs numbers its entries from a counter that does not go back, so an
    // entry made for a new device never has the number of an old one: the
    // same name and inode is the same device.
    std::uint64_t inode = 0;
};

// The identity of a HID device. For a device on USB the strings and the
// version are those of the USB device above the HID interface; for one with
// no USB parent (uhid, Bluetooth) the name serves as manufacturer and
// product, the unique ID as serial number, and the version is 0. A string
// the device does not have is absent.
struct HidIdentity {
    bool usbParent = false;
    std::uint16_t versionNumber = 0;
    std::optional<std::string> manufacturer;
    std::optional<std::string> product;
    std::optional<std::string> serialNumber;
};

class SysfsHidraw {
  public:
    SysfsHidraw(std::string sysfsRoot, std::string devRoot)
        : sysfsRoot_(std::move(sysfsRoot)), devRoot_(std::move(devRoot)) {}

    // The hidraw nodes in the order of their numbers (hidraw2 before
    // hidraw10). Reads the class directory and the uevent file of each node
    // that is not in known with the same name and inode; those are taken as
    // they are. A machine without hidraw has none.
    std::vector<HidrawNode> listNodes(std::span<const HidrawNode> known = {}) const;

    // The node whose device path is devPath, read afresh; nothing when there
    // is no such node.
    std::optional<HidrawNode> nodeForPath(const std::string& devPath) const;

    // Reads the identity of the HID device behind a node; nothing when the
    // node is gone.
    std::optional<HidIdentity> readIdentity(const std::string& nodeName) const;

    // The uevent text of the HID device behind a node.
    std::optional<std::string> readUevent(const std::string& nodeName) const;

    // The raw report descriptor that sysfs exposes for the node.
    std::optional<std::string> readReportDescriptor(const std::string& nodeName) const;

    const std::string& devRoot() const { return devRoot_; }

  private:
    std::string classDir() const { return sysfsRoot_ + "/class/hidraw"; }
    std::string hidDeviceLink(const std::string& nodeName) const {
        return classDir() + "/" + nodeName + "/device";
    }
    std::optional<HidrawNode> readNode(const std::string& nodeName) const;

    std::string sysfsRoot_;
    std::string devRoot_;
};

// Helpers shared with the tests: the fields of a uevent file and of HID_ID.
std::optional<std::string> ueventValue(const std::string& uevent, const std::string& key);
bool parseHidId(const std::string& value, std::uint16_t& bus, std::uint16_t& vendorId,
                std::uint16_t& productId);

}  // namespace tpg::hid::hidraw
