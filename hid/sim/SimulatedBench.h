// A bench of simulated HID devices behind the platform seam: generators that
// act on the feature reports they receive, and foreign HID devices that the
// tool must leave alone. Tests and the demo plug and unplug devices at any
// moment, make platform calls fail, and read back everything that was sent.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "hid/HidPlatform.h"
#include "hid/sim/GeneratorModel.h"

namespace tpg::hid::sim {

inline constexpr std::uint16_t kGeneratorVendorId = 0x6C3A;
inline constexpr std::uint16_t kGeneratorProductId = 0x4E19;

// The platform calls, for fault injection and call counting.
enum class Op {
    ListInterfaces,
    Open,
    GetAttributes,
    GetString,
    GetCapabilities,
    SetFeature,
    GetFeature,
    CreateEvent,
    ReadInputReport,
    Close,
};
inline constexpr int kOpCount = 10;
const char* opName(Op op);

struct DeviceSpec {
    std::string path;
    Attributes attributes;
    std::u16string manufacturer;
    std::u16string product;
    std::u16string serialNumber;
    Capabilities capabilities;
    // Present for a device that behaves as a generator: it answers feature
    // reports. Foreign devices fail every feature report.
    std::optional<GeneratorModel> generator;
    // An input report is waiting at every probe; when false, never.
    bool inputReportWaiting = true;
    // False for a device that refuses to be opened for reading and writing.
    bool openable = true;
    // False for a device without a manufacturer string (a USB device may
    // have none): its query fails.
    bool hasManufacturer = true;
};

// A generator as shipped: version 0x0103, 65-byte input and feature reports.
DeviceSpec generatorSpec(const std::string& path, const std::u16string& serial,
                         const protocol::DeviceState& state = GeneratorModel::factoryState());

// Some other HID device (a keyboard, a mouse, a UPS, ...).
DeviceSpec foreignSpec(const std::string& path, std::uint16_t vendorId, std::uint16_t productId);

struct SentReport {
    std::string path;
    std::vector<std::uint8_t> bytes;
};

class SimulatedBench : public HidPlatform {
  public:
    SimulatedBench() = default;
    SimulatedBench(const SimulatedBench&) = delete;
    SimulatedBench& operator=(const SimulatedBench&) = delete;
    ~SimulatedBench() override = default;

    // --- the bench, for tests and the demo ---

    // Attaches a device at the end of the enumeration order. A path that is
    // already plugged is replaced (its old handles go stale).
    void plug(DeviceSpec config);
    // Detaches a device. Handles open on it stay open but every call through
    // them fails, as with a device pulled from the port.
    void unplug(const std::string& path);
    bool isPlugged(const std::string& path) const;
    // The plugged device at path, or nullptr.
    DeviceSpec* device(const std::string& path);
    // The generator model of the plugged device at path, or nullptr.
    GeneratorModel* generator(const std::string& path);

    // Makes the next call of op fail (once), or every call of it (always).
    // With a path, only calls that concern that device count.
    void failOnce(Op op, const std::string& path = {});
    void failAlways(Op op, const std::string& path = {});
    // Makes the n-th platform call from now fail (1: the next one), whatever
    // it is: for sweeping a scenario with one fault at every step.
    void failNthCall(long n) { failAtCall_ = totalCalls_ + n; }
    void clearFaults();
    // Platform calls made since the bench was created.
    long totalCalls() const { return totalCalls_; }

    // Every feature report that reached a generator, in order.
    const std::vector<SentReport>& sentReports() const { return sent_; }
    void clearSentReports() { sent_.clear(); }

    // Handles not yet closed: those on path, all device handles, events.
    int openHandles(const std::string& path) const;
    int openDeviceHandles() const;
    int openEvents() const;
    // The path of the device a handle was opened on, while that device is
    // still plugged (the same plugging, not a later one at the same path);
    // nothing for a stale, closed or unknown handle and for an event.
    std::optional<std::string> livePath(Handle handle) const;

    // How many times op was called for path (empty: for any device).
    int callCount(Op op, const std::string& path = {}) const;
    void clearCallCounts() { calls_.clear(); }

    // --- HidPlatform ---
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
    // A plugged device's IDs; access is denied when it is not openable.
    Result explainRefusal(const std::string& path, Refusal& refusal) override;

  private:
    struct Plugged {
        DeviceSpec config;
        std::uint64_t generation;
    };
    struct OpenHandle {
        std::string path;  // empty for an event
        std::uint64_t generation;
        OpenMode mode;
    };
    struct Fault {
        Op op;
        std::string path;
        bool always;
    };

    // Counts the call and tells whether an injected fault makes it fail.
    bool injectedFailure(Op op, const std::string& path);
    // The live device behind a handle, or nullptr when the handle is closed,
    // unknown or its device was unplugged.
    Plugged* live(Handle handle);
    const Plugged* live(Handle handle) const;
    const std::string& pathOf(Handle handle) const;

    std::vector<Plugged> devices_;  // in enumeration order
    std::map<Handle, OpenHandle> handles_;
    std::vector<Fault> faults_;
    std::map<std::pair<Op, std::string>, int> calls_;
    std::vector<SentReport> sent_;
    long totalCalls_ = 0;
    long failAtCall_ = 0;
    Handle nextHandle_ = 0x100;
    std::uint64_t nextGeneration_ = 1;
};

}  // namespace tpg::hid::sim
