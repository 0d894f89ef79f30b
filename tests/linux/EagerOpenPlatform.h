// The hidraw layer as it was before it opened on first use: every handle it
// gives out holds a descriptor on the node from the open on, so each walk
// opens every generator it examines. Used to measure what opening on first
// use saves, on fixture trees and on a real kernel.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <map>
#include <string>

#include "hid/HidPlatform.h"

namespace tpg::test {

class EagerOpenPlatform : public hid::HidPlatform {
  public:
    explicit EagerOpenPlatform(hid::HidPlatform& inner) : inner_(inner) {}
    EagerOpenPlatform(const EagerOpenPlatform&) = delete;
    EagerOpenPlatform& operator=(const EagerOpenPlatform&) = delete;
    ~EagerOpenPlatform() override {
        for (const auto& [handle, fd] : fds_) {
            ::close(fd);
        }
    }

    hid::Result listInterfaces(std::vector<std::string>& paths) override {
        return inner_.listInterfaces(paths);
    }
    hid::Handle open(const std::string& path, hid::OpenMode mode,
                     const hid::SecurityAttributes& security) override {
        const hid::Handle handle = inner_.open(path, mode, security);
        if (hid::isOpen(handle)) {
            const int flags =
                O_RDWR | O_CLOEXEC | (mode == hid::OpenMode::Overlapped ? O_NONBLOCK : 0);
            const int fd = ::open(path.c_str(), flags);
            if (fd < 0) {
                inner_.close(handle);
                return hid::kNoHandle;
            }
            fds_[handle] = fd;
        }
        return handle;
    }
    hid::Result getAttributes(hid::Handle handle, hid::Attributes& attributes) override {
        return inner_.getAttributes(handle, attributes);
    }
    hid::Result getString(hid::Handle handle, hid::StringKind kind,
                          std::span<std::uint8_t> buffer) override {
        return inner_.getString(handle, kind, buffer);
    }
    hid::Result getCapabilities(hid::Handle handle, hid::Capabilities& capabilities) override {
        return inner_.getCapabilities(handle, capabilities);
    }
    hid::Result setFeature(hid::Handle handle, std::span<const std::uint8_t> report) override {
        return inner_.setFeature(handle, report);
    }
    hid::Result getFeature(hid::Handle handle, std::span<std::uint8_t> report) override {
        return inner_.getFeature(handle, report);
    }
    hid::Handle createEvent(const hid::SecurityAttributes& security) override {
        return inner_.createEvent(security);
    }
    hid::Result readInputReport(hid::Handle readHandle, std::span<std::uint8_t> buffer,
                                hid::ReadOverlapped& overlapped) override {
        return inner_.readInputReport(readHandle, buffer, overlapped);
    }
    hid::Result close(hid::Handle handle) override {
        if (const auto it = fds_.find(handle); it != fds_.end()) {
            ::close(it->second);
            fds_.erase(it);
        }
        return inner_.close(handle);
    }

  private:
    hid::HidPlatform& inner_;
    std::map<hid::Handle, int> fds_;
};

}  // namespace tpg::test
