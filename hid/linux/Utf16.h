// Handing a string to the core the way the Windows string queries write it.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace tpg::hid::hidraw {

// Writes text (UTF-8) into buffer as UTF-16LE: as many whole characters as
// fit, followed by one zero code unit when there is room for it. A character
// outside the Basic Multilingual Plane becomes a surrogate pair and is never
// split; a malformed UTF-8 sequence (a stray continuation byte, a truncated
// or overlong sequence, an encoded surrogate, a value above U+10FFFF)
// becomes U+FFFD. Bytes of buffer after the terminator are left as they
// were. Returns the number of code units written, terminator excluded.
std::size_t writeUtf16le(std::string_view text, std::span<std::uint8_t> buffer);

}  // namespace tpg::hid::hidraw
