#include "SysfsFixture.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "hid/linux/uhid/VirtualGenerator.h"

namespace tpg::test {

namespace fs = std::filesystem;

namespace {
std::string hex(unsigned value, int width) {
    char text[16];
    std::snprintf(text, sizeof(text), "%0*X", width, value);
    return text;
}
}  // namespace

SysfsFixture::SysfsFixture() {
    std::string pattern = (fs::temp_directory_path() / "tpg-sysfs-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    root_ = pattern;
    fs::create_directories(root_ / "sys/class/hidraw");
    fs::create_directories(root_ / "dev");
}

SysfsFixture::~SysfsFixture() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
}

void SysfsFixture::writeFile(const fs::path& path, const std::string& content) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

void SysfsFixture::addNode(int number, const fs::path& hidDevice, const std::string& uevent,
                           const std::vector<std::uint8_t>& descriptor) {
    const std::string name = "hidraw" + std::to_string(number);
    writeFile(hidDevice / "uevent", uevent);
    writeFile(hidDevice / "report_descriptor", std::string(descriptor.begin(), descriptor.end()));
    const fs::path nodeDir = hidDevice / "hidraw" / name;
    fs::create_directories(nodeDir);
    // The links are relative, as the kernel makes them.
    fs::create_directory_symlink(fs::relative(hidDevice, nodeDir), nodeDir / "device");
    fs::create_directory_symlink(fs::relative(nodeDir, root_ / "sys/class/hidraw"),
                                 root_ / "sys/class/hidraw" / name);
    writeFile(root_ / "dev" / name, "");
    devices_.emplace_back(number, hidDevice);
}

void SysfsFixture::addUsb(int number, std::uint16_t vendorId, std::uint16_t productId,
                          const UsbStrings& strings, const std::vector<std::uint8_t>& descriptor) {
    const std::string port = "1-" + std::to_string(number + 1);
    const fs::path usbDevice = root_ / "sys/devices/pci0000:00/0000:00:14.0/usb1" / port;
    writeFile(usbDevice / "idVendor", hex(vendorId, 4) + "\n");
    writeFile(usbDevice / "idProduct", hex(productId, 4) + "\n");
    writeFile(usbDevice / "bcdDevice", strings.bcdDevice + "\n");
    if (strings.manufacturer) {
        writeFile(usbDevice / "manufacturer", *strings.manufacturer + "\n");
    }
    if (strings.product) {
        writeFile(usbDevice / "product", *strings.product + "\n");
    }
    if (strings.serial) {
        writeFile(usbDevice / "serial", *strings.serial + "\n");
    }
    const fs::path usbInterface = usbDevice / (port + ":1.0");
    writeFile(usbInterface / "bInterfaceNumber", "00\n");
    writeFile(usbInterface / "bInterfaceClass", "03\n");
    const std::string id = hex(vendorId, 4) + ":" + hex(productId, 4) + "." + hex(++sequence_, 4);
    const std::string uevent =
        "DRIVER=hid-generic\nHID_ID=0003:0000" + hex(vendorId, 4) + ":0000" + hex(productId, 4) +
        "\nHID_NAME=" + strings.manufacturer.value_or("") + " " + strings.product.value_or("") +
        "\nHID_PHYS=usb-0000:00:14.0-" + std::to_string(number + 1) +
        "/input0\nHID_UNIQ=" + strings.serial.value_or("") + "\nMODALIAS=hid:b0003g0001\n";
    addNode(number, usbInterface / ("0003:" + id), uevent, descriptor);
}

void SysfsFixture::addVirtual(int number, std::uint16_t vendorId, std::uint16_t productId,
                              const std::string& name, const std::string& uniq,
                              const std::vector<std::uint8_t>& descriptor) {
    const std::string id = hex(vendorId, 4) + ":" + hex(productId, 4) + "." + hex(++sequence_, 4);
    const fs::path hidDevice = root_ / "sys/devices/virtual/misc/uhid" / ("0003:" + id);
    const std::string uevent = "HID_ID=0003:0000" + hex(vendorId, 4) + ":0000" + hex(productId, 4) +
                               "\nHID_NAME=" + name + "\nHID_PHYS=virtual/" +
                               std::to_string(number) + "\nHID_UNIQ=" + uniq + "\n";
    addNode(number, hidDevice, uevent, descriptor);
}

void SysfsFixture::setModes(const std::vector<int>& readOnly) {
    using fs::perms;
    fs::permissions(root_, perms::owner_all | perms::group_read | perms::group_exec |
                               perms::others_read | perms::others_exec);
    for (const auto& entry : fs::recursive_directory_iterator(root_)) {
        if (entry.is_symlink()) {
            continue;
        }
        fs::permissions(entry.path(), entry.is_directory()
                                          ? perms::owner_all | perms::group_read |
                                                perms::group_exec | perms::others_read |
                                                perms::others_exec
                                          : perms::owner_read | perms::owner_write |
                                                perms::group_read | perms::others_read);
    }
    for (const auto& entry : fs::directory_iterator(root_ / "dev")) {
        fs::permissions(entry.path(), perms::owner_read | perms::owner_write | perms::group_read |
                                          perms::group_write | perms::others_read |
                                          perms::others_write);
    }
    for (const int number : readOnly) {
        fs::permissions(root_ / "dev" / ("hidraw" + std::to_string(number)),
                        perms::owner_read | perms::group_read | perms::others_read);
    }
}

void SysfsFixture::remove(int number) {
    const std::string name = "hidraw" + std::to_string(number);
    // Sysfs never gives a new entry the inode of an old one; a file system
    // may, so the class entry is moved aside and its inode stays taken.
    fs::create_directories(root_ / "removed");
    fs::rename(root_ / "sys/class/hidraw" / name,
               root_ / "removed" / (name + "." + std::to_string(++sequence_)));
    fs::remove(root_ / "dev" / name);
    for (const auto& [n, path] : devices_) {
        if (n == number) {
            fs::remove_all(path);
        }
    }
}

std::vector<std::uint8_t> generatorDescriptorBytes() {
    return hid::uhid::generatorDescriptor(65, 65);
}

}  // namespace tpg::test
