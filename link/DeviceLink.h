// The device link: finding and opening the generator, the serial-number list
// and device switching, the connection monitor, start-up and shutdown. All of
// it runs on the window's thread, on the window's LinkState.
#pragma once

#include <functional>
#include <span>
#include <string>

#include "hid/HidPlatform.h"
#include "link/LinkHost.h"
#include "link/LinkState.h"

namespace tpg::link {

inline constexpr std::uint16_t kGeneratorVendorId = 0x6C3A;
inline constexpr std::uint16_t kGeneratorProductId = 0x4E19;

// Timer intervals of the connection monitor, in milliseconds.
inline constexpr int kLinkAliveInterval = 500;
inline constexpr int kLinkLostInterval = 250;

class DeviceLink {
  public:
    DeviceLink(hid::HidPlatform& platform, LinkState& state, LinkHost& host)
        : platform_(platform), state_(state), host_(host) {}

    hid::HidPlatform& platform() { return platform_; }
    LinkState& state() { return state_; }

    // Runs the per-generator action on every present generator whose serial
    // number could be read, in enumeration order. The action owns the probe
    // handle: it keeps it open or closes it. The walk ends when stop() holds.
    using GeneratorAction = std::function<void(hid::Handle probeHandle, const std::string& path,
                                               const std::string& serial)>;
    // With refused, the walk also tells each generator whose interface could
    // not be opened (the platform knowing its IDs without opening it), and
    // whether access was denied. The window passes none and so skips such a
    // generator without a word.
    using RefusedAction = std::function<void(const std::string& path, bool accessDenied)>;
    void WalkHidInterfaces(const GeneratorAction& action, const std::function<bool()>& stop,
                           const RefusedAction& refused = nullptr);

    // Opens the generator whose serial number equals the list's text, plain
    // and overlapped; reads its capabilities and prepares the probe record.
    bool FindTheHid();
    void ReadHidCapabilities();
    void CreateReadEvent();

    // Rebuilds the serial-number list; the last generator listed is selected.
    void Scan_USB_devices();
    // The list's selection handler: switches to the generator picked.
    void SerNo_Click();

    // One step of the connection monitor, run on every timer tick.
    void CheckConnection();
    void Timer_Timer() { CheckConnection(); }

    void Form_Load();
    void Form_Unload();

    // Closes both device handles (deviceHandle first) when they are open.
    void closeDevice();

  private:
    hid::HidPlatform& platform_;
    LinkState& state_;
    LinkHost& host_;
};

}  // namespace tpg::link
