// trelvix-pulse-cli over the hidraw layer as a user who may not write a
// generator's node: every command names it with the system's reason and the
// fix. Root may write anything, so the commands run in a child that has
// given up root for "nobody", as the generator's user would be.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "SysfsFixture.h"
#include "cli/Commands.h"
#include "hid/linux/HidrawPlatform.h"
#include "link/DeviceLink.h"

namespace tpg::test {
namespace {

class Errno : public cli::SystemError {
  public:
    void clear() override { errno = 0; }
    std::string text() const override { return errno == 0 ? "" : std::strerror(errno); }
};

struct Case {
    std::vector<std::string> args;
    int status;
    std::string outPart;
    std::string errPart;
};

// Runs each case in one child as "nobody"; a line per failed check comes
// back through the pipe.
std::string runAsNobody(const SysfsFixture& fs, const std::vector<Case>& cases) {
    int pipeFds[2];
    EXPECT_EQ(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    EXPECT_GE(child, 0);
    if (child == 0) {
        ::close(pipeFds[0]);
        std::string report;
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) {
            report = "could not become nobody\n";
        }
        hid::hidraw::HidrawPlatform platform(
            {.sysfsRoot = fs.sysfsRoot(),
             .devRoot = fs.devRoot(),
             .openable = {{link::kGeneratorVendorId, link::kGeneratorProductId}}});
        Errno errors;
        for (const auto& c : cases) {
            std::istringstream in;
            std::ostringstream out;
            std::ostringstream err;
            const int status = cli::run(c.args, platform, errors, {in, out, err});
            if (status != c.status || out.str().find(c.outPart) == std::string::npos ||
                err.str().find(c.errPart) == std::string::npos || platform.openNodeCount() != 0) {
                report += c.args.front() + ": status " + std::to_string(status) +
                          "\nout: " + out.str() + "\nerr: " + err.str() + "\n";
            }
        }
        const auto written = ::write(pipeFds[1], report.data(), report.size());
        ::_exit(written == static_cast<ssize_t>(report.size()) ? 0 : 1);
    }
    ::close(pipeFds[1]);
    std::string report;
    char buffer[512];
    ssize_t n = 0;
    while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0) {
        report.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(pipeFds[0]);
    int status = 0;
    EXPECT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    return report;
}

TEST(CliOverHidraw, AGeneratorThatMayNotBeWrittenIsNamedWithTheFix) {
    SysfsFixture fs;
    fs.addUsb(2, link::kGeneratorVendorId, link::kGeneratorProductId,
              {"Trelvix", "Pulse Generator 350", "TPG350-00417", "0103"},
              generatorDescriptorBytes());
    fs.addUsb(3, 0x1234, 0x0001, {"Keys Inc", "Keyboard", std::nullopt, "0110"}, {});
    fs.addVirtual(10, link::kGeneratorVendorId, link::kGeneratorProductId, "Virtual Generator",
                  "TPG-V-7", generatorDescriptorBytes());
    fs.setModes({2, 3});  // the generator on USB and the keyboard: read-only

    const std::string denied =
        fs.devPath(2) + ": Permission denied: see README, \"No root is needed\"";
    // Beside a generator that may be used, then alone.
    EXPECT_EQ(runAsNobody(fs, {{{"list"}, 0, "TPG-V-7\t", "could not be opened:\n  " + denied},
                               {{"show"}, 1, "", "several generators are present"}}),
              "");
    fs.remove(10);
    EXPECT_EQ(
        runAsNobody(fs, {{{"show"}, 2, "", "no generator could be opened:\n  " + denied + "\n"},
                         {{"set", "polarity=normal"}, 2, "", denied},
                         {{"list", "--json"},
                          2,
                          "\"error\": \"Permission denied: see README, \\\"No root is needed\\\"\"",
                          denied}}),
        "");
}

}  // namespace
}  // namespace tpg::test
