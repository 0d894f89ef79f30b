// A setup saved with 'show --json', read back for apply.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "settings/Defaults.h"

namespace tpg::cli {

// Reads the "settings" object of a saved setup and checks every value as
// set checks it. Returns the five settings in the order the defaults are
// applied (pulse frequency, amplitude, trigger/sync function, sync frequency,
// polarity), or nothing with the reason in error.
//
// The amplitude is taken from amplitude_index; amplitude_mv, when it stands
// beside it, must be that step's figure. Without amplitude_index,
// amplitude_mv is chosen as set chooses it (exact: only a listed step).
std::optional<std::vector<settings::SettingReport>> readSetup(const std::string& text, bool exact,
                                                              std::string& error);

}  // namespace tpg::cli
