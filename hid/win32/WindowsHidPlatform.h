// The platform seam over the Windows services: SetupAPI lists the present HID
// interfaces, kernel32 opens them and reads input reports, hid.dll answers
// the attribute, string, capability and feature-report queries.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <utility>

#include "hid/HidPlatform.h"

namespace tpg::hid::win32 {

// The record sizes handed to SetupAPI, as the headers of this build's word
// size define them: the interface record's cbSize and the fixed part of the
// interface detail record (cbSize before DevicePath).
std::uint32_t interfaceRecordSize();
std::uint32_t detailRecordSize();

// The vendor and product IDs that a HID interface path names ("vid_6c3a",
// "pid_4e19", any case), or nothing when it names none.
std::optional<std::pair<std::uint16_t, std::uint16_t>> idsOfInterfacePath(const std::string& path);

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
    // The IDs come from the interface path; access was denied when the last
    // CreateFile on it failed with ERROR_ACCESS_DENIED.
    Result explainRefusal(const std::string& path, Refusal& refusal) override;

    // The handles this platform opened (devices and events) that have not
    // been closed yet: what a leak check compares before and after.
    std::size_t openHandleCount() const { return open_.size(); }
    // Reads that did not complete at once and were cancelled and awaited.
    int cancelledReads() const { return cancelledReads_; }

  private:
    std::set<Handle> open_;
    // Paths whose last open was refused for want of access.
    std::set<std::string> denied_;
    int cancelledReads_ = 0;
};

}  // namespace tpg::hid::win32
