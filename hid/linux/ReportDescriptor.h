// Report lengths from a HID report descriptor.
//
// The lengths are the ones the Windows capability query reports: for input,
// output and feature reports, the longest report of that kind in bytes (the
// bits of its main items summed per report ID and rounded up to whole bytes)
// plus one byte for the report ID, which is counted also when the device
// numbers none of its reports. A kind with no report at all has length 0.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "hid/HidPlatform.h"

namespace tpg::hid::hidraw {

// Parses the whole short-item grammar: main, global and local items of 0, 1,
// 2 or 4 data bytes, Push and Pop of the global state, report ID changes and
// long items (skipped). Returns nothing for a malformed descriptor: an item
// that runs past the end, a reserved item type, a Pop with nothing pushed, a
// report ID of 0, unbalanced collections, or a report longer than a 16-bit
// length can say. Nothing past the end of the descriptor is ever read.
std::optional<Capabilities> reportLengths(std::span<const std::uint8_t> descriptor);

}  // namespace tpg::hid::hidraw
