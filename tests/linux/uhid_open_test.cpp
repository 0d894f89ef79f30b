// A uhid device that cannot be made says why, and what fixes it when
// something does.
#include <gtest/gtest.h>

#include "hid/linux/uhid/UhidDevice.h"

namespace {

using namespace tpg::hid::uhid;

class SilentHandler : public UhidHandler {
  public:
    std::optional<std::vector<std::uint8_t>> getReport(std::uint8_t, ReportType) override {
        return std::nullopt;
    }
    bool setReport(std::uint8_t, ReportType, std::span<const std::uint8_t>) override {
        return false;
    }
    std::optional<std::vector<std::uint8_t>> inputReport() override { return std::nullopt; }
};

TEST(UhidOpen, TheReasonAndTheFix) {
    const struct {
        std::string path;
        std::string error;
    } cases[] = {
        // No uhid module loaded: no node.
        {"/nonexistent/uhid",
         "cannot open /nonexistent/uhid: No such file or directory (modprobe uhid)"},
        // Neither the module nor root helps.
        {"/", "cannot open /: Is a directory"},
    };
    for (const auto& c : cases) {
        SilentHandler handler;
        std::string error;
        UhidSpec spec;
        spec.name = "G";
        spec.descriptor = {0x06, 0x00, 0xFF};
        EXPECT_EQ(UhidDevice::create(spec, handler, std::chrono::milliseconds(5), error, c.path),
                  nullptr);
        EXPECT_EQ(error, c.error) << c.path;
    }
}

}  // namespace
