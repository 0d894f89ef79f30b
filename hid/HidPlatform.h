// The operating-system services through which the tool reaches a HID device.
//
// One interface, one backend per platform (Windows hid.dll/SetupAPI, Linux
// hidraw) plus the simulated bench. Every call returns the value that the
// caller stores in LinkState::lastResult: non-zero means success, as the
// Windows services report it. Calls that yield a handle return it; a failed
// open or event creation returns kNoHandle.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tpg::hid {

// An opaque platform handle. kNoHandle stands both for "never opened" and for
// "the open failed" (INVALID_HANDLE_VALUE on Windows, -1 from open(2)).
using Handle = std::intptr_t;
inline constexpr Handle kNoHandle = -1;

inline constexpr bool isOpen(Handle handle) {
    return handle != kNoHandle;
}

// The result of a platform call, as LinkState::lastResult receives it.
using Result = std::int32_t;

// Bytes offered to each string query; the queries write UTF-16LE text,
// zero-terminated when it is shorter than the buffer.
inline constexpr std::size_t kStringQueryBytes = 100;

enum class OpenMode {
    Plain,       // blocking I/O: capability query and feature reports
    Overlapped,  // non-blocking reads: the link probe and the two identity strings
};

enum class StringKind { Manufacturer, Product, SerialNumber };

// What every open and the event creation is given: a 12-byte record with no
// security descriptor and an inheritable handle. Backends that have no use
// for it ignore it.
struct SecurityAttributes {
    std::uint32_t length = 12;
    bool inheritHandle = true;
};

struct Attributes {
    std::uint32_t size = 12;  // set before each query
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t versionNumber = 0;
};

// The report lengths of the device, each including the report ID byte.
struct Capabilities {
    std::uint16_t inputReportByteLength = 0;
    std::uint16_t outputReportByteLength = 0;
    std::uint16_t featureReportByteLength = 0;
};

// The overlapped-read record of the probe: offsets 0 and the read event.
struct ReadOverlapped {
    std::uint32_t offset = 0;
    std::uint32_t offsetHigh = 0;
    Handle event = kNoHandle;
};

// What the system tells of an interface whose open failed, learnt without
// opening it.
struct Refusal {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    // The open was refused for want of access (EACCES on Linux,
    // ERROR_ACCESS_DENIED on Windows), not because the device was gone.
    bool accessDenied = false;
};

class HidPlatform {
  public:
    virtual ~HidPlatform() = default;

    // The paths of the present HID interfaces, in enumeration order. The
    // enumeration ends at the first index at which the platform reports no
    // interface; interfaces whose path cannot be read are left out.
    virtual Result listInterfaces(std::vector<std::string>& paths) = 0;

    // Opens a path for reading and writing, shared for reading and writing.
    virtual Handle open(const std::string& path, OpenMode mode,
                        const SecurityAttributes& security) = 0;

    virtual Result getAttributes(Handle handle, Attributes& attributes) = 0;

    // Writes the string into the first kStringQueryBytes bytes of buffer
    // (which must hold at least that many) as UTF-16LE.
    virtual Result getString(Handle handle, StringKind kind, std::span<std::uint8_t> buffer) = 0;

    // Fills capabilities from the device's report descriptor. On failure the
    // record is left as it was.
    virtual Result getCapabilities(Handle handle, Capabilities& capabilities) = 0;

    // Sends / reads a feature report; byte 0 of the buffer is the report ID.
    // setFeature transfers the whole buffer. getFeature returns the number of
    // bytes the device answered with, report ID included (at most the
    // buffer's size), and 0 on failure: a device may answer with fewer bytes
    // than asked for, and the bytes past its answer are not its data.
    virtual Result setFeature(Handle handle, std::span<const std::uint8_t> report) = 0;
    virtual Result getFeature(Handle handle, std::span<std::uint8_t> report) = 0;

    // A manual-reset event, created signalled, with no name.
    virtual Handle createEvent(const SecurityAttributes& security) = 0;

    // The link probe on a handle opened Overlapped: non-zero only when an
    // input report was read within the call. A read that cannot complete at
    // once is abandoned by the backend before the call returns or the handle
    // is closed, so the buffer is never written afterwards.
    virtual Result readInputReport(Handle readHandle, std::span<std::uint8_t> buffer,
                                   ReadOverlapped& overlapped) = 0;

    virtual Result close(Handle handle) = 0;

    // After an open of path failed: the interface's IDs as the system lists
    // them and whether access was denied, so that a generator the user may
    // not open can be told from a device skipped by design. Zero when the
    // platform cannot tell without opening the device, as by default.
    virtual Result explainRefusal(const std::string& /*path*/, Refusal& /*refusal*/) { return 0; }
};

}  // namespace tpg::hid
