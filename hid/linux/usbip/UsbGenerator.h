// The generator as a USB device: its descriptors, its answers to the control
// requests on endpoint 0 (standard GET_DESCRIPTOR and SET_CONFIGURATION, the
// HID class's SET_IDLE, GET_REPORT and SET_REPORT) and the input report of
// its interrupt-IN endpoint, acting on feature reports with the same
// generator model as the simulated bench and the uhid generator. It records
// every control request it receives, and can be told to stall or delay a
// GET_REPORT, as a faulty or slow instrument would. No transport here: a
// USB/IP server (UsbipServer) carries the requests; every call is safe from
// any thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "hid/linux/usbip/UsbDescriptors.h"
#include "hid/linux/usbip/UsbipWire.h"
#include "hid/sim/GeneratorModel.h"

namespace tpg::hid::usbip {

struct UsbGeneratorSpec {
    std::uint16_t vendorId = 0x6C3A;
    std::uint16_t productId = 0x4E19;
    std::uint16_t bcdDevice = 0x0103;  // shown as version 1.03
    std::string manufacturer = "Trelvix";
    std::string product = "Trelvix Pulse Generator";
    std::string serialNumber;
    // When not empty, the serial number's string descriptor holds exactly
    // these UTF-16 code units (up to 126), well-formed or not, in place of
    // serialNumber: for a device that breaks the rules.
    std::u16string serialUnits;
    // Report lengths as the capability query gives them: report ID byte
    // included, though the reports are unnumbered and travel without it.
    std::uint16_t inputReportByteLength = 65;
    std::uint16_t featureReportByteLength = 65;
    protocol::DeviceState state = sim::GeneratorModel::factoryState();
    std::uint8_t intervalMs = 10;  // the interrupt-IN endpoint's polling interval
};

// One control request as the device received it: the setup packet and, for
// a host-to-device request, the data stage.
struct ControlRequest {
    std::array<std::uint8_t, 8> setup{};
    std::vector<std::uint8_t> data;
    bool operator==(const ControlRequest&) const = default;
};

// What a GET_REPORT of the feature report gets.
struct GetReportAnswer {
    enum class Kind { Normal, Stall, Delay };
    Kind kind = Kind::Normal;
    std::chrono::milliseconds delay{0};  // for Delay: the answer comes this much later
};

// The answer to a control request: status 0 or a negative errno (-EPIPE is
// a stall), the data stage of a device-to-host request, and how long the
// device takes before it answers.
struct ControlReply {
    std::int32_t status = 0;
    std::vector<std::uint8_t> data;
    std::chrono::milliseconds delay{0};
};

// HID class requests.
inline constexpr std::uint8_t kHidGetReport = 0x01;
inline constexpr std::uint8_t kHidGetIdle = 0x02;
inline constexpr std::uint8_t kHidSetReport = 0x09;
inline constexpr std::uint8_t kHidSetIdle = 0x0A;
inline constexpr std::uint8_t kReportTypeInput = 1;
inline constexpr std::uint8_t kReportTypeFeature = 3;

class UsbGenerator {
  public:
    explicit UsbGenerator(UsbGeneratorSpec spec);

    const UsbGeneratorSpec& spec() const { return spec_; }
    const std::vector<std::uint8_t>& reportDescriptor() const { return reportDescriptor_; }

    // Answers one control request on endpoint 0 and records it.
    ControlReply control(const SetupPacket& setup, std::span<const std::uint8_t> data);

    // The next report of the interrupt-IN endpoint: the current state report
    // without its report ID byte, at the input report's length; empty for a
    // device without input report.
    std::vector<std::uint8_t> inputReport() const;
    std::chrono::milliseconds interval() const {
        return std::chrono::milliseconds(spec_.intervalMs);
    }

    void setGetReportAnswer(const GetReportAnswer& answer);
    // Hands over every control request received since the last call, in order.
    std::vector<ControlRequest> takeRequests();
    protocol::DeviceState state() const;
    void setState(const protocol::DeviceState& state);
    std::uint8_t configuration() const;
    // GET_REPORTs of the feature report answered (stalled ones included).
    int featureReportReads() const;

  private:
    ControlReply standardRequest(const SetupPacket& setup);
    ControlReply classRequest(const SetupPacket& setup, std::span<const std::uint8_t> data);
    ControlReply descriptor(std::uint8_t type, std::uint8_t index) const;
    std::vector<std::uint8_t> inputReportLocked() const;

    UsbGeneratorSpec spec_;
    std::vector<std::uint8_t> reportDescriptor_;
    mutable std::mutex mutex_;
    sim::GeneratorModel model_;
    std::vector<ControlRequest> requests_;
    GetReportAnswer getReportAnswer_;
    std::uint8_t configuration_ = 0;
    std::uint8_t idle_ = 0;
    int featureReads_ = 0;
};

}  // namespace tpg::hid::usbip
