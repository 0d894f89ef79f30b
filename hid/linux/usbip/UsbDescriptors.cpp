#include "hid/linux/usbip/UsbDescriptors.h"

#include <array>

#include "hid/linux/Utf16.h"

namespace tpg::hid::usbip {

namespace {

constexpr std::size_t kMaxStringUnits = 126;  // bLength is one byte: 2 + 2 * 126 = 254

void put16(std::vector<std::uint8_t>& d, std::uint16_t value) {
    d.push_back(static_cast<std::uint8_t>(value & 0xFFU));
    d.push_back(static_cast<std::uint8_t>(value >> 8));
}

}  // namespace

std::vector<std::uint8_t> deviceDescriptor(const DeviceIdentity& identity) {
    std::vector<std::uint8_t> d = {18, kDescriptorDevice};
    put16(d, 0x0200);              // bcdUSB
    d.insert(d.end(), {0, 0, 0});  // class, subclass, protocol: per interface
    d.push_back(64);               // bMaxPacketSize0
    put16(d, identity.vendorId);
    put16(d, identity.productId);
    put16(d, identity.bcdDevice);
    d.insert(d.end(), {kStringManufacturer, kStringProduct, kStringSerialNumber, 1});
    return d;
}

std::vector<std::uint8_t> hidDescriptor(std::uint16_t reportDescriptorLength) {
    std::vector<std::uint8_t> d = {9, kDescriptorHid};
    put16(d, 0x0111);  // bcdHID 1.11
    d.push_back(0);    // no country
    d.push_back(1);    // one class descriptor follows
    d.push_back(kDescriptorReport);
    put16(d, reportDescriptorLength);
    return d;
}

std::vector<std::uint8_t> configurationDescriptor(std::uint16_t reportDescriptorLength,
                                                  std::uint16_t inputPacketSize,
                                                  std::uint8_t intervalMs) {
    std::vector<std::uint8_t> d = {9,    kDescriptorConfiguration, 0, 0,
                                   1,     // one interface
                                   1,     // bConfigurationValue
                                   0,     // no string
                                   0x80,  // bus powered
                                   50};   // 100 mA
    // Interface 0, no alternate setting, one endpoint, HID, no boot subclass.
    d.insert(d.end(), {9, 0x04, 0, 0, 1, 0x03, 0, 0, 0});
    const auto hid = hidDescriptor(reportDescriptorLength);
    d.insert(d.end(), hid.begin(), hid.end());
    d.insert(d.end(), {7, 0x05, kInterruptInEndpoint, 0x03});  // interrupt
    put16(d, inputPacketSize);
    d.push_back(intervalMs);
    d[2] = static_cast<std::uint8_t>(d.size());  // wTotalLength
    d[3] = static_cast<std::uint8_t>(d.size() >> 8);
    return d;
}

std::vector<std::uint8_t> languageDescriptor() {
    std::vector<std::uint8_t> d = {4, kDescriptorString};
    put16(d, kLanguageEnglishUs);
    return d;
}

std::vector<std::uint8_t> stringDescriptor(std::string_view text) {
    std::array<std::uint8_t, 2 * kMaxStringUnits> units{};
    const std::size_t count = hidraw::writeUtf16le(text, units);
    std::vector<std::uint8_t> d = {static_cast<std::uint8_t>(2 + 2 * count), kDescriptorString};
    d.insert(d.end(), units.begin(), units.begin() + static_cast<std::ptrdiff_t>(2 * count));
    return d;
}

}  // namespace tpg::hid::usbip
