#include "BenchDevices.h"

#include <mutex>
#include <utility>

#include "hid/linux/uhid/UhidDevice.h"
#include "hid/linux/uhid/VirtualGenerator.h"
#include "hid/linux/usbip/UsbVirtualGenerator.h"

namespace tpg::guestbench {

namespace {

using hid::uhid::ReportType;

constexpr auto kNodeTimeout = std::chrono::seconds(5);
// Wine reads every open node's input reports through its whole HID stack;
// under emulation a slow period keeps that cheap, and the link probe, every
// 500 ms, still finds one waiting.
constexpr auto kInputPeriod = std::chrono::milliseconds(50);

class UhidGenerator : public BenchDevice {
  public:
    explicit UhidGenerator(std::unique_ptr<hid::uhid::VirtualGenerator> generator)
        : generator_(std::move(generator)), gets_(generator_->getReportCount()) {}

    std::string node() const override { return generator_->node(); }
    Received takeReceived() override {
        const int gets = generator_->getReportCount();
        Received received{gets - std::exchange(gets_, gets), generator_->takeReceivedReports()};
        return received;
    }
    protocol::DeviceState state() const override { return generator_->state(); }

  private:
    std::unique_ptr<hid::uhid::VirtualGenerator> generator_;
    int gets_;
};

// A generator on the kernel's USB stack (USB/IP and the virtual host
// controller, driven by usbhid). Its feature reports arrive as SET_REPORT
// control requests whose data stage has no report ID byte: for an
// unnumbered report the 0x00 the tool built goes back in front, so that
// both kinds of generator report the bytes the tool sent.
class UsbGenerator : public BenchDevice {
  public:
    explicit UsbGenerator(std::unique_ptr<hid::usbip::UsbVirtualGenerator> generator)
        : generator_(std::move(generator)), gets_(generator_->device().featureReportReads()) {}

    std::string node() const override { return generator_->node(); }
    Received takeReceived() override {
        const int gets = generator_->device().featureReportReads();
        Received received{gets - std::exchange(gets_, gets), {}};
        for (const auto& request : generator_->device().takeRequests()) {
            const auto setup = hid::usbip::SetupPacket::parse(request.setup);
            if (setup.request != hid::usbip::kHidSetReport ||
                (setup.value >> 8) != hid::usbip::kReportTypeFeature) {
                continue;
            }
            const auto reportId = static_cast<std::uint8_t>(setup.value & 0xFFU);
            Bytes report;
            if (reportId == 0) {
                report.push_back(0);
            }
            report.insert(report.end(), request.data.begin(), request.data.end());
            received.setReports.push_back(std::move(report));
        }
        return received;
    }
    protocol::DeviceState state() const override { return generator_->device().state(); }

  private:
    std::unique_ptr<hid::usbip::UsbVirtualGenerator> generator_;
    int gets_;
};

// A HID device of another vendor: it answers no request and counts each.
class ForeignDevice : public BenchDevice, private hid::uhid::UhidHandler {
  public:
    static std::unique_ptr<ForeignDevice> create(const std::string& serial, std::string& error) {
        std::unique_ptr<ForeignDevice> device(new ForeignDevice);
        // A vendor page like the generator's: no input handler of the kernel
        // opens it, so every open is a program's.
        device->device_ =
            hid::uhid::UhidDevice::create({.name = "Foreign device",
                                           .uniq = serial,
                                           .bus = 0x03,
                                           .vendorId = kForeignVendorId,
                                           .productId = hid::uhid::kVirtualProductId,
                                           .version = 0x0100,
                                           .descriptor = hid::uhid::generatorDescriptor(9, 33)},
                                          *device, kInputPeriod, error);
        if (!device->device_) {
            return nullptr;
        }
        device->node_ = device->device_->waitForNode(kNodeTimeout);
        if (device->node_.empty()) {
            error = "no hidraw node appeared for the foreign device " + serial;
            return nullptr;
        }
        return device;
    }
    ~ForeignDevice() override { device_.reset(); }  // stops its thread first

    std::string node() const override { return node_; }
    Received takeReceived() override {
        const std::lock_guard lock(mutex_);
        return std::exchange(received_, {});
    }
    protocol::DeviceState state() const override { return {}; }

  private:
    // The generator's product ID under a vendor ID one higher.
    static constexpr std::uint16_t kForeignVendorId = hid::uhid::kVirtualVendorId + 1;

    ForeignDevice() = default;
    std::optional<Bytes> getReport(std::uint8_t, ReportType) override {
        const std::lock_guard lock(mutex_);
        ++received_.getReports;
        return std::nullopt;
    }
    bool setReport(std::uint8_t, ReportType, std::span<const std::uint8_t> data) override {
        const std::lock_guard lock(mutex_);
        received_.setReports.emplace_back(data.begin(), data.end());
        return false;
    }
    std::optional<Bytes> inputReport() override { return std::nullopt; }

    std::mutex mutex_;
    Received received_;
    std::unique_ptr<hid::uhid::UhidDevice> device_;
    std::string node_;
};

}  // namespace

std::unique_ptr<BenchDevice> makeBenchDevice(const PlugRequest& request, std::string& error) {
    if (request.kind == "uhid") {
        hid::uhid::VirtualGeneratorSpec spec;
        spec.serialNumber = request.serial;
        spec.state = request.state;
        spec.inputPeriod = kInputPeriod;
        auto generator = hid::uhid::VirtualGenerator::create(spec, error);
        if (!generator) {
            return nullptr;
        }
        return std::make_unique<UhidGenerator>(std::move(generator));
    }
    if (request.kind == "usb") {
        hid::usbip::UsbGeneratorSpec spec;
        spec.serialNumber = request.serial;
        spec.state = request.state;
        spec.intervalMs = static_cast<std::uint8_t>(kInputPeriod.count());
        auto generator = hid::usbip::UsbVirtualGenerator::create(spec, error);
        if (!generator) {
            return nullptr;
        }
        return std::make_unique<UsbGenerator>(std::move(generator));
    }
    if (request.kind == "foreign") {
        return ForeignDevice::create(request.serial, error);
    }
    error = "unknown kind of device: " + request.kind;
    return nullptr;
}

}  // namespace tpg::guestbench
