// The command line over a simulated bench: runs one command line and keeps
// what it printed, its exit status and what reached the generators.
#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "SentReports.h"
#include "cli/Commands.h"
#include "hid/sim/SimulatedBench.h"

namespace tpg::test {

// The system's account of every failure, as the bench gives none.
class BenchErrors : public cli::SystemError {
  public:
    void clear() override {}
    std::string text() const override { return "Input/output error"; }
};

struct CliOutcome {
    int status = -1;
    std::string out;
    std::string err;
};

inline CliOutcome runCli(hid::HidPlatform& platform, const std::vector<std::string>& args,
                         const std::string& input = {}) {
    BenchErrors errors;
    std::istringstream in(input);
    std::ostringstream out;
    std::ostringstream err;
    CliOutcome outcome;
    outcome.status = cli::run(args, platform, errors, {in, out, err});
    outcome.out = out.str();
    outcome.err = err.str();
    return outcome;
}

struct CliRig {
    hid::sim::SimulatedBench bench;

    static std::string path(const std::string& name) { return "/dev/hid/" + name; }
    hid::sim::DeviceSpec& plug(
        const std::string& name, const std::u16string& serial,
        const protocol::DeviceState& state = hid::sim::GeneratorModel::factoryState()) {
        bench.plug(hid::sim::generatorSpec(path(name), serial, state));
        return *bench.device(path(name));
    }
    void plugForeign(const std::string& name) {
        bench.plug(hid::sim::foreignSpec(path(name), 0x046D, 0xC52B));
    }

    CliOutcome run(const std::vector<std::string>& args, const std::string& input = {}) {
        CliOutcome outcome = runCli(bench, args, input);
        // Whatever the command did, it leaves nothing open.
        EXPECT_EQ(bench.openDeviceHandles(), 0) << "device handles left open";
        EXPECT_EQ(bench.openEvents(), 0) << "events left open";
        return outcome;
    }

    // The reports received, as (path, bytes), in order; then forgets them.
    std::vector<std::pair<std::string, Bytes>> takeSent() {
        std::vector<std::pair<std::string, Bytes>> out;
        for (const auto& r : bench.sentReports()) {
            out.emplace_back(r.path, r.bytes);
        }
        bench.clearSentReports();
        return out;
    }
};

}  // namespace tpg::test
