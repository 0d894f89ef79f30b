// Runs inside a virtual machine on a real Linux kernel: the tool's window
// (headless controls) over the real hidraw layer, first over uhid
// generators (with a soak of plugging and unplugging, and devices that
// break the rules), then over USB generators that usbhid drives through the
// USB/IP virtual host controller. Prints one line per check, the blocking
// figures, and a closing "RESULT" line; exits non-zero when a check failed.
#include <unistd.h>

#include <iostream>

#include "GuestGenerators.h"

int main() {
    using namespace tpg::guest;
    const auto start = std::chrono::steady_clock::now();
    if (::access("/dev/uhid", R_OK | W_OK) != 0) {
        check(false, "/dev/uhid is there");
    } else {
        runSharedScenario(uhidKind());
        runUhidScenario();
        runKernelSoak();
        runHostileDevices();
    }
    if (::access("/sys/devices/platform/vhci_hcd.0/attach", W_OK) != 0) {
        check(false, "the USB/IP virtual host controller is there");
    } else {
        runSharedScenario(usbKind());
        runUsbScenario();
        runHostileUsbDevices();
    }
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    std::cout << "scenario took " << ms << " ms" << std::endl;
    std::cout << "RESULT: " << passedChecks() << " passed, " << failedChecks() << " failed"
              << std::endl;
    return failedChecks() == 0 && passedChecks() > 0 ? 0 : 1;
}
