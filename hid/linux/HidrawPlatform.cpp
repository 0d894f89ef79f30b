#include "hid/linux/HidrawPlatform.h"

#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>

#include "hid/linux/ReportDescriptor.h"
#include "hid/linux/Utf16.h"

namespace tpg::hid::hidraw {

namespace {

// Handles and event tokens lie far above any descriptor number the kernel
// hands out, and below what LinkState::lastResult can hold.
constexpr Handle kFirstToken = 0x10000000;
constexpr Handle kLastToken = 0x7FFFFFF0;

// The size field of a hidraw ioctl number holds 14 bits.
constexpr std::size_t kMaxIoctlBytes = 0x3FFF;

bool unsupported(int error) {
    return error == ENOTTY || error == EINVAL;
}

// An ioctl that a signal interrupted is asked again.
template <typename Arg>
int ioctlRetrying(int fd, unsigned long request, Arg arg) {
    int r = 0;
    do {
        r = ::ioctl(fd, request, arg);
    } while (r < 0 && errno == EINTR);
    return r;
}

}  // namespace

HidrawPlatform::HidrawPlatform(HidrawConfig config)
    : config_(std::move(config)),
      sysfs_(config_.sysfsRoot, config_.devRoot),
      nextToken_(kFirstToken) {}

HidrawPlatform::~HidrawPlatform() {
    for (const auto& [handle, node] : open_) {
        if (node.fd >= 0) {
            ::close(node.fd);
        }
    }
}

std::size_t HidrawPlatform::openDescriptorCount() const {
    return static_cast<std::size_t>(std::count_if(
        open_.begin(), open_.end(), [](const auto& entry) { return entry.second.fd >= 0; }));
}

Handle HidrawPlatform::newToken() {
    while (open_.count(nextToken_) != 0 || events_.count(nextToken_) != 0) {
        nextToken_ = nextToken_ >= kLastToken ? kFirstToken : nextToken_ + 1;
    }
    const Handle token = nextToken_;
    nextToken_ = nextToken_ >= kLastToken ? kFirstToken : nextToken_ + 1;
    return token;
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

int HidrawPlatform::openConfirmed(const HidrawNode& node, OpenMode mode) {
    int flags = O_RDWR | O_CLOEXEC;
    if (mode == OpenMode::Overlapped) {
        flags |= O_NONBLOCK;
    }
    int fd = -1;
    do {
        fd = ::open(node.devPath.c_str(), flags);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return -1;  // permissions, or gone since the listing
    }
    ++descriptorsOpened_;
    // A node number freed by an unplug may have gone to another device since
    // the listing: the IDs of the opened device decide. A node that is no
    // hidraw node cannot tell and is taken on the listing's word.
    hidraw_devinfo info{};
    if (ioctlRetrying(fd, HIDIOCGRAWINFO, &info) < 0) {
        if (unsupported(errno)) {
            return fd;
        }
        ::close(fd);
        return -1;
    }
    if (static_cast<std::uint16_t>(info.bustype) != node.bus ||
        static_cast<std::uint16_t>(info.vendor) != node.vendorId ||
        static_cast<std::uint16_t>(info.product) != node.productId) {
        ::close(fd);
        errno = ENODEV;
        return -1;
    }
    return fd;
}

int HidrawPlatform::descriptor(Handle handle) {
    const auto it = open_.find(handle);
    if (it == open_.end() || it->second.broken) {
        return -1;
    }
    OpenNode& open = it->second;
    if (open.fd < 0) {
        open.fd = openConfirmed(open.node, open.mode);
        open.broken = open.fd < 0;
    }
    return open.fd;
}

std::optional<HidIdentity> HidrawPlatform::identity(const HidrawNode& node) {
    const auto cached = identities_.find(node.name);
    if (node.inode != 0 && cached != identities_.end() && cached->second.first == node.inode) {
        return cached->second.second;
    }
    auto read = sysfs_.readIdentity(node.name);
    if (read && node.inode != 0) {
        identities_[node.name] = {node.inode, *read};
    }
    return read;
}

Result HidrawPlatform::listInterfaces(std::vector<std::string>& paths) {
    listed_ = sysfs_.listNodes(listed_);
    std::erase_if(identities_, [&](const auto& entry) {
        return std::none_of(listed_.begin(), listed_.end(), [&](const HidrawNode& n) {
            return n.name == entry.first && n.inode == entry.second.first;
        });
    });
    std::erase_if(refusals_, [&](const auto& entry) {
        return std::none_of(listed_.begin(), listed_.end(),
                            [&](const HidrawNode& n) { return n.devPath == entry.first; });
    });
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
    // A node the user may not read and write is refused as the open would
    // refuse it, without opening it.
    if (::faccessat(AT_FDCWD, node->devPath.c_str(), R_OK | W_OK, AT_EACCESS) != 0) {
        return refused(path);
    }
    OpenNode open{*node, mode};
    if (mode == OpenMode::Overlapped) {
        open.fd = openConfirmed(*node, mode);
        if (open.fd < 0) {
            return refused(path);
        }
    }
    refusals_.erase(path);
    const Handle handle = newToken();
    open_.emplace(handle, std::move(open));
    return handle;
}

Handle HidrawPlatform::refused(const std::string& path) {
    const int error = errno;
    refusals_[path] = error;
    errno = error;
    return kNoHandle;
}

Result HidrawPlatform::explainRefusal(const std::string& path, Refusal& refusal) {
    const auto node = lookup(path);
    if (!node || !node->hasId) {
        return 0;
    }
    refusal.vendorId = node->vendorId;
    refusal.productId = node->productId;
    const auto it = refusals_.find(path);
    refusal.accessDenied = it != refusals_.end() && (it->second == EACCES || it->second == EPERM);
    return 1;
}

Result HidrawPlatform::getAttributes(Handle handle, Attributes& attributes) {
    const OpenNode* open = openNode(handle);
    if (open == nullptr || open->broken) {
        return 0;
    }
    const auto identity = this->identity(open->node);
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
    if (open == nullptr || open->broken || buffer.size() < kStringQueryBytes) {
        return 0;
    }
    const auto identity = this->identity(open->node);
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
    if (!text) {
        return 0;
    }
    writeUtf16le(*text, buffer.first(kStringQueryBytes));
    return 1;
}

Result HidrawPlatform::getCapabilities(Handle handle, Capabilities& capabilities) {
    const int fd = descriptor(handle);
    if (fd < 0) {
        return 0;
    }
    std::vector<std::uint8_t> bytes;
    int descriptorSize = 0;
    if (ioctlRetrying(fd, HIDIOCGRDESCSIZE, &descriptorSize) == 0) {
        auto descriptor = std::make_unique<hidraw_report_descriptor>();
        descriptor->size = static_cast<std::uint32_t>(
            std::clamp(descriptorSize, 0, static_cast<int>(HID_MAX_DESCRIPTOR_SIZE)));
        if (ioctlRetrying(fd, HIDIOCGRDESC, descriptor.get()) != 0) {
            return 0;
        }
        bytes.assign(descriptor->value, descriptor->value + descriptor->size);
    } else if (unsupported(errno)) {
        const auto text = sysfs_.readReportDescriptor(open_.at(handle).node.name);
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
    if (report.empty() || report.size() > kMaxIoctlBytes) {
        return 0;
    }
    const int fd = descriptor(handle);
    if (fd < 0) {
        return 0;
    }
    std::vector<std::uint8_t> copy(report.begin(), report.end());
    return ioctlRetrying(fd, HIDIOCSFEATURE(copy.size()), copy.data()) >= 0 ? 1 : 0;
}

Result HidrawPlatform::getFeature(Handle handle, std::span<std::uint8_t> report) {
    if (report.empty() || report.size() > kMaxIoctlBytes) {
        return 0;
    }
    const int fd = descriptor(handle);
    if (fd < 0) {
        return 0;
    }
    // The ioctl answers with the length the device sent, report ID included.
    const int received = ioctlRetrying(fd, HIDIOCGFEATURE(report.size()), report.data());
    if (received <= 0) {
        return 0;
    }
    return static_cast<Result>(std::min(static_cast<std::size_t>(received), report.size()));
}

Handle HidrawPlatform::createEvent(const SecurityAttributes& /*security*/) {
    const Handle token = newToken();
    events_.insert(token);
    return token;
}

Result HidrawPlatform::readInputReport(Handle readHandle, std::span<std::uint8_t> buffer,
                                       ReadOverlapped& /*overlapped*/) {
    const int fd = buffer.empty() ? -1 : descriptor(readHandle);
    if (fd < 0) {
        return 0;
    }
    // hidraw hands out reports queued before an unplug even after it, so the
    // device is asked first whether it is still there (a node that is no
    // hidraw node cannot answer and is read all the same).
    hidraw_devinfo info{};
    if (ioctlRetrying(fd, HIDIOCGRAWINFO, &info) < 0 && !unsupported(errno)) {
        return 0;
    }
    // Non-blocking: a report waiting is read at once; EAGAIN means nothing
    // waits, EIO/ENODEV that the device is gone. Only a report is success.
    ssize_t n = 0;
    do {
        n = ::read(fd, buffer.data(), buffer.size());
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
    const int fd = it->second.fd;
    open_.erase(it);
    return fd < 0 || ::close(fd) == 0 ? 1 : 0;
}

}  // namespace tpg::hid::hidraw
