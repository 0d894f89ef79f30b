#include "hid/linux/HidrawPlatform.h"

#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "hid/linux/ReportDescriptor.h"
#include "hid/linux/Utf16.h"

namespace tpg::hid::hidraw {

namespace {

// Event tokens lie far above any descriptor number the kernel hands out.
constexpr Handle kFirstEventToken = 0x40000000;

// The size field of a hidraw ioctl number holds 14 bits.
constexpr std::size_t kMaxIoctlBytes = 0x3FFF;

// Name and unique ID as the kernel keeps them (struct hid_device).
constexpr std::size_t kRawNameBytes = 128;
constexpr std::size_t kRawUniqBytes = 64;

int fdOf(Handle handle) {
    return static_cast<int>(handle);
}

// Asks the hidraw driver for a text field. Nothing when the ioctl is not
// there (an old kernel, or a node that is not hidraw); the error is kept in
// errno so the caller can tell "not supported" from "device gone".
std::optional<std::string> rawText(int fd, unsigned long request, std::size_t bytes) {
    std::vector<char> text(bytes + 1, '\0');
    if (::ioctl(fd, request, text.data()) < 0) {
        return std::nullopt;
    }
    return std::string(text.data());
}

bool unsupported(int error) {
    return error == ENOTTY || error == EINVAL;
}

}  // namespace

HidrawPlatform::HidrawPlatform(HidrawConfig config)
    : config_(std::move(config)),
      sysfs_(config_.sysfsRoot, config_.devRoot),
      nextEvent_(kFirstEventToken) {}

HidrawPlatform::~HidrawPlatform() {
    for (const auto& [handle, node] : open_) {
        ::close(fdOf(handle));
    }
}

bool HidrawPlatform::isOpenable(const HidrawNode& node) const {
    return node.hasId &&
           std::find(config_.openable.begin(), config_.openable.end(),
                     DeviceId{node.vendorId, node.productId}) != config_.openable.end();
}

std::optional<HidrawNode> HidrawPlatform::lookup(const std::string& path) const {
    const auto it = std::find_if(listed_.begin(), listed_.end(),
                                 [&](const HidrawNode& n) { return n.devPath == path; });
    if (it != listed_.end()) {
        return *it;
    }
    return sysfs_.nodeForPath(path);
}

const HidrawPlatform::OpenNode* HidrawPlatform::openNode(Handle handle) const {
    const auto it = open_.find(handle);
    return it == open_.end() ? nullptr : &it->second;
}

Result HidrawPlatform::listInterfaces(std::vector<std::string>& paths) {
    listed_ = sysfs_.listNodes();
    paths.clear();
    paths.reserve(listed_.size());
    for (const auto& node : listed_) {
        paths.push_back(node.devPath);
    }
    return 1;
}

Handle HidrawPlatform::open(const std::string& path, OpenMode mode,
                            const SecurityAttributes& /*security*/) {
    const auto node = lookup(path);
    if (!node || !isOpenable(*node)) {
        errno = EACCES;
        return kNoHandle;
    }
    int flags = O_RDWR | O_CLOEXEC;
    if (mode == OpenMode::Overlapped) {
        flags |= O_NONBLOCK;
    }
    const int fd = ::open(node->devPath.c_str(), flags);
    if (fd < 0) {
        return kNoHandle;  // permissions, or gone since the listing
    }
    open_.emplace(fd, OpenNode{*node, mode});
    return fd;
}

Result HidrawPlatform::getAttributes(Handle handle, Attributes& attributes) {
    const OpenNode* open = openNode(handle);
    if (open == nullptr) {
        return 0;
    }
    const auto identity = sysfs_.readIdentity(open->node.name);
    if (!identity) {
        return 0;  // unplugged: its sysfs directory is gone
    }
    attributes.vendorId = open->node.vendorId;
    attributes.productId = open->node.productId;
    attributes.versionNumber = identity->versionNumber;
    return 1;
}

Result HidrawPlatform::getString(Handle handle, StringKind kind, std::span<std::uint8_t> buffer) {
    const OpenNode* open = openNode(handle);
    if (open == nullptr || buffer.size() < kStringQueryBytes) {
        return 0;
    }
    const auto identity = sysfs_.readIdentity(open->node.name);
    if (!identity) {
        return 0;
    }
    std::optional<std::string> text;
    switch (kind) {
        case StringKind::Manufacturer:
            text = identity->manufacturer;
            break;
        case StringKind::Product:
            text = identity->product;
            break;
        case StringKind::SerialNumber:
            text = identity->serialNumber;
            break;
    }
    if (!identity->usbParent) {
        // Without USB descriptors the driver's own name and unique ID are
        // the device's strings; sysfs has the same when the ioctl is missing.
        const bool serial = kind == StringKind::SerialNumber;
        const auto raw = rawText(
            fdOf(handle), serial ? HIDIOCGRAWUNIQ(kRawUniqBytes) : HIDIOCGRAWNAME(kRawNameBytes),
            serial ? kRawUniqBytes : kRawNameBytes);
        if (raw) {
            text = raw->empty() ? std::nullopt : raw;
        } else if (!unsupported(errno)) {
            return 0;
        }
    }
    if (!text) {
        return 0;
    }
    writeUtf16le(*text, buffer.first(kStringQueryBytes));
    return 1;
}

Result HidrawPlatform::getCapabilities(Handle handle, Capabilities& capabilities) {
    const OpenNode* open = openNode(handle);
    if (open == nullptr) {
        return 0;
    }
    std::vector<std::uint8_t> bytes;
    int descriptorSize = 0;
    if (::ioctl(fdOf(handle), HIDIOCGRDESCSIZE, &descriptorSize) == 0) {
        hidraw_report_descriptor descriptor{};
        descriptor.size = static_cast<std::uint32_t>(
            std::clamp(descriptorSize, 0, static_cast<int>(HID_MAX_DESCRIPTOR_SIZE)));
        if (::ioctl(fdOf(handle), HIDIOCGRDESC, &descriptor) != 0) {
            return 0;
        }
        bytes.assign(descriptor.value, descriptor.value + descriptor.size);
    } else if (unsupported(errno)) {
        const auto text = sysfs_.readReportDescriptor(open->node.name);
        if (!text) {
            return 0;
        }
        bytes.assign(text->begin(), text->end());
    } else {
        return 0;
    }
    const auto lengths = reportLengths(bytes);
    if (!lengths) {
        return 0;
    }
    capabilities = *lengths;
    return 1;
}

Result HidrawPlatform::setFeature(Handle handle, std::span<const std::uint8_t> report) {
    if (openNode(handle) == nullptr || report.empty() || report.size() > kMaxIoctlBytes) {
        return 0;
    }
    std::vector<std::uint8_t> copy(report.begin(), report.end());
    return ::ioctl(fdOf(handle), HIDIOCSFEATURE(copy.size()), copy.data()) >= 0 ? 1 : 0;
}

Result HidrawPlatform::getFeature(Handle handle, std::span<std::uint8_t> report) {
    if (openNode(handle) == nullptr || report.empty() || report.size() > kMaxIoctlBytes) {
        return 0;
    }
    return ::ioctl(fdOf(handle), HIDIOCGFEATURE(report.size()), report.data()) >= 0 ? 1 : 0;
}

Handle HidrawPlatform::createEvent(const SecurityAttributes& /*security*/) {
    const Handle token = nextEvent_++;
    events_.insert(token);
    return token;
}

Result HidrawPlatform::readInputReport(Handle readHandle, std::span<std::uint8_t> buffer,
                                       ReadOverlapped& /*overlapped*/) {
    if (openNode(readHandle) == nullptr || buffer.empty()) {
        return 0;
    }
    // hidraw hands out reports queued before an unplug even after it, so the
    // device is asked first whether it is still there (a node that is no
    // hidraw node cannot answer and is read all the same).
    hidraw_devinfo info{};
    if (::ioctl(fdOf(readHandle), HIDIOCGRAWINFO, &info) < 0 && !unsupported(errno)) {
        return 0;
    }
    // Non-blocking: a report waiting is read at once; EAGAIN means nothing
    // waits, EIO/ENODEV that the device is gone. Only a report is success.
    ssize_t n = 0;
    do {
        n = ::read(fdOf(readHandle), buffer.data(), buffer.size());
    } while (n < 0 && errno == EINTR);
    return n > 0 ? 1 : 0;
}

Result HidrawPlatform::close(Handle handle) {
    if (events_.erase(handle) != 0) {
        return 1;
    }
    const auto it = open_.find(handle);
    if (it == open_.end()) {
        return 0;  // not ours: never close a descriptor this layer did not open
    }
    open_.erase(it);
    return ::close(fdOf(handle)) == 0 ? 1 : 0;
}

}  // namespace tpg::hid::hidraw
