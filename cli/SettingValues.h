// One setting as the command line names it (NAME=VALUE), checked with the
// window's rules and turned into the report that carries it.
#pragma once

#include <optional>
#include <string>

#include "settings/Defaults.h"

namespace tpg::cli {

// The words for the two list settings, by index.
inline constexpr const char* kPolarityWords[2] = {"inverted", "normal"};
inline constexpr const char* kTriggerWords[2] = {"output", "sync"};

// Checks value for the setting name. freq and sync-freq follow the window's
// frequency entries: the same number grammar (with a point), bounds,
// messages and rounding. amplitude-mv picks the nearest listed step, or with
// exact only a step that shows exactly that figure. The report, or nothing
// with the message in error.
std::optional<settings::SettingReport> parseSetting(const std::string& name,
                                                    const std::string& value, bool exact,
                                                    std::string& error);

// Splits "NAME=VALUE" and checks it; the message begins with the argument.
std::optional<settings::SettingReport> parseAssignment(const std::string& argument, bool exact,
                                                       std::string& error);

}  // namespace tpg::cli
