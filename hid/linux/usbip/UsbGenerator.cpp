#include "hid/linux/usbip/UsbGenerator.h"

#include <algorithm>
#include <cerrno>
#include <utility>

#include "hid/linux/uhid/VirtualGenerator.h"

namespace tpg::hid::usbip {

namespace {

constexpr std::uint8_t kTypeMask = 0x60;
constexpr std::uint8_t kTypeStandard = 0x00;
constexpr std::uint8_t kTypeClass = 0x20;
constexpr std::uint8_t kRecipientMask = 0x1F;
constexpr std::uint8_t kRecipientDevice = 0;
constexpr std::uint8_t kRecipientInterface = 1;
constexpr std::uint8_t kRecipientEndpoint = 2;

// Standard requests.
constexpr std::uint8_t kGetStatus = 0;
constexpr std::uint8_t kClearFeature = 1;
constexpr std::uint8_t kSetFeature = 3;
constexpr std::uint8_t kGetDescriptor = 6;
constexpr std::uint8_t kGetConfiguration = 8;
constexpr std::uint8_t kSetConfiguration = 9;
constexpr std::uint8_t kGetInterface = 10;
constexpr std::uint8_t kSetInterface = 11;

ControlReply stall() {
    ControlReply reply;
    reply.status = -EPIPE;
    return reply;
}

ControlReply ok(std::vector<std::uint8_t> data = {}) {
    ControlReply reply;
    reply.data = std::move(data);
    return reply;
}

}  // namespace

UsbGenerator::UsbGenerator(UsbGeneratorSpec spec)
    : spec_(std::move(spec)),
      reportDescriptor_(
          uhid::generatorDescriptor(spec_.inputReportByteLength, spec_.featureReportByteLength)),
      model_(spec_.state) {}

ControlReply UsbGenerator::control(const SetupPacket& setup, std::span<const std::uint8_t> data) {
    const std::lock_guard lock(mutex_);
    requests_.push_back({setup.bytes(), {data.begin(), data.end()}});
    ControlReply reply;
    switch (setup.requestType & kTypeMask) {
        case kTypeStandard:
            reply = standardRequest(setup);
            break;
        case kTypeClass:
            reply = classRequest(setup, data);
            break;
        default:
            reply = stall();
            break;
    }
    // The data stage never carries more than the host asked for.
    if (reply.data.size() > setup.length) {
        reply.data.resize(setup.length);
    }
    return reply;
}

ControlReply UsbGenerator::descriptor(std::uint8_t type, std::uint8_t index) const {
    switch (type) {
        case kDescriptorDevice:
            return ok(deviceDescriptor({spec_.vendorId, spec_.productId, spec_.bcdDevice}));
        case kDescriptorConfiguration:
            return ok(configurationDescriptor(
                static_cast<std::uint16_t>(reportDescriptor_.size()),
                std::clamp<std::uint16_t>(spec_.inputReportByteLength - 1, 1, kMaxPacketSize),
                spec_.intervalMs));
        case kDescriptorString:
            switch (index) {
                case 0:
                    return ok(languageDescriptor());
                case kStringManufacturer:
                    return ok(stringDescriptor(spec_.manufacturer));
                case kStringProduct:
                    return ok(stringDescriptor(spec_.product));
                case kStringSerialNumber:
                    return ok(spec_.serialUnits.empty() ? stringDescriptor(spec_.serialNumber)
                                                        : stringDescriptor(spec_.serialUnits));
                default:
                    return stall();
            }
        default:
            return stall();
    }
}

ControlReply UsbGenerator::standardRequest(const SetupPacket& setup) {
    const std::uint8_t recipient = setup.requestType & kRecipientMask;
    const auto type = static_cast<std::uint8_t>(setup.value >> 8);
    const auto index = static_cast<std::uint8_t>(setup.value & 0xFFU);
    switch (setup.request) {
        case kGetDescriptor:
            if (recipient == kRecipientDevice) {
                return descriptor(type, index);
            }
            if (recipient == kRecipientInterface && setup.index == 0) {
                if (type == kDescriptorReport) {
                    return ok(reportDescriptor_);
                }
                if (type == kDescriptorHid) {
                    return ok(hidDescriptor(static_cast<std::uint16_t>(reportDescriptor_.size())));
                }
            }
            return stall();
        case kSetConfiguration:
            if (setup.value > 1) {
                return stall();
            }
            configuration_ = static_cast<std::uint8_t>(setup.value);
            return ok();
        case kGetConfiguration:
            return ok({configuration_});
        case kGetStatus:
            return ok({0, 0});
        case kGetInterface:
            return ok({0});
        case kSetInterface:
            return setup.value == 0 ? ok() : stall();
        case kClearFeature:
        case kSetFeature:
            return recipient == kRecipientDevice || recipient == kRecipientEndpoint ? ok()
                                                                                    : stall();
        default:
            return stall();
    }
}

ControlReply UsbGenerator::classRequest(const SetupPacket& setup,
                                        std::span<const std::uint8_t> data) {
    if ((setup.requestType & kRecipientMask) != kRecipientInterface || setup.index != 0) {
        return stall();
    }
    const auto reportType = static_cast<std::uint8_t>(setup.value >> 8);
    const auto reportId = static_cast<std::uint8_t>(setup.value & 0xFFU);
    switch (setup.request) {
        case kHidSetIdle:
            idle_ = reportType;  // the duration sits in the high byte
            return ok();
        case kHidGetIdle:
            return ok({idle_});
        case kHidSetReport: {
            if (reportType != kReportTypeFeature || reportId != 0) {
                return stall();
            }
            // An unnumbered report travels without its ID byte; the model
            // takes it as the tool built it, ID first.
            std::vector<std::uint8_t> report{0};
            report.insert(report.end(), data.begin(), data.end());
            return model_.handleSetFeature(report) ? ok() : stall();
        }
        case kHidGetReport: {
            if (reportId != 0) {
                return stall();
            }
            if (reportType == kReportTypeInput) {
                return spec_.inputReportByteLength > 1 ? ok(inputReportLocked()) : stall();
            }
            if (reportType != kReportTypeFeature) {
                return stall();
            }
            ++featureReads_;
            if (getReportAnswer_.kind == GetReportAnswer::Kind::Stall) {
                return stall();
            }
            auto report = model_.stateReport(spec_.featureReportByteLength);
            if (!report) {
                return stall();
            }
            report->erase(report->begin());
            ControlReply reply = ok(std::move(*report));
            if (getReportAnswer_.kind == GetReportAnswer::Kind::Delay) {
                reply.delay = getReportAnswer_.delay;
            }
            return reply;
        }
        default:
            return stall();
    }
}

std::vector<std::uint8_t> UsbGenerator::inputReport() const {
    const std::lock_guard lock(mutex_);
    return inputReportLocked();
}

std::vector<std::uint8_t> UsbGenerator::inputReportLocked() const {
    if (spec_.inputReportByteLength <= 1) {
        return {};
    }
    // The state report, cut or padded to the input report's length.
    auto report = *model_.stateReport(
        std::max<std::size_t>(spec_.inputReportByteLength, protocol::kStateReportLength));
    report.erase(report.begin());
    report.resize(spec_.inputReportByteLength - 1U);
    return report;
}

void UsbGenerator::setGetReportAnswer(const GetReportAnswer& answer) {
    const std::lock_guard lock(mutex_);
    getReportAnswer_ = answer;
}

std::vector<ControlRequest> UsbGenerator::takeRequests() {
    const std::lock_guard lock(mutex_);
    return std::exchange(requests_, {});
}

protocol::DeviceState UsbGenerator::state() const {
    const std::lock_guard lock(mutex_);
    return model_.state();
}

void UsbGenerator::setState(const protocol::DeviceState& state) {
    const std::lock_guard lock(mutex_);
    model_.setState(state);
}

int UsbGenerator::featureReportReads() const {
    const std::lock_guard lock(mutex_);
    return featureReads_;
}

std::uint8_t UsbGenerator::configuration() const {
    const std::lock_guard lock(mutex_);
    return configuration_;
}

}  // namespace tpg::hid::usbip
