// The platform seam as the command line uses it: every call goes to the real
// backend, and every failed call is kept with the operation, the interface
// path and the system's error text, so that a failure the command acts on
// can be told precisely. It changes no result.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cli/SystemError.h"
#include "hid/HidPlatform.h"

namespace tpg::cli {

struct PlatformFailure {
    std::string operation;  // "setFeature", "open", ...
    std::string path;       // the interface, empty when the call had none
    std::string systemText;

    // "setFeature on /dev/hidraw3: Broken pipe"
    std::string describe() const;
};

class CheckedPlatform : public hid::HidPlatform {
  public:
    CheckedPlatform(hid::HidPlatform& inner, SystemError& errors)
        : inner_(inner), errors_(errors) {}

    // The failures since the last forget(), oldest first.
    const std::vector<PlatformFailure>& failures() const { return failures_; }
    // The latest failure of operation since the last forget(), if any.
    std::optional<PlatformFailure> failureOf(const std::string& operation) const;
    void forget() { failures_.clear(); }
    // The path a handle open through this layer was opened on; empty for
    // any other handle.
    std::string pathOf(hid::Handle handle) const;

    hid::Result listInterfaces(std::vector<std::string>& paths) override;
    hid::Handle open(const std::string& path, hid::OpenMode mode,
                     const hid::SecurityAttributes& security) override;
    hid::Result getAttributes(hid::Handle handle, hid::Attributes& attributes) override;
    hid::Result getString(hid::Handle handle, hid::StringKind kind,
                          std::span<std::uint8_t> buffer) override;
    hid::Result getCapabilities(hid::Handle handle, hid::Capabilities& capabilities) override;
    hid::Result setFeature(hid::Handle handle, std::span<const std::uint8_t> report) override;
    hid::Result getFeature(hid::Handle handle, std::span<std::uint8_t> report) override;
    hid::Handle createEvent(const hid::SecurityAttributes& security) override;
    hid::Result readInputReport(hid::Handle readHandle, std::span<std::uint8_t> buffer,
                                hid::ReadOverlapped& overlapped) override;
    hid::Result close(hid::Handle handle) override;
    // Asks the backend, recording nothing: it explains a failure kept already.
    hid::Result explainRefusal(const std::string& path, hid::Refusal& refusal) override {
        return inner_.explainRefusal(path, refusal);
    }

  private:
    // Runs one call with the system's error cleared, and keeps a failure:
    // a zero result, or no handle.
    template <typename Call>
    hid::Result checked(const char* operation, const std::string& path, Call call);
    template <typename Call>
    hid::Handle checkedOpen(const char* operation, const std::string& path, Call call);

    hid::HidPlatform& inner_;
    SystemError& errors_;
    std::map<hid::Handle, std::string> paths_;
    std::vector<PlatformFailure> failures_;
};

}  // namespace tpg::cli
