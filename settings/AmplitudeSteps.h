// Choosing an amplitude step by its figure in millivolts.
#pragma once

#include <optional>
#include <string>

namespace tpg::settings {

// The highest step index; the lowest is 0.
inline constexpr int kHighestAmplitudeIndex = 510;

// Messages for an amplitude index that is not a whole number, and for one
// outside 0 to 510.
inline constexpr const char* kAmplitudeIndexNotWhole = "Enter amplitude index, a whole number";
inline constexpr const char* kAmplitudeIndexOutOfRange = "Amplitude index is between 0 and 510";

// The message for an amplitude outside the listed steps, with the first and
// the last step written: "Amplitude is between 49mV and 1624mV".
std::string amplitudeOutOfRangeMessage();

// The figure of step index (0 to 510) in millivolts, as the amplitude list
// shows it.
int amplitudeMillivolts(int index);

// The index of the listed step nearest to millivolts; of two steps equally
// near, the lower one. Nothing when millivolts lies below the first step
// (49) or above the last (1624).
std::optional<int> nearestAmplitudeIndex(double millivolts);

// The index of the step whose figure is exactly millivolts; nothing when no
// step shows that figure.
std::optional<int> exactAmplitudeIndex(double millivolts);

}  // namespace tpg::settings
