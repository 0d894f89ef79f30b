// Builds sysfs-shaped trees in a temporary directory: hidraw class entries
// that link to HID devices below a USB interface (the shape of a device on
// USB) or below the uhid misc device (no USB parent), with the device nodes
// as plain files in a directory of their own.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tpg::test {

struct UsbStrings {
    std::optional<std::string> manufacturer;
    std::optional<std::string> product;
    std::optional<std::string> serial;
    std::string bcdDevice = "0103";
};

class SysfsFixture {
  public:
    SysfsFixture();
    ~SysfsFixture();
    SysfsFixture(const SysfsFixture&) = delete;
    SysfsFixture& operator=(const SysfsFixture&) = delete;

    std::string sysfsRoot() const { return (root_ / "sys").string(); }
    std::string devRoot() const { return (root_ / "dev").string(); }
    std::string devPath(int number) const { return devRoot() + "/hidraw" + std::to_string(number); }

    // hidraw<number> for a HID device on USB port <port>.
    void addUsb(int number, std::uint16_t vendorId, std::uint16_t productId,
                const UsbStrings& strings, const std::vector<std::uint8_t>& descriptor);
    // hidraw<number> for a HID device with no USB parent. An empty uniq
    // leaves HID_UNIQ empty, as the kernel writes it.
    void addVirtual(int number, std::uint16_t vendorId, std::uint16_t productId,
                    const std::string& name, const std::string& uniq,
                    const std::vector<std::uint8_t>& descriptor);
    // Opens the whole tree to every user for reading (as sysfs is), with the
    // device nodes readable and writable by all but the ones in readOnly.
    void setModes(const std::vector<int>& readOnly);
    // Takes the node and its HID device away, as an unplug does.
    void remove(int number);

    static void writeFile(const std::filesystem::path& path, const std::string& content);

  private:
    void addNode(int number, const std::filesystem::path& hidDevice, const std::string& uevent,
                 const std::vector<std::uint8_t>& descriptor);

    std::filesystem::path root_;
    std::vector<std::pair<int, std::filesystem::path>> devices_;
    // The kernel numbers HID devices in the order they appear, never twice.
    unsigned sequence_ = 0;
};

// A descriptor of one unnumbered vendor-page input and feature report of
// 64 data bytes each: lengths 65 and 65.
std::vector<std::uint8_t> generatorDescriptorBytes();

}  // namespace tpg::test
