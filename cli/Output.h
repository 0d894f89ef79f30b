// What list and show print: text, one line per item, or JSON with stable
// keys (documented in README).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/Json.h"
#include "protocol/FeatureReports.h"

namespace tpg::cli {

// A generator as list and show name it. A string the generator did not give
// is absent.
struct GeneratorIdentity {
    std::string path;
    std::string serial;
    std::optional<std::string> maker;
    std::optional<std::string> product;
    std::uint16_t versionNumber = 0;
};

// A generator the walk saw but could not open: its interface, the system's
// reason, and whether the open was refused for want of access.
struct RefusedGenerator {
    std::string path;
    std::string reason;
    bool accessDenied = false;
};

// The reason with the fix when access was denied:
// /dev/hidraw3: Permission denied: see README, "No root is needed"
std::string refusalText(const RefusedGenerator& refused);
// Each refusal on a line of its own, indented, after a line break.
std::string refusalLines(const std::vector<RefusedGenerator>& refused);

// One line per generator: serial, maker, product, version, path, separated
// by tabs.
std::string listText(const std::vector<GeneratorIdentity>& generators);
// The generators, then each one refused as an object with only "path" and
// "error" (the reason with the fix).
JsonValue listJson(const std::vector<GeneratorIdentity>& generators,
                   const std::vector<RefusedGenerator>& refused = {});

// The identity as NAME=VALUE lines, then the settings with the range rule
// applied, each marked when the device's own value was out of range.
std::string showText(const GeneratorIdentity& identity, const protocol::DeviceState& device);
JsonValue showJson(const GeneratorIdentity& identity, const protocol::DeviceState& device);

}  // namespace tpg::cli
