// --simulate: every command works on the demo's generators, says they are
// simulated, and never touches the platform the program was given.
#include <gtest/gtest.h>

#include "CliRig.h"

namespace tpg::test {
namespace {

TEST(CliSimulate, EveryCommandOnTheDemoGenerators) {
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string inOutput;  // a piece of standard output or error
    };
    const Case cases[] = {
        {{"--simulate", "list"}, 0, "TPG35-20652\tTrelvix Instruments (simulated)\t"},
#ifdef _WIN32  // node paths as the platform names them
        {{"--simulate", "list"}, 0, "\t\\\\?\\hid#vid_6c3a&pid_4e19#sim&0&0001#{4d1e55b2-"},
#else
        {{"--simulate", "list"}, 0, "\t/dev/hidraw4\n"},
#endif
        {{"--simulate", "show"}, 0, "serial=TPG35-20652\nmaker=Trelvix Instruments (simulated)\n"},
        {{"--simulate", "--serial", "TPG35-20417", "show"}, 0, "freq=25000000\n"},
        {{"--simulate", "--serial", "TPG35-99999", "show"}, 2, "TPG35-99999"},
        {{"--simulate", "set", "freq=2e6", "polarity=normal"}, 0, ""},
        {{"--simulate", "set", "freq=1"}, 1, "Pulse frequency is between"},
        {{"--simulate", "defaults"}, 0, ""},
        {{"--simulate", "apply", "-"}, 1, "-:"},
        {{"--simulate", "--listen", "127.0.0.1:0", "show"}, 1, "--listen is for serve"},
        {{"--simulate", "--listen", "::1:5025", "serve"}, 1, "in brackets"},
        {{"--simulate", "--no-vxi11", "show"}, 1, "--no-vxi11 is for serve"},
        {{"--simulate", "--vxi11-port", "70000", "serve"}, 1, "from 0 to 65535"},
        {{"--simulate", "--vxi11-port=4x", "serve"}, 1, "not \"4x\""},
        {{"--simulate", "--vxi11-port", "0", "--no-vxi11", "serve"}, 1, "contradict"},
    };
    for (const auto& c : cases) {
        CliRig rig;
        rig.plug("a", u"REAL-1");
        const CliOutcome outcome = rig.run(c.args);
        SCOPED_TRACE(c.args.back());
        EXPECT_EQ(outcome.status, c.status) << outcome.err;
        EXPECT_NE((outcome.out + outcome.err).find(c.inOutput), std::string::npos)
            << outcome.out << outcome.err;
        EXPECT_EQ(rig.bench.totalCalls(), 0) << "the real platform was used";
    }
}

}  // namespace
}  // namespace tpg::test
