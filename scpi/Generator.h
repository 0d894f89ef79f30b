// What the SCPI instrument needs of a generator, and nothing more: its
// identity, its state report, one setting at a time and whether it is
// open. The server's link implements it over the HID platform; tests and
// the fuzz target over the simulated bench or a plain recorder. Every call
// says how it failed, so that the instrument can queue the right SCPI error.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "protocol/FeatureReports.h"
#include "settings/Defaults.h"

namespace tpg::scpi {

// Why a generator call did not happen or did not succeed.
struct Fault {
    // True when no generator is open (SCPI error -241 "Hardware missing");
    // false when a platform call failed (-240 "Hardware error;" + text).
    bool missing = false;
    // The failed operation and the system's error text, e.g.
    // "HidD_GetFeature: Broken pipe"; empty when missing. For a lock, who
    // holds it.
    std::string text;
    // True when the setting was refused because another client holds the
    // generator's lock (-203 "Command protected;" + text): nothing was sent.
    bool locked = false;
};

// The four fields of *IDN?, as the generator gives them (the instrument
// replaces commas). A string the generator does not give is empty.
struct Identity {
    std::string maker;
    std::string product;
    std::string serial;
    std::uint16_t versionNumber = 0;  // shown as settings::versionText
};

// The four fields as *IDN? answers them: a comma or a control character
// in a string becomes a space, a missing serial number "0", the version its
// text.
struct IdnFields {
    std::string maker;
    std::string product;
    std::string serial;
    std::string version;
};
IdnFields idnFields(const Identity& identity);

class Generator {
  public:
    virtual ~Generator() = default;

    // The identity of the generator served now.
    virtual std::optional<Fault> identity(Identity& out) = 0;

    // Reads the state report: the settings the generator holds now.
    virtual std::optional<Fault> readState(protocol::DeviceState& out) = 0;

    // Sends one setting as one feature report.
    virtual std::optional<Fault> send(const settings::SettingReport& report) = 0;

    // Whether a generator is open now, so that a call would not fail as
    // missing; asks nothing of the generator.
    virtual bool isOpen() const = 0;
};

}  // namespace tpg::scpi
