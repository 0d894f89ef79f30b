// The command line's JSON: the exact shape of list and show (the keys are
// documented and scripts rely on them), and apply reading back a setup that
// show saved, every value checked before anything is sent.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "CliRig.h"
#include "cli/Json.h"

namespace tpg::test {
namespace {

TEST(CliJson, ShowAndListHaveTheirDocumentedShape) {
    CliRig rig;
    rig.plug("a", u"TPG35-20417", {24999, 200, 0, 1, 2000000});
    rig.plug("b", u"TPG35-20652");
    const auto show = rig.run({"--serial", "TPG35-20417", "show", "--json"});
    EXPECT_EQ(show.status, 0);
    EXPECT_EQ(show.out, R"({
  "serial": "TPG35-20417",
  "maker": "Trelvix Instruments",
  "product": "Trelvix Pulse Generator TPG-350",
  "version": "1.03",
  "path": "/dev/hid/a",
  "settings": {
    "freq": 10000000,
    "amplitude_mv": 667,
    "amplitude_index": 200,
    "polarity": "inverted",
    "trigger": "sync",
    "sync_freq": 2000000
  },
  "out_of_range": {
    "freq": true,
    "amplitude": false,
    "polarity": false,
    "trigger": false,
    "sync_freq": false
  },
  "device": {
    "freq": 24999,
    "amplitude_index": 200,
    "polarity": 0,
    "trigger": 1,
    "sync_freq": 2000000
  }
}
)");
    const auto list = rig.run({"list", "--json"});
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.out, R"([
  {
    "serial": "TPG35-20417",
    "maker": "Trelvix Instruments",
    "product": "Trelvix Pulse Generator TPG-350",
    "version": "1.03",
    "path": "/dev/hid/a"
  },
  {
    "serial": "TPG35-20652",
    "maker": "Trelvix Instruments",
    "product": "Trelvix Pulse Generator TPG-350",
    "version": "1.03",
    "path": "/dev/hid/b"
  }
]
)");
    const auto none = runCli(rig.bench, {"list", "--json", "--serial", "nobody"});
    EXPECT_EQ(none.status, 2);
    EXPECT_EQ(none.out, "[]\n");
}

TEST(CliJson, DeviceStringsSurviveTheRoundTrip) {
    const std::u16string serials[] = {u"quote\"back\\slash", u"tab\tline\nend", u"Ärger-\u0100",
                                      u"\U0001F600", u"\u0001"};
    for (const auto& serial : serials) {
        CliRig rig;
        rig.plug("a", serial);
        const auto list = rig.run({"list", "--json"});
        ASSERT_EQ(list.status, 0);
        std::string error;
        const auto parsed = cli::parseJson(list.out, error);
        ASSERT_TRUE(parsed) << error << "\n" << list.out;
        const std::string read = parsed->items().at(0).find("serial")->text();
        // The serial read back is the one the CLI matches with --serial.
        const auto show = rig.run({"--serial", read, "show"});
        EXPECT_EQ(show.status, 0) << show.err;
    }
}

TEST(CliSetup, ApplyRestoresWhatShowSaved) {
    CliRig rig;
    rig.plug("a", u"A", {125000000, 200, 0, 1, 2000000});
    rig.plug("b", u"B");
    const auto saved = rig.run({"--serial", "A", "show", "--json"});
    ASSERT_EQ(saved.status, 0);

    // From standard input, onto the other generator: five reports in the
    // order of the defaults.
    const auto applied = rig.run({"apply", "-", "--serial", "B"}, saved.out);
    EXPECT_EQ(applied.status, 0) << applied.err;
    const auto sent = rig.takeSent();
    ASSERT_EQ(sent.size(), 5U);
    const std::vector<std::uint8_t> codes = {sent[0].second[1], sent[1].second[1],
                                             sent[2].second[1], sent[3].second[1],
                                             sent[4].second[1]};
    EXPECT_EQ(codes, (std::vector<std::uint8_t>{1, 2, 5, 6, 3}));
    EXPECT_EQ(rig.bench.generator(CliRig::path("b"))->state(),
              rig.bench.generator(CliRig::path("a"))->state());

    // From a file, after the generator was put back to its defaults.
    EXPECT_EQ(rig.run({"--serial", "B", "defaults"}).status, 0);
    const std::string file = testing::TempDir() + "tpg-setup.json";
    std::ofstream(file) << saved.out;
    EXPECT_EQ(rig.run({"--serial", "B", "apply", file}).status, 0);
    std::remove(file.c_str());
    EXPECT_EQ(rig.bench.generator(CliRig::path("b"))->state(),
              rig.bench.generator(CliRig::path("a"))->state());
}

TEST(CliSetup, ABadSetupSendsNothing) {
    const std::string good =
        R"("freq": 25000, "amplitude_index": 1, "polarity": "inverted", "trigger": "sync")";
    struct Case {
        std::string text;
        std::vector<std::string> extraArgs;
        const char* errorPart;
    };
    const Case cases[] = {
        {"", {}, "not a JSON text: line 1: the text ends where a value should be"},
        {"{\"settings\": {\n\"freq\": 25000,\n}}", {}, "line 3: a key in double quotes"},
        {"[1, 2]", {}, "no \"settings\" object"},
        // Text that is not UTF-8: a cut sequence, an overlong one, an encoded
        // surrogate, a stray continuation byte.
        {"{\"settings\": {\"freq\": \"12\xC3\x28\"}}", {}, "line 1: a string is not valid UTF-8"},
        {"{\"settings\":\n {\"\xC0\xAF\": 1}}", {}, "line 2: a string is not valid UTF-8"},
        {"{\"s\xED\xA0\x80\": 1}", {}, "a string is not valid UTF-8"},
        {"{\"settings\": {\"freq\": \"\x80\"}}", {}, "a string is not valid UTF-8"},
        {R"({"settings": [1]})", {}, "no \"settings\" object"},
        {"{\"settings\": {" + good + "}}", {}, "the setup has no \"sync_freq\""},
        {R"({"settings": {"freq": 25000}})", {}, "no \"amplitude_index\" or \"amplitude_mv\""},
        {"{\"settings\": {" + good + R"(, "sync_freq": 2000000, "volume": 3}})",
         {},
         "unknown setting \"volume\""},
        {"{\"settings\": {" + good + R"(, "sync_freq": 2000000, "freq": 30000}})",
         {},
         "the key \"freq\" appears twice"},
        {R"({"settings": {"freq": 1, "amplitude_index": 1, "polarity": "inverted",
            "trigger": "sync", "sync_freq": 2000000}})",
         {},
         "freq=1: Pulse frequency is between 25kHz and 350MHz"},
        {R"({"settings": {"freq": true, "amplitude_index": 1, "polarity": "inverted",
            "trigger": "sync", "sync_freq": 2000000}})",
         {},
         "freq: a number or a text was expected"},
        {R"({"settings": {"freq": 25000, "amplitude_index": 1, "polarity": "up",
            "trigger": "sync", "sync_freq": 2000000}})",
         {},
         "polarity=up: Enter polarity: normal or inverted"},
        {"{\"settings\": {" + good + R"(, "sync_freq": 2000000, "amplitude_mv": 1096}})",
         {},
         "amplitude_mv 1096 is not the figure of amplitude_index 1 (52 mV)"},
        {R"({"settings": {"freq": 25000, "amplitude_mv": 1095, "polarity": "inverted",
            "trigger": "sync", "sync_freq": 2000000}})",
         {"--exact"},
         "1095 mV is not a listed amplitude step"},
        {R"({"settings": {"freq": 25000, "amplitude_index": 1, "polarity": "inverted",
            "trigger": "sync", "sync_freq": "9e9"}})",
         {},
         "sync_freq=9e9: External sync frequency is between 1MHz and 300MHz"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        CliRig rig;
        rig.plug("a", u"A");
        std::vector<std::string> args = {"apply", "-"};
        args.insert(args.end(), c.extraArgs.begin(), c.extraArgs.end());
        const auto outcome = rig.run(args, c.text);
        EXPECT_EQ(outcome.status, 1);
        EXPECT_NE(outcome.err.find(c.errorPart), std::string::npos) << outcome.err;
        EXPECT_EQ(rig.bench.totalCalls(), 0) << "checked before any generator is looked for";
    }
}

TEST(CliSetup, ValuesGivenAsFiguresOrTextsAreCheckedAsSetChecksThem) {
    CliRig rig;
    rig.plug("a", u"A");
    const auto outcome = rig.run({"apply", "-"}, R"({"settings": {
        "sync_freq": "1000001.5", "polarity": "normal", "trigger": "output",
        "amplitude_mv": 1098, "freq": 25000.5}})");
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    const protocol::DeviceState expected{25001, 340, 1, 0, 1000002};
    EXPECT_EQ(rig.bench.generator(CliRig::path("a"))->state(), expected);
}

}  // namespace
}  // namespace tpg::test
