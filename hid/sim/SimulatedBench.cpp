#include "hid/sim/SimulatedBench.h"

#include <algorithm>
#include <utility>

namespace tpg::hid::sim {
namespace {

const std::string kNoPath;

// Writes text as UTF-16LE into the first kStringQueryBytes bytes, with a
// terminating zero unit when it is shorter, as the HID string queries do.
void writeUtf16(const std::u16string& text, std::span<std::uint8_t> buffer) {
    const std::size_t limit = std::min(buffer.size(), kStringQueryBytes);
    std::size_t at = 0;
    for (char16_t unit : text) {
        if (at + 2 > limit) {
            return;
        }
        buffer[at] = static_cast<std::uint8_t>(unit & 0xFF);
        buffer[at + 1] = static_cast<std::uint8_t>(unit >> 8);
        at += 2;
    }
    if (at + 2 <= limit) {
        buffer[at] = 0;
        buffer[at + 1] = 0;
    }
}

}  // namespace

const char* opName(Op op) {
    switch (op) {
        case Op::ListInterfaces:
            return "listInterfaces";
        case Op::Open:
            return "open";
        case Op::GetAttributes:
            return "getAttributes";
        case Op::GetString:
            return "getString";
        case Op::GetCapabilities:
            return "getCapabilities";
        case Op::SetFeature:
            return "setFeature";
        case Op::GetFeature:
            return "getFeature";
        case Op::CreateEvent:
            return "createEvent";
        case Op::ReadInputReport:
            return "readInputReport";
        case Op::Close:
            return "close";
    }
    return "?";
}

DeviceSpec generatorSpec(const std::string& path, const std::u16string& serial,
                         const protocol::DeviceState& state) {
    DeviceSpec config;
    config.path = path;
    config.attributes.vendorId = kGeneratorVendorId;
    config.attributes.productId = kGeneratorProductId;
    config.attributes.versionNumber = 0x0103;
    config.manufacturer = u"Trelvix Instruments";
    config.product = u"Trelvix Pulse Generator TPG-350";
    config.serialNumber = serial;
    config.capabilities.inputReportByteLength = 65;
    config.capabilities.outputReportByteLength = 0;
    config.capabilities.featureReportByteLength = 65;
    config.generator = GeneratorModel(state);
    return config;
}

DeviceSpec foreignSpec(const std::string& path, std::uint16_t vendorId, std::uint16_t productId) {
    DeviceSpec config;
    config.path = path;
    config.attributes.vendorId = vendorId;
    config.attributes.productId = productId;
    config.attributes.versionNumber = 0x0100;
    config.manufacturer = u"Other Maker";
    config.product = u"Other HID device";
    config.serialNumber = u"OTHER";
    config.capabilities.inputReportByteLength = 9;
    config.capabilities.featureReportByteLength = 0;
    return config;
}

// --- the bench ---

void SimulatedBench::plug(DeviceSpec config) {
    unplug(config.path);
    devices_.push_back(Plugged{std::move(config), nextGeneration_++});
}

void SimulatedBench::unplug(const std::string& path) {
    std::erase_if(devices_, [&](const Plugged& d) { return d.config.path == path; });
}

bool SimulatedBench::isPlugged(const std::string& path) const {
    return std::any_of(devices_.begin(), devices_.end(),
                       [&](const Plugged& d) { return d.config.path == path; });
}

DeviceSpec* SimulatedBench::device(const std::string& path) {
    for (auto& d : devices_) {
        if (d.config.path == path) {
            return &d.config;
        }
    }
    return nullptr;
}

GeneratorModel* SimulatedBench::generator(const std::string& path) {
    DeviceSpec* config = device(path);
    return config != nullptr && config->generator ? &*config->generator : nullptr;
}

void SimulatedBench::failOnce(Op op, const std::string& path) {
    faults_.push_back(Fault{op, path, false});
}

void SimulatedBench::failAlways(Op op, const std::string& path) {
    faults_.push_back(Fault{op, path, true});
}

void SimulatedBench::clearFaults() {
    faults_.clear();
    failAtCall_ = 0;
}

int SimulatedBench::openHandles(const std::string& path) const {
    return static_cast<int>(std::count_if(handles_.begin(), handles_.end(),
                                          [&](const auto& h) { return h.second.path == path; }));
}

int SimulatedBench::openDeviceHandles() const {
    return static_cast<int>(std::count_if(handles_.begin(), handles_.end(),
                                          [](const auto& h) { return !h.second.path.empty(); }));
}

int SimulatedBench::openEvents() const {
    return openHandles(kNoPath);
}

std::optional<std::string> SimulatedBench::livePath(Handle handle) const {
    const Plugged* d = live(handle);
    if (d == nullptr) {
        return std::nullopt;
    }
    return d->config.path;
}

int SimulatedBench::callCount(Op op, const std::string& path) const {
    int total = 0;
    for (const auto& [key, count] : calls_) {
        if (key.first == op && (path.empty() || key.second == path)) {
            total += count;
        }
    }
    return total;
}

bool SimulatedBench::injectedFailure(Op op, const std::string& path) {
    ++calls_[{op, path}];
    if (++totalCalls_ == failAtCall_) {
        return true;
    }
    for (auto it = faults_.begin(); it != faults_.end(); ++it) {
        if (it->op == op && (it->path.empty() || it->path == path)) {
            if (!it->always) {
                faults_.erase(it);
            }
            return true;
        }
    }
    return false;
}

SimulatedBench::Plugged* SimulatedBench::live(Handle handle) {
    return const_cast<Plugged*>(std::as_const(*this).live(handle));
}

const SimulatedBench::Plugged* SimulatedBench::live(Handle handle) const {
    const auto it = handles_.find(handle);
    if (it == handles_.end() || it->second.path.empty()) {
        return nullptr;
    }
    for (const auto& d : devices_) {
        if (d.config.path == it->second.path && d.generation == it->second.generation) {
            return &d;
        }
    }
    return nullptr;
}

const std::string& SimulatedBench::pathOf(Handle handle) const {
    const auto it = handles_.find(handle);
    return it == handles_.end() ? kNoPath : it->second.path;
}

// --- HidPlatform ---

Result SimulatedBench::listInterfaces(std::vector<std::string>& paths) {
    paths.clear();
    if (injectedFailure(Op::ListInterfaces, kNoPath)) {
        return 0;
    }
    for (const auto& d : devices_) {
        paths.push_back(d.config.path);
    }
    return 1;
}

Handle SimulatedBench::open(const std::string& path, OpenMode mode,
                            const SecurityAttributes& /*security*/) {
    if (injectedFailure(Op::Open, path)) {
        return kNoHandle;
    }
    for (const auto& d : devices_) {
        if (d.config.path == path) {
            if (!d.config.openable) {
                return kNoHandle;
            }
            const Handle handle = nextHandle_++;
            handles_[handle] = OpenHandle{path, d.generation, mode};
            return handle;
        }
    }
    return kNoHandle;
}

Result SimulatedBench::explainRefusal(const std::string& path, Refusal& refusal) {
    for (const auto& d : devices_) {
        if (d.config.path == path) {
            refusal.vendorId = d.config.attributes.vendorId;
            refusal.productId = d.config.attributes.productId;
            refusal.accessDenied = !d.config.openable;
            return 1;
        }
    }
    return 0;
}

Result SimulatedBench::getAttributes(Handle handle, Attributes& attributes) {
    if (injectedFailure(Op::GetAttributes, pathOf(handle))) {
        return 0;
    }
    const Plugged* d = live(handle);
    if (d == nullptr || attributes.size != 12) {
        return 0;
    }
    attributes.vendorId = d->config.attributes.vendorId;
    attributes.productId = d->config.attributes.productId;
    attributes.versionNumber = d->config.attributes.versionNumber;
    return 1;
}

Result SimulatedBench::getString(Handle handle, StringKind kind, std::span<std::uint8_t> buffer) {
    if (injectedFailure(Op::GetString, pathOf(handle))) {
        return 0;
    }
    const Plugged* d = live(handle);
    if (d == nullptr) {
        return 0;
    }
    switch (kind) {
        case StringKind::Manufacturer:
            if (!d->config.hasManufacturer) {
                return 0;
            }
            writeUtf16(d->config.manufacturer, buffer);
            break;
        case StringKind::Product:
            writeUtf16(d->config.product, buffer);
            break;
        case StringKind::SerialNumber:
            writeUtf16(d->config.serialNumber, buffer);
            break;
    }
    return 1;
}

Result SimulatedBench::getCapabilities(Handle handle, Capabilities& capabilities) {
    if (injectedFailure(Op::GetCapabilities, pathOf(handle))) {
        return 0;
    }
    const Plugged* d = live(handle);
    if (d == nullptr) {
        return 0;
    }
    capabilities = d->config.capabilities;
    return 1;
}

Result SimulatedBench::setFeature(Handle handle, std::span<const std::uint8_t> report) {
    if (injectedFailure(Op::SetFeature, pathOf(handle))) {
        return 0;
    }
    Plugged* d = live(handle);
    if (d == nullptr || !d->config.generator ||
        report.size() != d->config.capabilities.featureReportByteLength) {
        return 0;
    }
    sent_.push_back(SentReport{d->config.path, {report.begin(), report.end()}});
    return d->config.generator->handleSetFeature(report) ? 1 : 0;
}

Result SimulatedBench::getFeature(Handle handle, std::span<std::uint8_t> report) {
    if (injectedFailure(Op::GetFeature, pathOf(handle))) {
        return 0;
    }
    Plugged* d = live(handle);
    if (d == nullptr || !d->config.generator ||
        report.size() != d->config.capabilities.featureReportByteLength) {
        return 0;
    }
    const auto answer = d->config.generator->stateReport(report.size());
    if (!answer) {
        return 0;
    }
    std::copy(answer->begin(), answer->end(), report.begin());
    return static_cast<Result>(answer->size());
}

Handle SimulatedBench::createEvent(const SecurityAttributes& /*security*/) {
    if (injectedFailure(Op::CreateEvent, kNoPath)) {
        return kNoHandle;
    }
    const Handle handle = nextHandle_++;
    handles_[handle] = OpenHandle{kNoPath, 0, OpenMode::Plain};
    return handle;
}

Result SimulatedBench::readInputReport(Handle readHandle, std::span<std::uint8_t> buffer,
                                       ReadOverlapped& /*overlapped*/) {
    if (injectedFailure(Op::ReadInputReport, pathOf(readHandle))) {
        return 0;
    }
    const Plugged* d = live(readHandle);
    if (d == nullptr || handles_[readHandle].mode != OpenMode::Overlapped ||
        !d->config.inputReportWaiting ||
        buffer.size() < d->config.capabilities.inputReportByteLength) {
        return 0;
    }
    std::fill(buffer.begin(), buffer.begin() + d->config.capabilities.inputReportByteLength, 0);
    return 1;
}

Result SimulatedBench::close(Handle handle) {
    if (injectedFailure(Op::Close, pathOf(handle))) {
        // A failed close still releases the handle, as CloseHandle does for
        // a handle whose device has gone; the result says it failed.
        handles_.erase(handle);
        return 0;
    }
    return handles_.erase(handle) == 1 ? 1 : 0;
}

}  // namespace tpg::hid::sim
