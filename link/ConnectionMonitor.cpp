// The connection monitor: probes an open link on every timer tick and, with
// no link open, looks for a generator again.
#include <algorithm>
#include <vector>

#include "link/DeviceLink.h"

namespace tpg::link {
namespace {
constexpr std::size_t kProbeBufferBytes = 65;
}

void DeviceLink::CheckConnection() {
    if (state_.deviceAttached) {
        const std::size_t length = state_.capabilities.inputReportByteLength;
        std::vector<std::uint8_t> probeBuffer(std::max(kProbeBufferBytes, length), 0);
        state_.lastResult = platform_.readInputReport(
            state_.readHandle, std::span(probeBuffer).first(length), state_.readOverlapped);

        if (state_.lastResult != 0 && !state_.switchingDevice) {
            host_.linkTimer().setInterval(kLinkAliveInterval);
            if (!state_.stateRead) {
                // The state has not been read since the generator was opened
                // (the read failed): read the window back again, once a tick,
                // until a read succeeds.
                host_.refreshDeviceState();
            }
        } else {
            state_.deviceAttached = false;
            closeDevice();
            host_.linkTimer().setInterval(kLinkLostInterval);
            state_.stateLoaded = false;
        }
    }
    if (!state_.deviceAttached) {
        state_.stateLoaded = false;
        Scan_USB_devices();
        state_.deviceAttached = FindTheHid();
        if (state_.deviceAttached) {
            state_.switchingDevice = false;
        }
        host_.refreshDeviceState();
    }
}

}  // namespace tpg::link
