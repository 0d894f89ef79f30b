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

// One line per generator: serial, maker, product, version, path, separated
// by tabs.
std::string listText(const std::vector<GeneratorIdentity>& generators);
JsonValue listJson(const std::vector<GeneratorIdentity>& generators);

// The identity as NAME=VALUE lines, then the settings with the range rule
// applied, each marked when the device's own value was out of range.
std::string showText(const GeneratorIdentity& identity, const protocol::DeviceState& device);
JsonValue showJson(const GeneratorIdentity& identity, const protocol::DeviceState& device);

}  // namespace tpg::cli
