// The descriptors of a full-speed USB device with one HID interface and one
// interrupt-IN endpoint, as GET_DESCRIPTOR answers them. Pure byte work.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace tpg::hid::usbip {

inline constexpr std::uint8_t kDescriptorDevice = 0x01;
inline constexpr std::uint8_t kDescriptorConfiguration = 0x02;
inline constexpr std::uint8_t kDescriptorString = 0x03;
inline constexpr std::uint8_t kDescriptorHid = 0x21;
inline constexpr std::uint8_t kDescriptorReport = 0x22;

// String indexes of the device descriptor; 0 is the language list.
inline constexpr std::uint8_t kStringManufacturer = 1;
inline constexpr std::uint8_t kStringProduct = 2;
inline constexpr std::uint8_t kStringSerialNumber = 3;
inline constexpr std::uint16_t kLanguageEnglishUs = 0x0409;

inline constexpr std::uint8_t kInterruptInEndpoint = 0x81;
inline constexpr std::uint16_t kMaxPacketSize = 64;  // the most a full-speed device may use

struct DeviceIdentity {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t bcdDevice = 0;
};

// The 18-byte device descriptor: USB 2.0, class given by the interface,
// 64-byte control endpoint, one configuration, strings 1 to 3.
std::vector<std::uint8_t> deviceDescriptor(const DeviceIdentity& identity);

// The 9-byte HID class descriptor naming one report descriptor.
std::vector<std::uint8_t> hidDescriptor(std::uint16_t reportDescriptorLength);

// Configuration 1 with everything below it (34 bytes): the configuration,
// interface 0 of class HID (no boot subclass), the HID descriptor and the
// interrupt-IN endpoint 0x81 polled every intervalMs frames of 1 ms.
std::vector<std::uint8_t> configurationDescriptor(std::uint16_t reportDescriptorLength,
                                                  std::uint16_t inputPacketSize,
                                                  std::uint8_t intervalMs);

// String descriptor 0: the one language the device speaks (US English).
std::vector<std::uint8_t> languageDescriptor();

// A string descriptor holding text (UTF-8) as UTF-16LE; text longer than a
// descriptor can hold (126 code units) is cut at a whole character.
std::vector<std::uint8_t> stringDescriptor(std::string_view text);
// A string descriptor holding these code units as they are, lone or
// reversed surrogates included; units past the 126th are left out.
std::vector<std::uint8_t> stringDescriptor(std::u16string_view units);

}  // namespace tpg::hid::usbip
