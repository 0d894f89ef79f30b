#include "hid/linux/SysfsHidraw.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace tpg::hid::hidraw {

namespace {

constexpr std::string_view kNodePrefix = "hidraw";
// Sysfs attributes are at most one page; descriptors at most 4096 bytes.
constexpr std::size_t kMaxAttributeBytes = 8192;

// Reads a whole sysfs attribute with plain system calls (no stream buffers:
// the rescan runs this for every node on every tick).
std::optional<std::string> readFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    std::string content;
    std::array<char, 1024> chunk{};
    bool failed = false;
    while (content.size() < kMaxAttributeBytes) {
        const ssize_t n = ::read(fd, chunk.data(), chunk.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            failed = true;
            break;
        }
        if (n == 0) {
            break;
        }
        content.append(chunk.data(), static_cast<std::size_t>(n));
    }
    ::close(fd);
    if (failed) {
        return std::nullopt;
    }
    return content;
}

// A one-line attribute without its line end.
std::optional<std::string> readLine(const std::string& path) {
    auto text = readFile(path);
    if (text && !text->empty() && text->back() == '\n') {
        text->pop_back();
    }
    return text;
}

bool exists(const std::string& path) {
    return ::access(path.c_str(), F_OK) == 0;
}

std::string parentDir(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos || slash == 0 ? std::string("/") : path.substr(0, slash);
}

// hidrawN -> N; nothing for a name that is not a hidraw node.
std::optional<unsigned long> nodeNumber(std::string_view name) {
    if (name.size() <= kNodePrefix.size() || name.substr(0, kNodePrefix.size()) != kNodePrefix) {
        return std::nullopt;
    }
    unsigned long number = 0;
    for (const char c : name.substr(kNodePrefix.size())) {
        if (c < '0' || c > '9' || number > ULONG_MAX / 10) {
            return std::nullopt;
        }
        number = number * 10 + static_cast<unsigned long>(c - '0');
    }
    return number;
}

bool parseHex(std::string_view text, std::uint32_t& value) {
    if (text.empty() || text.size() > 8) {
        return false;
    }
    value = 0;
    for (const char c : text) {
        unsigned digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        } else {
            return false;
        }
        value = (value << 4) | digit;
    }
    return true;
}

}  // namespace

std::optional<std::string> ueventValue(const std::string& uevent, const std::string& key) {
    std::size_t pos = 0;
    while (pos < uevent.size()) {
        auto end = uevent.find('\n', pos);
        if (end == std::string::npos) {
            end = uevent.size();
        }
        const std::string_view line(uevent.data() + pos, end - pos);
        if (line.size() > key.size() && line.substr(0, key.size()) == key &&
            line[key.size()] == '=') {
            return std::string(line.substr(key.size() + 1));
        }
        pos = end + 1;
    }
    return std::nullopt;
}

bool parseHidId(const std::string& value, std::uint16_t& bus, std::uint16_t& vendorId,
                std::uint16_t& productId) {
    const auto first = value.find(':');
    const auto second = first == std::string::npos ? first : value.find(':', first + 1);
    if (second == std::string::npos) {
        return false;
    }
    std::uint32_t b = 0;
    std::uint32_t v = 0;
    std::uint32_t p = 0;
    const std::string_view text(value);
    if (!parseHex(text.substr(0, first), b) ||
        !parseHex(text.substr(first + 1, second - first - 1), v) ||
        !parseHex(text.substr(second + 1), p) || b > 0xFFFF || v > 0xFFFF || p > 0xFFFF) {
        return false;
    }
    bus = static_cast<std::uint16_t>(b);
    vendorId = static_cast<std::uint16_t>(v);
    productId = static_cast<std::uint16_t>(p);
    return true;
}

std::optional<HidrawNode> SysfsHidraw::readNode(const std::string& nodeName) const {
    if (!nodeNumber(nodeName)) {
        return std::nullopt;
    }
    HidrawNode node;
    node.name = nodeName;
    node.devPath = devRoot_ + "/" + nodeName;
    const auto uevent = readUevent(nodeName);
    if (!uevent) {
        return std::nullopt;  // gone between the listing and the read
    }
    if (const auto id = ueventValue(*uevent, "HID_ID")) {
        node.hasId = parseHidId(*id, node.bus, node.vendorId, node.productId);
    }
    return node;
}

std::vector<HidrawNode> SysfsHidraw::listNodes(std::span<const HidrawNode> known) const {
    struct Entry {
        unsigned long number;
        std::string name;
        std::uint64_t inode;
        bool operator<(const Entry& other) const { return number < other.number; }
    };
    std::vector<Entry> entries;
    if (DIR* dir = ::opendir(classDir().c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            if (const auto number = nodeNumber(entry->d_name)) {
                entries.push_back({*number, entry->d_name, entry->d_ino});
            }
        }
        ::closedir(dir);
    }
    std::sort(entries.begin(), entries.end());
    std::vector<HidrawNode> nodes;
    nodes.reserve(entries.size());
    for (const auto& entry : entries) {
        const auto same = std::find_if(known.begin(), known.end(), [&](const HidrawNode& k) {
            return entry.inode != 0 && k.inode == entry.inode && k.name == entry.name;
        });
        if (same != known.end()) {
            nodes.push_back(*same);
        } else if (auto node = readNode(entry.name)) {
            node->inode = entry.inode;
            nodes.push_back(std::move(*node));
        }
    }
    return nodes;
}

std::optional<HidrawNode> SysfsHidraw::nodeForPath(const std::string& devPath) const {
    const std::string prefix = devRoot_ + "/";
    if (devPath.size() <= prefix.size() || devPath.compare(0, prefix.size(), prefix) != 0) {
        return std::nullopt;
    }
    const std::string name = devPath.substr(prefix.size());
    if (name.find('/') != std::string::npos) {
        return std::nullopt;
    }
    return readNode(name);
}

std::optional<HidIdentity> SysfsHidraw::readIdentity(const std::string& nodeName) const {
    std::array<char, PATH_MAX> resolved{};
    if (::realpath(hidDeviceLink(nodeName).c_str(), resolved.data()) == nullptr) {
        return std::nullopt;
    }
    const std::string hidDevice(resolved.data());
    HidIdentity identity;

    // On USB the HID device sits below an interface, which sits below the
    // USB device that holds the descriptors. Anything else above the HID
    // device (a Bluetooth adapter, the uhid misc device) is not its own.
    const std::string usbInterface = parentDir(hidDevice);
    const std::string usbDevice = parentDir(usbInterface);
    if (exists(usbInterface + "/bInterfaceNumber") && exists(usbDevice + "/idVendor")) {
        identity.usbParent = true;
        std::uint32_t version = 0;
        const auto bcd = readLine(usbDevice + "/bcdDevice");
        if (bcd && parseHex(*bcd, version) && version <= 0xFFFF) {
            identity.versionNumber = static_cast<std::uint16_t>(version);
        }
        identity.manufacturer = readLine(usbDevice + "/manufacturer");
        identity.product = readLine(usbDevice + "/product");
        identity.serialNumber = readLine(usbDevice + "/serial");
        return identity;
    }

    const auto uevent = readFile(hidDevice + "/uevent");
    if (!uevent) {
        return std::nullopt;
    }
    auto name = ueventValue(*uevent, "HID_NAME");
    if (name && !name->empty()) {
        identity.manufacturer = name;
        identity.product = name;
    }
    auto uniq = ueventValue(*uevent, "HID_UNIQ");
    if (uniq && !uniq->empty()) {
        identity.serialNumber = uniq;
    }
    return identity;
}

std::optional<std::string> SysfsHidraw::readUevent(const std::string& nodeName) const {
    return readFile(hidDeviceLink(nodeName) + "/uevent");
}

std::optional<std::string> SysfsHidraw::readReportDescriptor(const std::string& nodeName) const {
    return readFile(hidDeviceLink(nodeName) + "/report_descriptor");
}

}  // namespace tpg::hid::hidraw
