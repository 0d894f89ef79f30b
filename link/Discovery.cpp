// Finding and opening the generator: the interface walk, FindTheHid and the
// two preparations that follow a match.
#include <array>
#include <vector>

#include "link/DescriptorString.h"
#include "link/DeviceLink.h"

namespace tpg::link {

void DeviceLink::WalkHidInterfaces(const GeneratorAction& action, const std::function<bool()>& stop,
                                   const RefusedAction& refused) {
    state_.securityAttributes = hid::SecurityAttributes{};

    std::vector<std::string> paths;
    state_.lastResult = platform_.listInterfaces(paths);

    // Room for twice what a query may write, so a text is always terminated.
    std::array<std::uint8_t, 2 * hid::kStringQueryBytes + 1> stringBuffer{};

    for (const std::string& path : paths) {
        const hid::Handle probe =
            platform_.open(path, hid::OpenMode::Plain, state_.securityAttributes);
        state_.lastResult = static_cast<hid::Result>(probe);

        bool isGenerator = false;
        if (hid::isOpen(probe)) {
            state_.attributes.size = 12;
            state_.lastResult = platform_.getAttributes(probe, state_.attributes);
            isGenerator = state_.lastResult != 0 &&
                          state_.attributes.vendorId == kGeneratorVendorId &&
                          state_.attributes.productId == kGeneratorProductId;
        } else if (refused) {
            hid::Refusal refusal;
            if (platform_.explainRefusal(path, refusal) != 0 &&
                refusal.vendorId == kGeneratorVendorId &&
                refusal.productId == kGeneratorProductId) {
                refused(path, refusal.accessDenied);
            }
        }
        bool serialRead = false;
        if (isGenerator) {
            stringBuffer.fill(0);
            state_.lastResult =
                platform_.getString(probe, hid::StringKind::SerialNumber, stringBuffer);
            serialRead = state_.lastResult != 0;
        }
        if (serialRead) {
            action(probe, path, DescriptorStringToText(stringBuffer));
        } else if (hid::isOpen(probe)) {
            state_.lastResult = platform_.close(probe);
        }
        if (stop && stop()) {
            break;
        }
    }
}

bool DeviceLink::FindTheHid() {
    state_.deviceAttached = false;
    std::string matchedPath;

    WalkHidInterfaces(
        [&](hid::Handle probe, const std::string& path, const std::string& serial) {
            // An exact comparison: same length, same characters, case and
            // blanks counting.
            if (host_.serialList().text() == serial) {
                state_.deviceAttached = true;
                state_.deviceHandle = probe;
                matchedPath = path;
            } else {
                state_.lastResult = platform_.close(probe);
            }
        },
        [&] { return state_.deviceAttached; });

    if (!state_.deviceAttached) {
        return false;
    }
    ReadHidCapabilities();
    if (state_.lastResult == 0) {
        // Without this generator's report lengths it cannot be driven: the
        // last generator's lengths would be wrong for it. Its discovery has
        // failed; the next tick of the monitor tries again.
        state_.deviceAttached = false;
        closeDevice();
        return false;
    }
    state_.readHandle =
        platform_.open(matchedPath, hid::OpenMode::Overlapped, state_.securityAttributes);
    state_.lastResult = static_cast<hid::Result>(state_.readHandle);
    CreateReadEvent();
    return true;
}

void DeviceLink::ReadHidCapabilities() {
    // On failure the capabilities keep what they held.
    state_.lastResult = platform_.getCapabilities(state_.deviceHandle, state_.capabilities);
}

void DeviceLink::CreateReadEvent() {
    if (!hid::isOpen(state_.readEvent)) {
        state_.readEvent = platform_.createEvent(state_.securityAttributes);
        state_.lastResult = static_cast<hid::Result>(state_.readEvent);
    }
    state_.readOverlapped.offset = 0;
    state_.readOverlapped.offsetHigh = 0;
    state_.readOverlapped.event = state_.readEvent;
}

void DeviceLink::closeDevice() {
    if (hid::isOpen(state_.deviceHandle)) {
        state_.lastResult = platform_.close(state_.deviceHandle);
    }
    state_.deviceHandle = hid::kNoHandle;
    if (hid::isOpen(state_.readHandle)) {
        state_.lastResult = platform_.close(state_.readHandle);
    }
    state_.readHandle = hid::kNoHandle;
}

}  // namespace tpg::link
