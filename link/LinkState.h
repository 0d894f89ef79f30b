// The record through which every procedure of the window reaches the
// generator: the two device handles, the device's capabilities and
// attributes, the overlapped read record and the four link flags.
#pragma once

#include <cstdint>

#include "hid/HidPlatform.h"

namespace tpg::link {

struct LinkState {
    hid::Handle deviceHandle = hid::kNoHandle;  // plain I/O: capabilities, feature reports
    hid::Handle readHandle = hid::kNoHandle;    // overlapped: probe, identity strings
    hid::Handle readEvent = hid::kNoHandle;     // created once, kept for the run
    hid::ReadOverlapped readOverlapped;
    hid::Capabilities capabilities;
    hid::Attributes attributes;
    hid::SecurityAttributes securityAttributes;

    // A generator with the selected serial number is open (both handles).
    bool deviceAttached = false;
    // A read-back with a device attached has ended; setting handlers may send.
    bool stateLoaded = false;
    // The window was filled from a device's state report; user events may act.
    bool uiReady = false;
    // A device change picked in the list has not yet ended with an open device.
    bool switchingDevice = false;
    // The last read-back read the state report of the device open now. Every
    // open is followed by a read-back, so this is false from an open until a
    // read succeeds; the monitor reads back again while it is false.
    bool stateRead = false;

    // Result of the most recent platform call.
    hid::Result lastResult = 0;
};

}  // namespace tpg::link
