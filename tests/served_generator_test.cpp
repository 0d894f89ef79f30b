// The generator serve holds open, under the instrument, on the simulated
// bench: what a client sees when the generator is missing, comes late, is
// unplugged, or a HID call fails once or for good; and that the handles
// follow the generator.
#include <gtest/gtest.h>

#include <sstream>

#include "CliRig.h"
#include "cli/ServedGenerator.h"
#include "scpi/Instrument.h"

namespace tpg::test {
namespace {

using hid::sim::Op;

constexpr const char* kPath = "/dev/hid/a";

struct Served {
    hid::sim::SimulatedBench bench;
    BenchErrors errors;
    std::ostringstream log;
    cli::ServedGenerator generator;
    scpi::Instrument instrument{generator};

    explicit Served(std::optional<std::string> serial = std::nullopt)
        : generator(bench, errors, std::move(serial), log) {}
    void plug(const char* path = kPath, const std::u16string& serial = u"A") {
        bench.plug(hid::sim::generatorSpec(path, serial));
    }
    // The message's answer and then the error it left.
    std::pair<std::string, std::string> run(const std::string& message) {
        const std::string answer = instrument.execute(message);
        std::string error = instrument.execute("SYST:ERR?");
        error.pop_back();
        return {answer, error};
    }
};

const std::string kNoError = "0,\"No error\"";
const std::string kMissing = "-241,\"Hardware missing\"";

TEST(ServedGenerator, FaultsAsTheClientSeesThem) {
    struct Case {
        const char* name;
        std::function<void(Served&)> arrange;
        const char* message;
        std::string answer;
        std::string error;
        std::size_t reportsSent;
    };
    const Case cases[] = {
        {"none present", [](Served&) {}, "FREQ 1e6", "", kMissing, 0},
        {"none present, query", [](Served&) {}, "FREQ?", "", kMissing, 0},
        {"plugged after start: taken at the command",
         [](Served& s) {
             s.generator.tick();
             s.plug();
         },
         "FREQ 1e6", "", kNoError, 1},
        {"two without --serial",
         [](Served& s) {
             s.plug();
             s.plug("/dev/hid/b", u"B");
         },
         "FREQ 1e6", "", kMissing, 0},
        {"set fails once: opened afresh, sent",
         [](Served& s) {
             s.plug();
             s.bench.failOnce(Op::SetFeature);
         },
         "FREQ 1e6", "", kNoError, 1},
        {"set fails for good",
         [](Served& s) {
             s.plug();
             s.bench.failAlways(Op::SetFeature);
         },
         "FREQ 1e6", "", "-240,\"Hardware error;setFeature on /dev/hid/a: Input/output error\"", 0},
        {"state read fails for good",
         [](Served& s) {
             s.plug();
             s.bench.failAlways(Op::GetFeature);
         },
         "FREQ?", "", "-240,\"Hardware error;getFeature on /dev/hid/a: Input/output error\"", 0},
        {"unplugged since the last command",
         [](Served& s) {
             s.plug();
             s.run("*OPC");
             s.bench.unplug(kPath);
         },
         "VOLT:IND 3", "", kMissing, 0},
        {"unplugged and back between two commands",
         [](Served& s) {
             s.plug();
             s.run("*OPC");
             s.bench.unplug(kPath);
             s.plug();
         },
         "FREQ?", "10000000\n", kNoError, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Served served;
        c.arrange(served);
        served.bench.clearSentReports();
        EXPECT_EQ(served.run(c.message), std::make_pair(c.answer, c.error));
        EXPECT_EQ(served.bench.sentReports().size(), c.reportsSent);
        served.generator.close();
        EXPECT_EQ(served.bench.openDeviceHandles(), 0);
    }
}

TEST(ServedGenerator, TheMonitorFollowsTheGenerator) {
    Served served(std::string("B"));
    served.plug();  // another serial
    EXPECT_EQ(served.generator.tick(), link::kLinkLostInterval);
    EXPECT_FALSE(served.generator.isOpen());
    served.plug("/dev/hid/b", u"B");
    EXPECT_EQ(served.generator.tick(), link::kLinkAliveInterval);
    EXPECT_EQ(served.bench.openHandles("/dev/hid/b"), 2);
    EXPECT_EQ(served.bench.openHandles(kPath), 0);
    served.bench.unplug("/dev/hid/b");
    served.generator.tick();  // noticed at the tick, without a command
    EXPECT_FALSE(served.generator.isOpen());
    EXPECT_EQ(served.bench.openDeviceHandles(), 0);
    served.plug("/dev/hid/b", u"B");
    served.generator.tick();
    EXPECT_TRUE(served.generator.isOpen());
    EXPECT_EQ(served.run("*IDN?").first,
              "Trelvix Instruments,Trelvix Pulse Generator TPG-350,B,1.03\n");
    EXPECT_NE(served.log.str().find("the generator B is gone"), std::string::npos);
}

}  // namespace
}  // namespace tpg::test
