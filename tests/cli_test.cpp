// trelvix-pulse-cli over the simulated bench: the choice of generator, the
// checks of set (nothing sent on a bad value), show with the read-back's
// range rule, defaults, the exit statuses of usage and platform faults, and
// a run beside the open window.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "CliRig.h"
#include "Rig.h"

namespace tpg::test {
namespace {

using Sent = std::vector<std::pair<std::string, Bytes>>;

Bytes value32(std::uint8_t code, std::uint32_t v) {
    return report({0x00, code, 0x00, static_cast<std::uint8_t>(v),
                   static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v >> 16),
                   static_cast<std::uint8_t>(v >> 24)});
}
Bytes value16(std::uint8_t code, std::uint16_t v) {
    return report(
        {0x00, code, 0x00, static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)});
}
Bytes pulse(std::uint32_t hz) {
    return value32(1, hz);
}
Bytes sync(std::uint32_t hz) {
    return value32(6, hz);
}
Bytes amplitude(std::uint16_t index) {
    return value16(2, index);
}
Bytes polarity(std::uint16_t index) {
    return value16(3, index);
}
Bytes trigger(std::uint16_t index) {
    return value16(5, index);
}

TEST(Cli, ChoiceOfGenerator) {
    struct Case {
        const char* what;
        std::vector<std::pair<const char*, std::u16string>> generators;  // name, serial
        std::vector<std::string> args;
        int status;
        const char* errorPart;  // in standard error; "" for none
        Sent sent;
    };
    const auto a = CliRig::path("a");
    const auto b = CliRig::path("b");
    const Case cases[] = {
        {"none", {}, {"set", "polarity=normal"}, 2, "no generator found", {}},
        {"one, no --serial", {{"a", u"A"}}, {"set", "polarity=normal"}, 0, "", {{a, polarity(1)}}},
        {"two, no --serial",
         {{"a", u"A"}, {"b", u"B"}},
         {"set", "polarity=normal"},
         1,
         "several generators are present; choose one with --serial:\n  A\t/dev/hid/a\n  "
         "B\t/dev/hid/b",
         {}},
        {"two, the second chosen",
         {{"a", u"A"}, {"b", u"B"}},
         {"--serial", "B", "set", "polarity=inverted"},
         0,
         "",
         {{b, polarity(0)}}},
        {"--serial= after the command",
         {{"a", u"A"}, {"b", u"B"}},
         {"set", "polarity=inverted", "--serial=A"},
         0,
         "",
         {{a, polarity(0)}}},
        {"case counts",
         {{"a", u"TPG-A"}},
         {"--serial", "tpg-a", "set", "polarity=normal"},
         2,
         "no generator with the serial number \"tpg-a\"; present are:\n  TPG-A\t/dev/hid/a",
         {}},
        {"blanks count",
         {{"a", u"TPG-A"}},
         {"--serial", "TPG-A ", "defaults"},
         2,
         "no generator with the serial number \"TPG-A \"",
         {}},
        {"serial given, none present",
         {},
         {"--serial", "X", "show"},
         2,
         "no generator with the serial number \"X\"; none is present",
         {}},
        {"equal serials: the first met",
         {{"a", u"SAME"}, {"b", u"SAME"}},
         {"--serial", "SAME", "set", "trigger=sync"},
         0,
         "",
         {{a, trigger(1)}}},
        {"text beyond Latin-1",
         {{"a", u"Ärger-\u0100"}},
         {"--serial", "Ärger-\u0100", "set", "trigger=output"},
         0,
         "",
         {{a, trigger(0)}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CliRig rig;
        rig.plugForeign("keyboard");
        for (const auto& [name, serial] : c.generators) {
            rig.plug(name, serial);
        }
        const auto outcome = rig.run(c.args);
        EXPECT_EQ(outcome.status, c.status);
        EXPECT_NE(outcome.err.find(c.errorPart), std::string::npos) << outcome.err;
        EXPECT_EQ(outcome.err.empty(), c.errorPart[0] == '\0') << outcome.err;
        EXPECT_EQ(rig.takeSent(), c.sent);
        // The foreign device is examined by the walk but never sent to.
        EXPECT_EQ(rig.bench.callCount(hid::sim::Op::GetString, CliRig::path("keyboard")), 0);
    }
}

TEST(Cli, SetChecksEveryValueBeforeSendingAny) {
    struct Case {
        std::vector<std::string> args;
        std::vector<Bytes> sent;  // in order; none for a refused line
        const char* errorPart;
    };
    const char* const pulseNaN = "Enter pulse frequency in Hz";
    const char* const pulseRange = "Pulse frequency is between 25kHz and 350MHz";
    const char* const syncNaN = "Enter external sync frequency in Hz";
    const char* const syncRange = "External sync frequency is between 1MHz and 300MHz";
    const char* const amplitudeRange = "Amplitude is between 49mV and 1624mV";
    const Case cases[] = {
        // The pulse frequency: bounds inclusive, halves up, tested unrounded.
        {{"set", "freq=25000"}, {pulse(25000)}, ""},
        {{"set", "freq=350000000"}, {pulse(350000000)}, ""},
        {{"set", "freq=25000.5"}, {pulse(25001)}, ""},
        {{"set", "freq=25000.4"}, {pulse(25000)}, ""},
        {{"set", "freq=1e7"}, {pulse(10000000)}, ""},
        {{"set", "freq= 2.5e4 "}, {pulse(25000)}, ""},
        {{"set", "freq=24999.6"}, {}, pulseRange},
        {{"set", "freq=350000000.2"}, {}, pulseRange},
        {{"set", "freq=-5"}, {}, pulseRange},
        {{"set", "freq=abc"}, {}, pulseNaN},
        {{"set", "freq="}, {}, pulseNaN},
        {{"set", "freq=25000,5"}, {}, pulseNaN},  // the separator is always the point
        // The sync frequency: halves to even.
        {{"set", "sync-freq=1000000.5"}, {sync(1000000)}, ""},
        {{"set", "sync-freq=1000001.5"}, {sync(1000002)}, ""},
        {{"set", "sync-freq=300000000"}, {sync(300000000)}, ""},
        {{"set", "sync-freq=300000001"}, {}, syncRange},
        {{"set", "sync-freq=MHz"}, {}, syncNaN},
        // The amplitude by figure (nearest step, ties to the lower) or index.
        {{"set", "amplitude-mv=1096"}, {amplitude(339)}, ""},
        {{"set", "amplitude-mv=1097"}, {amplitude(339)}, ""},
        {{"set", "amplitude-mv=1098"}, {amplitude(340)}, ""},
        {{"set", "amplitude-mv=54"}, {amplitude(1)}, ""},  // 52 and 56 equally near
        {{"set", "amplitude-mv=49"}, {amplitude(0)}, ""},
        {{"set", "amplitude-mv=1624"}, {amplitude(510)}, ""},
        {{"set", "amplitude-mv=48.9"}, {}, amplitudeRange},
        {{"set", "amplitude-mv=1625"}, {}, amplitudeRange},
        {{"set", "--exact", "amplitude-mv=123"}, {amplitude(24)}, ""},
        {{"set", "--exact", "amplitude-mv=1095"},
         {},
         "1095 mV is not a listed amplitude step; the nearest are 1093 and 1096"},
        {{"set", "amplitude-index=510"}, {amplitude(510)}, ""},
        {{"set", "amplitude-index=0"}, {amplitude(0)}, ""},
        {{"set", "amplitude-index=511"}, {}, "Amplitude index is between 0 and 510"},
        {{"set", "amplitude-index=3.5"}, {}, "Enter amplitude index, a whole number"},
        {{"set", "amplitude-index=1e-19"}, {}, "Enter amplitude index, a whole number"},
        {{"set", "amplitude-index=1e-400"}, {}, "Enter amplitude index, a whole number"},
        {{"set", "amplitude-index=5.0000000000000000001"}, {}, "Enter amplitude index"},
        {{"set", "amplitude-index=3.50e1"}, {amplitude(35)}, ""},
        // The two lists by their words.
        {{"set", "polarity=inverted"}, {polarity(0)}, ""},
        {{"set", "polarity=Normal"}, {}, "Enter polarity: normal or inverted"},
        {{"set", "trigger=sync"}, {trigger(1)}, ""},
        {{"set", "trigger=input"}, {}, "Enter trigger/sync function: output or sync"},
        // Several: one report each, in the order given; one bad sends none.
        {{"set", "polarity=inverted", "freq=10000000", "amplitude-index=0", "polarity=normal"},
         {polarity(0), pulse(10000000), amplitude(0), polarity(1)},
         ""},
        {{"set", "freq=10000000", "trigger=sync", "sync-freq=0"}, {}, "sync-freq=0: "},
        {{"set", "freq=10000000", "volume=3"}, {}, "unknown setting \"volume\""},
        {{"set", "freq"}, {}, "freq: a setting is NAME=VALUE"},
    };
    for (const auto& c : cases) {
        std::string line;
        for (const auto& arg : c.args) {
            line += arg + " ";
        }
        SCOPED_TRACE(line);
        CliRig rig;
        rig.plug("a", u"A");
        rig.bench.clearCallCounts();
        const auto outcome = rig.run(c.args);
        const bool refused = c.errorPart[0] != '\0';
        EXPECT_EQ(outcome.status, refused ? 1 : 0);
        EXPECT_NE(outcome.err.find(c.errorPart), std::string::npos) << outcome.err;
        std::vector<Bytes> sent;
        for (const auto& [path, bytes] : rig.takeSent()) {
            sent.push_back(bytes);
        }
        EXPECT_EQ(sent, c.sent);
        if (refused) {
            // A bad value is answered before any generator is looked for.
            EXPECT_EQ(rig.bench.totalCalls(), 0);
        }
    }
}

TEST(Cli, DefaultsSendTheWindowsEightReports) {
    CliRig rig;
    rig.plug("a", u"A", {125000000, 200, 0, 1, 2000000});
    EXPECT_EQ(rig.run({"defaults"}).status, 0);
    std::vector<Bytes> sent;
    for (const auto& [path, bytes] : rig.takeSent()) {
        sent.push_back(bytes);
    }
    EXPECT_EQ(sent, restoreDefaultsReports());
    EXPECT_EQ(rig.bench.generator(CliRig::path("a"))->state(),
              hid::sim::GeneratorModel::factoryState());
}

TEST(Cli, ShowAppliesTheRangeRuleAndMarksIt) {
    struct Case {
        protocol::DeviceState device;
        std::vector<std::string> settingLines;
    };
    const char* const out = " (out of range: the generator holds ";
    const Case cases[] = {
        {{10000000, 339, 1, 0, 10000000},
         {"freq=10000000", "amplitude-mv=1096", "amplitude-index=339", "polarity=normal",
          "trigger=output", "sync-freq=10000000"}},
        {{25000, 510, 0, 1, 300000000},
         {"freq=25000", "amplitude-mv=1624", "amplitude-index=510", "polarity=inverted",
          "trigger=sync", "sync-freq=300000000"}},
        {{24999, 511, 2, 2, 0},
         {std::string("freq=10000000") + out + "24999)",
          std::string("amplitude-mv=1096") + out + "511)",
          std::string("amplitude-index=339") + out + "511)",
          std::string("polarity=normal") + out + "2)", std::string("trigger=output") + out + "2)",
          std::string("sync-freq=1000000") + out + "0)"}},
        {{-5, 65535, 65535, 65535, 400000000},
         {std::string("freq=10000000") + out + "-5)",
          std::string("amplitude-mv=1096") + out + "65535)",
          std::string("amplitude-index=339") + out + "65535)",
          std::string("polarity=normal") + out + "65535)",
          std::string("trigger=output") + out + "65535)",
          std::string("sync-freq=300000000") + out + "400000000)"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.device.pulseFrequency);
        CliRig rig;
        rig.plug("a", u"TPG35-20417", c.device).attributes.versionNumber = 0x010C;
        const auto outcome = rig.run({"show"});
        EXPECT_EQ(outcome.status, 0) << outcome.err;
        std::string expected =
            "serial=TPG35-20417\nmaker=Trelvix Instruments\nproduct=Trelvix Pulse Generator "
            "TPG-350\nversion=1.0C\npath=/dev/hid/a\n";
        for (const auto& l : c.settingLines) {
            expected += l + "\n";
        }
        EXPECT_EQ(outcome.out, expected);
        EXPECT_TRUE(rig.takeSent().empty()) << "show sends nothing";
    }
}

// A generator without a maker or product string (a USB generator may have
// none) is shown all the same: the string missing, everything else there.
TEST(Cli, MissingIdentityStringIsShownAsMissing) {
    struct Case {
        std::vector<std::string> args;
        const char* shown;  // part of the output
    };
    const Case cases[] = {
        {{"show"}, "serial=A\nmaker=\nproduct=Trelvix Pulse Generator TPG-350\n"},
        {{"show"}, "freq=10000000\n"},
        {{"show", "--json"}, "\"maker\": null"},
        {{"list"}, "A\t\tTrelvix Pulse Generator TPG-350\t"},
        {{"list", "--json"}, "\"maker\": null"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front());
        CliRig rig;
        rig.plug("a", u"A").hasManufacturer = false;
        const auto outcome = rig.run(c.args);
        EXPECT_EQ(outcome.status, 0) << outcome.err;
        EXPECT_NE(outcome.out.find(c.shown), std::string::npos) << outcome.out;
        EXPECT_NE(outcome.err.find("warning: reading a string failed: getString on /dev/hid/a"),
                  std::string::npos)
            << outcome.err;
    }
}

TEST(Cli, ListsEveryGeneratorAndNoForeignDevice) {
    CliRig rig;
    rig.plug("a", u"A");
    rig.plugForeign("mouse");
    rig.plug("b", u"B\tC").attributes.versionNumber = 0x0210;
    const auto outcome = rig.run({"list"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out,
              "A\tTrelvix Instruments\tTrelvix Pulse Generator TPG-350\t1.03\t/dev/hid/a\n"
              "B?C\tTrelvix Instruments\tTrelvix Pulse Generator TPG-350\t2.10\t/dev/hid/b\n");
    const auto one = rig.run({"list", "--serial", "A"});
    EXPECT_EQ(one.out,
              "A\tTrelvix Instruments\tTrelvix Pulse Generator TPG-350\t1.03\t/dev/hid/a\n");
    const auto none = rig.run({"list", "--serial", "Z"});
    EXPECT_EQ(none.status, 2);
    EXPECT_EQ(none.out, "");
}

TEST(Cli, UsageErrorsTouchNoDeviceAndHelpAnswers) {
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* outPart;
        const char* errorPart;
    };
    const Case cases[] = {
        {{}, 1, "", "no command given\nTry 'trelvix-pulse-cli --help'."},
        {{"frob"}, 1, "", "unknown command \"frob\""},
        {{"--bogus", "list"}, 1, "", "unknown option --bogus"},
        {{"--json", "set", "freq=25000"}, 1, "", "--json is for list and show, not set"},
        {{"--exact", "show"}, 1, "", "--exact is for set and apply, not show"},
        {{"list", "extra"}, 1, "", "list takes no arguments, not \"extra\""},
        {{"defaults", "now"}, 1, "", "defaults takes no arguments"},
        {{"set"}, 1, "", "set needs at least one NAME=VALUE"},
        {{"apply"}, 1, "", "apply takes one FILE"},
        {{"apply", "a.json", "b.json"}, 1, "", "apply takes one FILE"},
        {{"show", "--serial"}, 1, "", "--serial needs a serial number"},
        {{"--serial", "A", "--serial=B", "show"}, 1, "", "--serial is given twice"},
        {{"apply", "/nonexistent/setup.json"}, 1, "", "cannot read \"/nonexistent/setup.json\": No such file or directory"},
        {{"--help"}, 0, "Usage: trelvix-pulse-cli [--serial SERIAL]", ""},
        {{"-h", "frob"}, 1, "", "unknown command"},
        {{"set", "--help"}, 0, "Checks every value, then sends one report per setting", ""},
        {{"--help", "apply"}, 0, "Applies a setup saved with 'show --json'", ""},
        {{"show", "-h"}, 0, "Reads the settings of one generator", ""},
        {{"list", "--help"}, 0, "Lists every generator present", ""},
        {{"defaults", "--help"}, 0, "with the same eight reports in the same order", ""},
        {{"--version"}, 0, "trelvix-pulse-cli 1.", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.empty() ? std::string("(nothing)") : c.args.front());
        CliRig rig;
        rig.plug("a", u"A");
        const auto outcome = rig.run(c.args);
        EXPECT_EQ(outcome.status, c.status);
        EXPECT_NE(outcome.out.find(c.outPart), std::string::npos) << outcome.out;
        EXPECT_NE(outcome.err.find(c.errorPart), std::string::npos) << outcome.err;
        EXPECT_EQ(outcome.out.empty(), c.outPart[0] == '\0');
        EXPECT_EQ(rig.bench.totalCalls(), 0) << "no platform call";
    }
}

TEST(Cli, PlatformFaultsAreToldAndLeakNothing) {
    using hid::sim::Op;
    struct Case {
        const char* what;
        std::optional<Op> failing;  // fails once
        std::uint16_t featureLength;
        std::vector<std::string> args;
        int status;
        const char* errorPart;
    };
    const Case cases[] = {
        {"listing",
         Op::ListInterfaces,
         65,
         {"list"},
         3,
         "listing the HID interfaces failed: listInterfaces: Input/output error"},
        {"listing before a set",
         Op::ListInterfaces,
         65,
         {"set", "freq=25000"},
         3,
         "listing the HID interfaces failed"},
        {"the state report",
         Op::GetFeature,
         65,
         {"show"},
         3,
         "reading the state report failed: getFeature on /dev/hid/a: Input/output error"},
        {"the first send",
         Op::SetFeature,
         65,
         {"set", "freq=25000", "polarity=normal"},
         3,
         "sending SetPulseFrequency (report 1 of 2) failed: setFeature on /dev/hid/a: "
         "Input/output error; 0 sent before it"},
        {"a send of the defaults", Op::SetFeature, 65, {"defaults"}, 3, "(report 1 of 8)"},
        {"the report lengths",
         Op::GetCapabilities,
         65,
         {"show"},
         3,
         "reading the report lengths failed: getCapabilities on /dev/hid/a"},
        // Refused, but not for want of access: the reason, and no fix.
        {"every open refused",
         Op::Open,
         65,
         {"show"},
         2,
         "no generator could be opened:\n  /dev/hid/a: Input/output error\n"},
        {"reports too short for a frequency",
         std::nullopt,
         5,
         {"set", "polarity=normal", "freq=25000"},
         3,
         "feature reports are 5 bytes long, too short for SetPulseFrequency; nothing was sent"},
        {"reports too short for the state",
         std::nullopt,
         18,
         {"show"},
         3,
         "too short for the state report (19)"},
        {"short but long enough", std::nullopt, 5, {"set", "polarity=normal"}, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CliRig rig;
        auto& spec = rig.plug("a", u"A");
        spec.capabilities.featureReportByteLength = c.featureLength;
        if (c.failing) {
            if (*c.failing == Op::Open) {
                rig.bench.failAlways(Op::Open);
            } else {
                rig.bench.failOnce(*c.failing);
            }
        }
        const auto outcome = rig.run(c.args);
        EXPECT_EQ(outcome.status, c.status);
        EXPECT_NE(outcome.err.find(c.errorPart), std::string::npos) << outcome.err;
        EXPECT_EQ(outcome.out, "");
        if (c.status != 0) {
            EXPECT_TRUE(rig.takeSent().empty());
        }
    }
}

// A generator whose interface may not be opened is named with the reason and
// the fix by every command; a foreign device refused alike is not.
TEST(Cli, AGeneratorThatMayNotBeOpenedIsNamedWithTheFix) {
    const std::string denied =
        "/dev/hid/locked: Input/output error: see README, \"No root is needed\"";
    struct Case {
        const char* what;
        bool usableToo;
        std::vector<std::string> args;
        int status;
        std::string out;
        std::string errPart;
    };
    const Case cases[] = {
        {"list, only the locked one",
         false,
         {"list"},
         2,
         "",
         "no generator found; these could not be opened:\n  " + denied + "\n"},
        {"list --json",
         false,
         {"list", "--json"},
         2,
         "[\n  {\n    \"path\": \"/dev/hid/locked\",\n    \"error\": \"Input/output error: "
         "see README, \\\"No root is needed\\\"\"\n  }\n]\n",
         denied},
        {"show", false, {"show"}, 2, "", "no generator could be opened:\n  " + denied},
        {"set", false, {"set", "polarity=normal"}, 2, "", denied},
        {"defaults", false, {"defaults"}, 2, "", denied},
        {"the serial chosen",
         false,
         {"--serial", "A", "show"},
         2,
         "",
         "no generator with the serial number \"A\"; these could not be opened:\n  " + denied},
        {"list beside a usable one",
         true,
         {"list"},
         0,
         "A\tTrelvix Instruments\tTrelvix Pulse Generator TPG-350\t1.03\t/dev/hid/a\n",
         "these generators could not be opened:\n  " + denied},
        {"no choice beside a usable one",
         true,
         {"show"},
         1,
         "",
         "several generators are present; choose one with --serial:\n  A\t/dev/hid/a\n  " + denied},
        {"the usable one chosen", true, {"--serial", "A", "set", "polarity=normal"}, 0, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CliRig rig;
        rig.plugForeign("mouse");
        rig.bench.device(CliRig::path("mouse"))->openable = false;
        rig.plug("locked", u"L").openable = false;
        if (c.usableToo) {
            rig.plug("a", u"A");
        }
        const auto outcome = rig.run(c.args);
        EXPECT_EQ(outcome.status, c.status);
        EXPECT_EQ(outcome.out, c.out);
        EXPECT_NE(outcome.err.find(c.errPart), std::string::npos) << outcome.err;
        EXPECT_EQ(outcome.err.find("mouse"), std::string::npos) << outcome.err;
        EXPECT_EQ(rig.takeSent().size(), c.status == 0 && c.usableToo && c.out.empty() ? 1U : 0U);
    }
}

// One fault at every platform call of a command, in turn: the command ends
// with an answer (done, no generator, or the failed call told), never with a
// usage error, and leaves nothing open (checked by the rig).
TEST(Cli, AFaultAtAnyCallIsAnsweredAndLeakNothing) {
    const std::string setup =
        R"({"settings": {"freq": 25000, "amplitude_index": 1, "polarity": "inverted",
            "trigger": "sync", "sync_freq": 2000000}})";
    const std::vector<std::vector<std::string>> commands = {
        {"list"}, {"show"}, {"set", "freq=25000", "trigger=sync"}, {"defaults"}, {"apply", "-"}};
    std::vector<std::string> told;
    for (const auto& args : commands) {
        SCOPED_TRACE(args.front());
        CliRig clean;
        clean.plug("a", u"A");
        clean.plugForeign("mouse");
        ASSERT_EQ(clean.run(args, setup).status, 0);
        const long calls = clean.bench.totalCalls();
        for (long n = 1; n <= calls; ++n) {
            SCOPED_TRACE(n);
            CliRig rig;
            rig.plug("a", u"A");
            rig.plugForeign("mouse");
            rig.bench.failNthCall(n);
            const auto outcome = rig.run(args, setup);
            EXPECT_TRUE(outcome.status == 0 || outcome.status == 2 || outcome.status == 3)
                << outcome.status << ": " << outcome.err;
            if (outcome.status != 2) {
                EXPECT_EQ(outcome.err.find("failed") != std::string::npos, !outcome.err.empty())
                    << outcome.err;
                told.push_back(outcome.err);
            }
        }
    }
    // Among them the identity strings of list and show: a warning, not a stop.
    const auto mentions = [&](const std::string& part) {
        return std::any_of(told.begin(), told.end(),
                           [&](const std::string& e) { return e.find(part) != std::string::npos; });
    };
    EXPECT_TRUE(
        mentions("warning: reading a string failed: getString on /dev/hid/a: Input/output error"));
    EXPECT_TRUE(mentions("sending SetTriggerSyncFunction (report 2 of 2) failed"));
    EXPECT_TRUE(
        mentions("(report 5 of 5) failed: setFeature on /dev/hid/a: Input/output error; "
                 "4 sent before it"));
}

TEST(Cli, WorksBesideTheOpenWindow) {
    Rig window;
    window.plugGenerator("a", u"A");
    window.start();
    ASSERT_TRUE(window.link().deviceAttached);

    const auto outcome = runCli(window.bench, {"set", "polarity=inverted", "freq=25000"});
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(window.takeSent(), (std::vector<Bytes>{polarity(0), pulse(25000)}));
    // The window's two handles are the only ones open, and its link lives on.
    EXPECT_EQ(window.bench.openDeviceHandles(), 2);
    EXPECT_EQ(window.bench.openEvents(), 1);
    window.nextTick();
    EXPECT_TRUE(window.link().deviceAttached);
    EXPECT_EQ(window.bench.generator(Rig::path("a"))->state().polarityIndex, 0);
}

}  // namespace
}  // namespace tpg::test
