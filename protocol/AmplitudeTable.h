// The 511 amplitude steps of the generator, shown in millivolts.
#pragma once

#include <string>

namespace tpg::protocol {

inline constexpr int kAmplitudeSteps = 511;

// The text of amplitude step index (0 to 510): floor(((index + 16) * 0.247) *
// 12.5 + 0.5), each step rounded to double precision, as plain digits.
std::string amplitudeText(int index);

}  // namespace tpg::protocol
