#include "BenchDevices.h"

#include <mutex>
#include <utility>

#include "hid/linux/uhid/UhidDevice.h"
#include "hid/linux/uhid/VirtualGenerator.h"

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

// A HID device of another vendor: it answers no request and counts each.
class ForeignDevice : public BenchDevice, private hid::uhid::UhidHandler {
  public:
    static std::unique_ptr<ForeignDevice> create(const std::string& serial, std::string& error) {
        std::unique_ptr<ForeignDevice> device(new ForeignDevice);
        // A vendor page like the generator's: no input handler of the kernel
        // opens it, so every open is a program's.
        device->device_ = hid::uhid::UhidDevice::create(
            {.name = "Foreign device",
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
    if (request.kind == "foreign") {
        return ForeignDevice::create(request.serial, error);
    }
    error = "unknown kind of device: " + request.kind;
    return nullptr;
}

}  // namespace tpg::guestbench
