// The platform seam over the Windows services: SetupAPI lists the present HID
// interfaces, kernel32 opens them and reads input reports, hid.dll answers
// the attribute, string, capability and feature-report queries.
#pragma once

#include <set>

#include "hid/HidPlatform.h"

namespace tpg::hid::win32 {

// The record sizes handed to SetupAPI, as the headers of this build's word
// size define them: the interface record's cbSize and the fixed part of the
// interface detail record (cbSize before DevicePath).
std::uint32_t interfaceRecordSize();
std::uint32_t detailRecordSize();

class WindowsHidPlatform : public HidPlatform {
  public:
    WindowsHidPlatform() = default;
    WindowsHidPlatform(const WindowsHidPlatform&) = delete;
    WindowsHidPlatform& operator=(const WindowsHidPlatform&) = delete;
    ~WindowsHidPlatform() override = default;

    Result listInterfaces(std::vector<std::string>& paths) override;
    Handle open(const std::string& path, OpenMode mode,
                const SecurityAttributes& security) override;
    Result getAttributes(Handle handle, Attributes& attributes) override;
    Result getString(Handle handle, StringKind kind, std::span<std::uint8_t> buffer) override;
    Result getCapabilities(Handle handle, Capabilities& capabilities) override;
    Result setFeature(Handle handle, std::span<const std::uint8_t> report) override;
    Result getFeature(Handle handle, std::span<std::uint8_t> report) override;
    Handle createEvent(const SecurityAttributes& security) override;
    Result readInputReport(Handle readHandle, std::span<std::uint8_t> buffer,
                           ReadOverlapped& overlapped) override;
    Result close(Handle handle) override;

    // The handles this platform opened (devices and events) that have not
    // been closed yet: what a leak check compares before and after.
    std::size_t openHandleCount() const { return open_.size(); }
    // Reads that did not complete at once and were cancelled and awaited.
    int cancelledReads() const { return cancelledReads_; }

  private:
    std::set<Handle> open_;
    int cancelledReads_ = 0;
};

}  // namespace tpg::hid::win32
