// The serial-number list: rebuilding it from the attached generators, and
// switching to the generator the user picks.
#include "link/DeviceLink.h"

namespace tpg::link {

void DeviceLink::Scan_USB_devices() {
    state_.uiReady = false;
    SerialListControl& list = host_.serialList();
    list.clear();
    list.setEnabled(false);

    int index = -1;
    WalkHidInterfaces(
        [&](hid::Handle probe, const std::string& /*path*/, const std::string& serial) {
            ++index;
            list.addItem(index, serial);
            // Runs the list's handler, which does nothing while uiReady is false.
            list.setSelectedIndex(index);
            state_.lastResult = platform_.close(probe);
        },
        nullptr);

    if (index > 0) {
        list.setEnabled(true);
    }
}

void DeviceLink::SerNo_Click() {
    // The list's rebuild selects while nothing is open; those selections do
    // nothing. A user's pick switches once a generator is open, even when
    // its state could not be read.
    if (!state_.uiReady && !(state_.deviceAttached && state_.stateLoaded)) {
        return;
    }
    LinkTimer& timer = host_.linkTimer();
    timer.setEnabled(false);
    state_.switchingDevice = true;
    if (state_.deviceAttached) {
        state_.deviceAttached = false;
        closeDevice();
        timer.setInterval(kLinkLostInterval);
    }
    state_.stateLoaded = false;
    state_.deviceAttached = FindTheHid();
    if (state_.deviceAttached) {
        state_.switchingDevice = false;
    }
    host_.refreshDeviceState();
    timer.setEnabled(true);
}

}  // namespace tpg::link
