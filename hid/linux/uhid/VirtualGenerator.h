// A generator that exists only in software: a uhid device with the
// generator's IDs, strings and report lengths, acting on feature reports with
// the same generator model as the simulated bench, and keeping an input
// report waiting for the link probe.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "hid/linux/uhid/UhidDevice.h"
#include "hid/sim/GeneratorModel.h"

namespace tpg::hid::uhid {

inline constexpr std::uint16_t kVirtualVendorId = 0x6C3A;
inline constexpr std::uint16_t kVirtualProductId = 0x4E19;

struct VirtualGeneratorSpec {
    std::string serialNumber;
    // Without a USB parent the HID layer shows this one name as both
    // manufacturer and product.
    std::string name = "Trelvix Pulse Generator";
    // Report lengths as the capability query gives them: report ID byte
    // included, though the reports are unnumbered.
    std::uint16_t inputReportByteLength = 65;
    std::uint16_t featureReportByteLength = 65;
    protocol::DeviceState state = sim::GeneratorModel::factoryState();
    std::chrono::milliseconds inputPeriod{5};
    std::uint16_t vendorId = kVirtualVendorId;
    std::uint16_t productId = kVirtualProductId;
};

// The report descriptor of a vendor-page device with one unnumbered input
// report and one unnumbered feature report of the given lengths (ID byte
// included; a length of 1 or less leaves that report out).
std::vector<std::uint8_t> generatorDescriptor(std::uint16_t inputReportByteLength,
                                              std::uint16_t featureReportByteLength);

class VirtualGenerator : private UhidHandler {
  public:
    // Creates the device and waits for its hidraw node. Nothing, and the
    // reason in error, when either fails.
    static std::unique_ptr<VirtualGenerator> create(const VirtualGeneratorSpec& config,
                                                    std::string& error);
    ~VirtualGenerator() override;

    const std::string& node() const { return node_; }
    const VirtualGeneratorSpec& config() const { return spec_; }

    protocol::DeviceState state() const;
    // SET_REPORTs arrive as the tool built them: report ID byte included.
    // Hands over every SET_REPORT received since the last call, in order.
    std::vector<std::vector<std::uint8_t>> takeReceivedReports();
    int getReportCount() const;

    int opens() const { return device_->opens(); }
    int closes() const { return device_->closes(); }

  private:
    explicit VirtualGenerator(VirtualGeneratorSpec config);

    std::optional<std::vector<std::uint8_t>> getReport(std::uint8_t reportNumber,
                                                       ReportType type) override;
    bool setReport(std::uint8_t reportNumber, ReportType type,
                   std::span<const std::uint8_t> data) override;
    std::optional<std::vector<std::uint8_t>> inputReport() override;

    VirtualGeneratorSpec spec_;
    mutable std::mutex mutex_;
    sim::GeneratorModel model_;
    std::vector<std::vector<std::uint8_t>> received_;
    int getReports_ = 0;
    std::uint8_t inputCounter_ = 0;
    std::unique_ptr<UhidDevice> device_;
    std::string node_;
};

}  // namespace tpg::hid::uhid
