#include "hid/linux/uhid/VirtualGenerator.h"

#include <utility>

namespace tpg::hid::uhid {

namespace {

constexpr auto kNodeTimeout = std::chrono::seconds(5);

// A global item with a two-byte little-endian value.
void putShort(std::vector<std::uint8_t>& d, std::uint8_t prefix, std::uint16_t value) {
    d.push_back(prefix);
    d.push_back(static_cast<std::uint8_t>(value & 0xFFU));
    d.push_back(static_cast<std::uint8_t>(value >> 8));
}

}  // namespace

std::vector<std::uint8_t> generatorDescriptor(std::uint16_t inputReportByteLength,
                                              std::uint16_t featureReportByteLength) {
    std::vector<std::uint8_t> d = {
        0x06, 0x00, 0xFF,  // Usage Page (vendor defined 0xFF00)
        0x09, 0x01,        // Usage (1)
        0xA1, 0x01,        // Collection (Application)
        0x15, 0x00,        //   Logical Minimum (0)
        0x26, 0xFF, 0x00,  //   Logical Maximum (255)
        0x75, 0x08,        //   Report Size (8)
    };
    if (inputReportByteLength > 1) {
        putShort(d, 0x96, static_cast<std::uint16_t>(inputReportByteLength - 1));  // Report Count
        d.insert(d.end(), {0x09, 0x01, 0x81, 0x02});  // Usage (1), Input (Data, Var, Abs)
    }
    if (featureReportByteLength > 1) {
        putShort(d, 0x96, static_cast<std::uint16_t>(featureReportByteLength - 1));
        d.insert(d.end(), {0x09, 0x01, 0xB1, 0x02});  // Usage (1), Feature (Data, Var, Abs)
    }
    d.push_back(0xC0);  // End Collection
    return d;
}

VirtualGenerator::VirtualGenerator(VirtualGeneratorSpec config)
    : spec_(std::move(config)), model_(spec_.state) {}

VirtualGenerator::~VirtualGenerator() {
    device_.reset();  // stops the device's thread before the model goes
}

std::unique_ptr<VirtualGenerator> VirtualGenerator::create(const VirtualGeneratorSpec& config,
                                                           std::string& error) {
    std::unique_ptr<VirtualGenerator> generator(new VirtualGenerator(config));
    UhidSpec device{.name = config.name,
                    .uniq = config.serialNumber,
                    .bus = 0x03,
                    .vendorId = config.vendorId,
                    .productId = config.productId,
                    .version = 0,
                    .descriptor = generatorDescriptor(config.inputReportByteLength,
                                                      config.featureReportByteLength)};
    generator->device_ = UhidDevice::create(device, *generator, config.inputPeriod, error);
    if (!generator->device_) {
        return nullptr;
    }
    generator->node_ = generator->device_->waitForNode(kNodeTimeout);
    if (generator->node_.empty()) {
        error = "no hidraw node appeared for serial number " + config.serialNumber;
        return nullptr;
    }
    return generator;
}

protocol::DeviceState VirtualGenerator::state() const {
    const std::lock_guard lock(mutex_);
    return model_.state();
}

std::vector<std::vector<std::uint8_t>> VirtualGenerator::takeReceivedReports() {
    const std::lock_guard lock(mutex_);
    return std::exchange(received_, {});
}

int VirtualGenerator::getReportCount() const {
    const std::lock_guard lock(mutex_);
    return getReports_;
}

std::optional<std::vector<std::uint8_t>> VirtualGenerator::getReport(std::uint8_t reportNumber,
                                                                     ReportType type) {
    if (reportNumber != 0 || type != ReportType::Feature) {
        return std::nullopt;
    }
    const std::lock_guard lock(mutex_);
    ++getReports_;
    // An unnumbered report comes back with its 0x00 ID byte first, as a USB
    // device's does through the hidraw ioctl.
    return model_.stateReport(spec_.featureReportByteLength);
}

bool VirtualGenerator::setReport(std::uint8_t reportNumber, ReportType type,
                                 std::span<const std::uint8_t> data) {
    if (reportNumber != 0 || type != ReportType::Feature) {
        return false;
    }
    const std::lock_guard lock(mutex_);
    // The data arrive with the 0x00 ID byte in front, as the tool built it.
    received_.emplace_back(data.begin(), data.end());
    return model_.handleSetFeature(data);
}

std::optional<std::vector<std::uint8_t>> VirtualGenerator::inputReport() {
    if (spec_.inputReportByteLength <= 1) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> report(spec_.inputReportByteLength - 1U, 0);
    report[0] = inputCounter_++;
    return report;
}

}  // namespace tpg::hid::uhid
