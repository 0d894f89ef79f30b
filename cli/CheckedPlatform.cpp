#include "cli/CheckedPlatform.h"

namespace tpg::cli {

std::string PlatformFailure::describe() const {
    std::string text = operation;
    if (!path.empty()) {
        text += " on " + path;
    }
    text += ": ";
    text += systemText.empty() ? "the system gave no reason" : systemText;
    return text;
}

std::optional<PlatformFailure> CheckedPlatform::failureOf(const std::string& operation) const {
    for (auto it = failures_.rbegin(); it != failures_.rend(); ++it) {
        if (it->operation == operation) {
            return *it;
        }
    }
    return std::nullopt;
}

template <typename Call>
hid::Result CheckedPlatform::checked(const char* operation, const std::string& path, Call call) {
    errors_.clear();
    const hid::Result result = call();
    if (result == 0) {
        failures_.push_back(PlatformFailure{operation, path, errors_.text()});
    }
    return result;
}

template <typename Call>
hid::Handle CheckedPlatform::checkedOpen(const char* operation, const std::string& path,
                                         Call call) {
    errors_.clear();
    const hid::Handle handle = call();
    if (!hid::isOpen(handle)) {
        failures_.push_back(PlatformFailure{operation, path, errors_.text()});
    }
    return handle;
}

std::string CheckedPlatform::pathOf(hid::Handle handle) const {
    const auto it = paths_.find(handle);
    return it == paths_.end() ? std::string() : it->second;
}

hid::Result CheckedPlatform::listInterfaces(std::vector<std::string>& paths) {
    return checked("listInterfaces", {}, [&] { return inner_.listInterfaces(paths); });
}

hid::Handle CheckedPlatform::open(const std::string& path, hid::OpenMode mode,
                                  const hid::SecurityAttributes& security) {
    const hid::Handle handle =
        checkedOpen("open", path, [&] { return inner_.open(path, mode, security); });
    if (hid::isOpen(handle)) {
        paths_[handle] = path;
    }
    return handle;
}

hid::Result CheckedPlatform::getAttributes(hid::Handle handle, hid::Attributes& attributes) {
    return checked("getAttributes", pathOf(handle),
                   [&] { return inner_.getAttributes(handle, attributes); });
}

hid::Result CheckedPlatform::getString(hid::Handle handle, hid::StringKind kind,
                                       std::span<std::uint8_t> buffer) {
    return checked("getString", pathOf(handle),
                   [&] { return inner_.getString(handle, kind, buffer); });
}

hid::Result CheckedPlatform::getCapabilities(hid::Handle handle, hid::Capabilities& capabilities) {
    return checked("getCapabilities", pathOf(handle),
                   [&] { return inner_.getCapabilities(handle, capabilities); });
}

hid::Result CheckedPlatform::setFeature(hid::Handle handle, std::span<const std::uint8_t> report) {
    return checked("setFeature", pathOf(handle), [&] { return inner_.setFeature(handle, report); });
}

hid::Result CheckedPlatform::getFeature(hid::Handle handle, std::span<std::uint8_t> report) {
    return checked("getFeature", pathOf(handle), [&] { return inner_.getFeature(handle, report); });
}

hid::Handle CheckedPlatform::createEvent(const hid::SecurityAttributes& security) {
    return checkedOpen("createEvent", {}, [&] { return inner_.createEvent(security); });
}

hid::Result CheckedPlatform::readInputReport(hid::Handle readHandle, std::span<std::uint8_t> buffer,
                                             hid::ReadOverlapped& overlapped) {
    return checked("readInputReport", pathOf(readHandle),
                   [&] { return inner_.readInputReport(readHandle, buffer, overlapped); });
}

hid::Result CheckedPlatform::close(hid::Handle handle) {
    const std::string path = pathOf(handle);
    paths_.erase(handle);
    return checked("close", path, [&] { return inner_.close(handle); });
}

}  // namespace tpg::cli
