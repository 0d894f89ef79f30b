// Choosing an amplitude step by its figure in millivolts.
#pragma once

#include <optional>

namespace tpg::settings {

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
