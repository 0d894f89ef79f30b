// Turning what a HID string query wrote into text.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace tpg::link {

// Decodes the UTF-16LE text of a string descriptor, as written into the first
// 100 bytes of buffer, to UTF-8. Surrogate pairs are joined; a lone surrogate
// becomes U+FFFD. Decoding stops at the first U+0000 and after 50 code units
// at the most, whatever lies beyond.
std::string DescriptorStringToText(std::span<const std::uint8_t> buffer);

}  // namespace tpg::link
