// Attaching a device to the kernel's USB/IP virtual host controller
// (vhci-hcd): the device side keeps one end of a loopback TCP connection,
// the controller gets the other through its sysfs attach file, and the
// device appears on a root-hub port as if plugged in. Writing the port to
// the detach file is a USB disconnect.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tpg::hid::usbip {

inline constexpr const char* kVhciDirectory = "/sys/devices/platform/vhci_hcd.0";
inline constexpr unsigned kSpeedFull = 2;

// One line of the controller's status file.
struct VhciPortStatus {
    bool highSpeedHub = false;  // "hs": ports for low, full and high speed
    unsigned port = 0;
    unsigned status = 0;  // 4: free
};
inline constexpr unsigned kVhciPortFree = 4;

// The lines of a status file's text; lines that do not parse are left out.
std::vector<VhciPortStatus> parseVhciStatus(const std::string& text);

struct VhciAttachment {
    unsigned port = 0;
    int socket = -1;  // the device side's end of the connection
};

// Attaches a full-speed device at the first free port of the controller's
// USB 2 hub. Nothing, and the reason in error, when the controller is not
// there, no port is free or the attach is refused.
std::optional<VhciAttachment> attachFullSpeed(std::uint32_t devid, std::string& error,
                                              const std::string& vhciDirectory = kVhciDirectory);

// Disconnects the device at port.
bool detach(unsigned port, std::string& error, const std::string& vhciDirectory = kVhciDirectory);

}  // namespace tpg::hid::usbip
