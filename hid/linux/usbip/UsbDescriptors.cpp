#include "hid/linux/usbip/UsbDescriptors.h"

#include <algorithm>
#include <array>

#include "hid/linux/Utf16.h"

namespace tpg::hid::usbip {

namespace {

constexpr std::size_t kMaxStringUnits = 126;  // bLength is one byte: 2 + 2 * 126 = 254

constexpr std::uint8_t low(std::uint16_t value) {
    return static_cast<std::uint8_t>(value & 0xFFU);
}
constexpr std::uint8_t high(std::uint16_t value) {
    return static_cast<std::uint8_t>(value >> 8);
}

}  // namespace

std::vector<std::uint8_t> deviceDescriptor(const DeviceIdentity& identity) {
    return {18,
            kDescriptorDevice,
            0x00,  // bcdUSB 2.00
            0x02,
            0,  // class, subclass, protocol: given by the interface
            0,
            0,
            64,  // bMaxPacketSize0
            low(identity.vendorId),
            high(identity.vendorId),
            low(identity.productId),
            high(identity.productId),
            low(identity.bcdDevice),
            high(identity.bcdDevice),
            kStringManufacturer,
            kStringProduct,
            kStringSerialNumber,
            1};  // one configuration
}

std::vector<std::uint8_t> hidDescriptor(std::uint16_t reportDescriptorLength) {
    return {9,
            kDescriptorHid,
            0x11,  // bcdHID 1.11
            0x01,
            0,  // no country
            1,  // one class descriptor follows
            kDescriptorReport,
            low(reportDescriptorLength),
            high(reportDescriptorLength)};
}

std::vector<std::uint8_t> configurationDescriptor(std::uint16_t reportDescriptorLength,
                                                  std::uint16_t inputPacketSize,
                                                  std::uint8_t intervalMs) {
    constexpr std::uint16_t kTotal = 9 + 9 + 9 + 7;
    return {// Configuration 1: one interface, no string, bus powered, 100 mA.
            9, kDescriptorConfiguration, low(kTotal), high(kTotal), 1, 1, 0, 0x80, 50,
            // Interface 0, no alternate setting, one endpoint, HID, no boot subclass.
            9, 0x04, 0, 0, 1, 0x03, 0, 0, 0,
            // The HID descriptor.
            9, kDescriptorHid, 0x11, 0x01, 0, 1, kDescriptorReport, low(reportDescriptorLength),
            high(reportDescriptorLength),
            // Endpoint 0x81, interrupt.
            7, 0x05, kInterruptInEndpoint, 0x03, low(inputPacketSize), high(inputPacketSize),
            intervalMs};
}

std::vector<std::uint8_t> languageDescriptor() {
    return {4, kDescriptorString, low(kLanguageEnglishUs), high(kLanguageEnglishUs)};
}

std::vector<std::uint8_t> stringDescriptor(std::string_view text) {
    std::array<std::uint8_t, 2 * kMaxStringUnits> units{};
    const std::size_t count = hidraw::writeUtf16le(text, units);
    std::vector<std::uint8_t> d(2 + 2 * count);
    d[0] = static_cast<std::uint8_t>(d.size());
    d[1] = kDescriptorString;
    std::copy_n(units.begin(), 2 * count, d.begin() + 2);
    return d;
}

std::vector<std::uint8_t> stringDescriptor(std::u16string_view units) {
    const std::size_t count = std::min(units.size(), kMaxStringUnits);
    std::vector<std::uint8_t> d(2 + 2 * count);
    d[0] = static_cast<std::uint8_t>(d.size());
    d[1] = kDescriptorString;
    for (std::size_t i = 0; i < count; ++i) {
        d[2 + 2 * i] = static_cast<std::uint8_t>(units[i] & 0xFFU);
        d[3 + 2 * i] = static_cast<std::uint8_t>(units[i] >> 8);
    }
    return d;
}

}  // namespace tpg::hid::usbip
