// What every TrelvixPulseGenerator device of the process works over: the HID
// platform (hidraw, or the demo's simulated bench with --simulate), its
// error texts and, when simulated, the demo's generators. Set once by main
// before Tango creates the devices.
#pragma once

#include <string>

#include "cli/SystemError.h"
#include "hid/HidPlatform.h"
#include "hid/sim/DemoBench.h"

namespace tpg::tango {

struct Backend {
    hid::HidPlatform* platform = nullptr;
    cli::SystemError* errors = nullptr;
    // The demo's generators with --simulate, else nullptr.
    hid::sim::DemoBench* simulated = nullptr;
    // The serial number a device without SerialNumber serves; empty: the
    // only generator present (with --simulate, the demo's first).
    std::string defaultSerial;
};

// The process's backend; main fills it in before the server starts.
Backend& backend();

}  // namespace tpg::tango
