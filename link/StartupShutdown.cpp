// The two sequences that bracket the program's life.
#include "link/DeviceLink.h"

namespace tpg::link {

void DeviceLink::Form_Load() {
    state_.stateLoaded = false;
    state_.switchingDevice = false;
    state_.uiReady = false;
    host_.showWindow();  // before any device work
    Scan_USB_devices();
    state_.deviceAttached = FindTheHid();
    host_.refreshDeviceState();
    host_.linkTimer().setEnabled(true);
}

void DeviceLink::Form_Unload() {
    host_.linkTimer().setEnabled(false);
    state_.uiReady = false;
    // Nothing is sent to the generator: it keeps its settings.
    closeDevice();
}

}  // namespace tpg::link
