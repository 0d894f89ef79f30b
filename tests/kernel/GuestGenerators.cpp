#include "GuestGenerators.h"

#include <atomic>

#include "hid/linux/uhid/UhidDevice.h"
#include "hid/linux/uhid/VirtualGenerator.h"
#include "hid/linux/usbip/UsbVirtualGenerator.h"

namespace tpg::guest {

namespace {

using hid::uhid::VirtualGenerator;
using hid::usbip::UsbVirtualGenerator;

class UhidGuest : public GuestGenerator {
  public:
    explicit UhidGuest(hid::uhid::VirtualGeneratorSpec spec) : spec_(std::move(spec)) {}
    bool plug(const protocol::DeviceState& state) override {
        spec_.state = state;
        std::string error;
        device_ = VirtualGenerator::create(spec_, error);
        check(device_ != nullptr, "uhid generator " + spec_.serialNumber + " made", error);
        return device_ != nullptr;
    }
    void unplug() override {
        if (device_) {
            // Whoever had it open has lost it: every open has ended.
            opensBefore_ = opens();
            closesBefore_ = opensBefore_;
            readsBefore_ = stateReads();
        }
        device_.reset();
    }
    std::vector<Bytes> takeFeatureReports() override {
        return device_ ? device_->takeReceivedReports() : std::vector<Bytes>{};
    }
    int stateReads() const override {
        return readsBefore_ + (device_ ? device_->getReportCount() : 0);
    }
    protocol::DeviceState state() const override { return device_->state(); }
    int opens() const override { return opensBefore_ + (device_ ? device_->opens() : 0); }
    int closes() const override { return closesBefore_ + (device_ ? device_->closes() : 0); }

  private:
    hid::uhid::VirtualGeneratorSpec spec_;
    std::unique_ptr<VirtualGenerator> device_;
    int opensBefore_ = 0;
    int closesBefore_ = 0;
    int readsBefore_ = 0;
};

class UsbGuest : public GuestGenerator {
  public:
    explicit UsbGuest(hid::usbip::UsbGeneratorSpec spec) : spec_(std::move(spec)) {}
    bool plug(const protocol::DeviceState& state) override {
        std::string error;
        if (!device_) {
            spec_.state = state;
            device_ = UsbVirtualGenerator::create(spec_, error);
        } else {
            device_->device().setState(state);
            if (!device_->plug(error)) {
                device_.reset();
            }
        }
        check(device_ != nullptr, "USB generator " + spec_.serialNumber + " plugged in", error);
        return device_ != nullptr;
    }
    void unplug() override {
        if (device_) {
            device_->unplug();
        }
    }
    // Each SET_REPORT must arrive as usbhid sends an unnumbered feature
    // report: a class request to the interface (0x21), SET_REPORT (0x09),
    // feature report 0 (wValue 0x0300), interface 0, the report's length
    // without the ID byte, which is not on the wire.
    std::vector<Bytes> takeFeatureReports() override {
        std::vector<Bytes> reports;
        bool setupsRight = true;
        for (const auto& request : device_->device().takeRequests()) {
            if (request.setup[0] == 0xA1 && request.setup[1] == 0x01) {
                setupsRight = setupsRight && request.setup == kGetReport;
            }
            if (request.setup[1] != 0x09 || request.setup[0] != 0x21) {
                continue;
            }
            setupsRight = setupsRight && request.setup == kSetReport && request.data.size() == 64;
            Bytes report{0x00};
            report.insert(report.end(), request.data.begin(), request.data.end());
            reports.push_back(std::move(report));
        }
        check(setupsRight, "every SET_REPORT reached " + spec_.serialNumber +
                               " as 21 09 00 03 00 00 40 00 with 64 data bytes, every"
                               " GET_REPORT as A1 01 00 03 00 00 40 00");
        return reports;
    }
    int stateReads() const override { return device_->device().featureReportReads(); }
    protocol::DeviceState state() const override { return device_->device().state(); }
    int opens() const override { return device_->opens(); }
    int closes() const override { return device_->closes(); }
    UsbVirtualGenerator& usb() { return *device_; }

    static constexpr std::array<std::uint8_t, 8> kSetReport{0x21, 0x09, 0x00, 0x03,
                                                            0x00, 0x00, 0x40, 0x00};
    static constexpr std::array<std::uint8_t, 8> kGetReport{0xA1, 0x01, 0x00, 0x03,
                                                            0x00, 0x00, 0x40, 0x00};

  private:
    hid::usbip::UsbGeneratorSpec spec_;
    std::unique_ptr<UsbVirtualGenerator> device_;
};

// Answers nothing; counts the kernel's opens.
class UhidForeign : public ForeignDevice, private hid::uhid::UhidHandler {
  public:
    UhidForeign() {
        std::string error;
        device_ =
            hid::uhid::UhidDevice::create({.name = "Foreign device",
                                           .uniq = "FD-0001",
                                           .bus = 0x03,
                                           .vendorId = 0x6C3A,
                                           .productId = 0x0001,
                                           .version = 0x0100,
                                           // A vendor page like the generator's,
                                           // so nothing in the kernel opens it.
                                           .descriptor = hid::uhid::generatorDescriptor(9, 33)},
                                          *this, std::chrono::milliseconds(50), error);
        check(device_ != nullptr && !device_->waitForNode(std::chrono::seconds(5)).empty(),
              "foreign uhid device made", error);
    }
    int opens() const override { return device_ ? device_->opens() : -1; }
    int toolRequests() override { return requests_.load(); }

  private:
    std::optional<Bytes> getReport(std::uint8_t, hid::uhid::ReportType) override {
        ++requests_;
        return std::nullopt;
    }
    bool setReport(std::uint8_t, hid::uhid::ReportType, std::span<const std::uint8_t>) override {
        ++requests_;
        return false;
    }
    std::atomic<int> requests_{0};
    std::optional<Bytes> inputReport() override { return std::nullopt; }

    std::unique_ptr<hid::uhid::UhidDevice> device_;
};

// Another vendor, the generator's product ID: a USB HID device of the same
// shape that the tool must leave alone.
class UsbForeign : public ForeignDevice {
  public:
    UsbForeign() {
        hid::usbip::UsbGeneratorSpec spec;
        spec.vendorId = 0x1209;
        spec.manufacturer = "Someone Else";
        spec.product = "Other Instrument";
        spec.serialNumber = "OTHER-1";
        std::string error;
        device_ = UsbVirtualGenerator::create(spec, error);
        check(device_ != nullptr, "foreign USB HID device plugged in", error);
    }
    int opens() const override { return device_ ? device_->opens() : -1; }
    // HID class requests other than usbhid's SET_IDLE at enumeration: the
    // reports the tool would have sent or read.
    int toolRequests() override {
        for (const auto& request : device_->device().takeRequests()) {
            const bool classRequest = request.setup[0] == 0x21 || request.setup[0] == 0xA1;
            requests_ += classRequest && request.setup[1] != 0x0A ? 1 : 0;
        }
        return requests_;
    }

  private:
    std::unique_ptr<UsbVirtualGenerator> device_;
    int requests_ = 0;
};

}  // namespace

GeneratorKind uhidKind() {
    return GeneratorKind{
        .name = "uhid",
        .make = [](const std::string& serial, const protocol::DeviceState& state,
                   const std::string& product) -> std::unique_ptr<GuestGenerator> {
            hid::uhid::VirtualGeneratorSpec spec;
            spec.serialNumber = serial;
            spec.name = product;
            auto generator = std::make_unique<UhidGuest>(spec);
            if (!generator->plug(state)) {
                return nullptr;
            }
            return generator;
        },
        .makeForeign = [] { return std::make_unique<UhidForeign>(); },
        .serialA = "TPG-A-0001",
        .serialB = "TPG-B-0002",
        // Without a USB parent the one HID name is maker and product.
        .maker = [](const std::string& product) { return product; },
        .version = " 0.00",
    };
}

GeneratorKind usbKind() {
    return GeneratorKind{
        .name = "USB",
        .make = [](const std::string& serial, const protocol::DeviceState& state,
                   const std::string& product) -> std::unique_ptr<GuestGenerator> {
            hid::usbip::UsbGeneratorSpec spec;
            spec.serialNumber = serial;
            spec.product = product;
            auto generator = std::make_unique<UsbGuest>(spec);
            if (!generator->plug(state)) {
                return nullptr;
            }
            return generator;
        },
        .makeForeign = [] { return std::make_unique<UsbForeign>(); },
        // Beyond Latin-1: a Greek omega and a Cyrillic letter.
        .serialA = "TPG-\xCE\xA9-\xD0\x96-0001",
        .serialB = "TPG-B-0002",
        .maker = [](const std::string& /*product*/) { return std::string("Trelvix"); },
        .version = " 1.03",
    };
}

}  // namespace tpg::guest
