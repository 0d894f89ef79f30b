// The simulated bench on its own: what each platform call does, plugging
// and unplugging, injected faults, handle counting, the log of sent reports,
// the UTF-16 strings and the generator model behind each generator.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "hid/sim/GeneratorModel.h"
#include "hid/sim/SimulatedBench.h"
#include "protocol/FeatureReports.h"

namespace tpg::hid::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;
using protocol::DeviceState;
using protocol::ReportCommand;

const std::string kGen = "/dev/hid/gen";
const std::string kOther = "/dev/hid/other";
const std::string kKeyboard = "/dev/hid/keyboard";

Bytes command(ReportCommand code, std::int32_t value, std::size_t length = 65) {
    return *protocol::buildCommand(code, value, length);
}

std::vector<std::string> listed(SimulatedBench& bench) {
    std::vector<std::string> paths{"stale entry"};
    EXPECT_NE(bench.listInterfaces(paths), 0);
    return paths;
}

TEST(SimulatedBench, PlugAndUnplugKeepEnumerationOrder) {
    SimulatedBench bench;
    EXPECT_TRUE(listed(bench).empty());

    bench.plug(generatorSpec(kGen, u"A1"));
    bench.plug(foreignSpec(kKeyboard, 0x046D, 0xC31C));
    bench.plug(generatorSpec(kOther, u"B2"));
    EXPECT_EQ(listed(bench), (std::vector<std::string>{kGen, kKeyboard, kOther}));
    EXPECT_TRUE(bench.isPlugged(kKeyboard));

    bench.unplug(kKeyboard);
    EXPECT_FALSE(bench.isPlugged(kKeyboard));
    EXPECT_EQ(bench.device(kKeyboard), nullptr);
    EXPECT_EQ(listed(bench), (std::vector<std::string>{kGen, kOther}));

    // Plugging a path again replaces the device and puts it last.
    bench.plug(generatorSpec(kGen, u"A1-new"));
    EXPECT_EQ(listed(bench), (std::vector<std::string>{kOther, kGen}));
    ASSERT_NE(bench.device(kGen), nullptr);
    EXPECT_EQ(bench.device(kGen)->serialNumber, u"A1-new");

    // Unplugging what is not there changes nothing.
    bench.unplug("/dev/hid/none");
    EXPECT_EQ(listed(bench).size(), 2U);
}

TEST(SimulatedBench, DeviceAndGeneratorLookups) {
    SimulatedBench bench;
    bench.plug(generatorSpec(kGen, u"A1"));
    bench.plug(foreignSpec(kKeyboard, 0x6C3A, 0x0001));
    EXPECT_NE(bench.generator(kGen), nullptr);
    EXPECT_NE(bench.device(kKeyboard), nullptr);
    EXPECT_EQ(bench.generator(kKeyboard), nullptr);
    EXPECT_EQ(bench.generator("/dev/hid/none"), nullptr);
}

TEST(SimulatedBench, OpenRefusals) {
    SimulatedBench bench;
    DeviceSpec locked = foreignSpec(kKeyboard, 0x046D, 0xC31C);
    locked.openable = false;
    bench.plug(locked);
    EXPECT_EQ(bench.open("/dev/hid/none", OpenMode::Plain, {}), kNoHandle);
    EXPECT_EQ(bench.open(kKeyboard, OpenMode::Plain, {}), kNoHandle);
    EXPECT_EQ(bench.open(kKeyboard, OpenMode::Overlapped, {}), kNoHandle);
    EXPECT_EQ(bench.openDeviceHandles(), 0);
}

TEST(SimulatedBench, AttributesAndCapabilities) {
    SimulatedBench bench;
    bench.plug(generatorSpec(kGen, u"A1"));
    bench.plug(foreignSpec(kKeyboard, 0x046D, 0xC31C));
    const Handle gen = bench.open(kGen, OpenMode::Plain, {});
    const Handle keyboard = bench.open(kKeyboard, OpenMode::Plain, {});

    Attributes attributes;
    ASSERT_NE(bench.getAttributes(gen, attributes), 0);
    EXPECT_EQ(attributes.vendorId, 0x6C3A);
    EXPECT_EQ(attributes.productId, 0x4E19);
    EXPECT_EQ(attributes.versionNumber, 0x0103);
    ASSERT_NE(bench.getAttributes(keyboard, attributes), 0);
    EXPECT_EQ(attributes.vendorId, 0x046D);
    EXPECT_EQ(attributes.productId, 0xC31C);

    // The record must announce its size, as the platform's does.
    Attributes unsized;
    unsized.size = 0;
    EXPECT_EQ(bench.getAttributes(gen, unsized), 0);
    EXPECT_EQ(unsized.vendorId, 0);

    Capabilities caps;
    ASSERT_NE(bench.getCapabilities(gen, caps), 0);
    EXPECT_EQ(caps.inputReportByteLength, 65);
    EXPECT_EQ(caps.featureReportByteLength, 65);
    ASSERT_NE(bench.getCapabilities(keyboard, caps), 0);
    EXPECT_EQ(caps.inputReportByteLength, 9);
    EXPECT_EQ(caps.featureReportByteLength, 0);

    Capabilities untouched{1, 2, 3};
    EXPECT_EQ(bench.getCapabilities(kNoHandle, untouched), 0);
    EXPECT_EQ(untouched.featureReportByteLength, 3);
}

// Every call through a handle of the given device, with its result.
struct DeviceCall {
    Op op;
    std::function<Result(SimulatedBench&, Handle plain, Handle overlapped)> call;
};

const DeviceCall kDeviceCalls[] = {
    {Op::GetAttributes,
     [](SimulatedBench& b, Handle h, Handle) {
         Attributes a;
         return b.getAttributes(h, a);
     }},
    {Op::GetString,
     [](SimulatedBench& b, Handle, Handle r) {
         std::array<std::uint8_t, 201> buffer{};
         return b.getString(r, StringKind::Product, buffer);
     }},
    {Op::GetCapabilities,
     [](SimulatedBench& b, Handle h, Handle) {
         Capabilities c;
         return b.getCapabilities(h, c);
     }},
    {Op::SetFeature,
     [](SimulatedBench& b, Handle h, Handle) {
         return b.setFeature(h, command(ReportCommand::SetPolarity, 0));
     }},
    {Op::GetFeature,
     [](SimulatedBench& b, Handle h, Handle) {
         Bytes report(65, 0);
         return b.getFeature(h, report);
     }},
    {Op::ReadInputReport,
     [](SimulatedBench& b, Handle, Handle r) {
         Bytes buffer(65, 0);
         ReadOverlapped overlapped;
         return b.readInputReport(r, buffer, overlapped);
     }},
};

// Both handles the tool opens on a device: plain and overlapped.
struct BothHandles {
    Handle plain;
    Handle overlapped;
};
BothHandles openBoth(SimulatedBench& bench, const std::string& path) {
    return {bench.open(path, OpenMode::Plain, {}), bench.open(path, OpenMode::Overlapped, {})};
}
Result callOn(const DeviceCall& c, SimulatedBench& bench, BothHandles h) {
    return c.call(bench, h.plain, h.overlapped);
}

TEST(SimulatedBench, StaleHandlesAfterUnplugFailEveryCall) {
    for (const auto& c : kDeviceCalls) {
        SCOPED_TRACE(opName(c.op));
        SimulatedBench bench;
        bench.plug(generatorSpec(kGen, u"A1"));
        const BothHandles old = openBoth(bench, kGen);
        ASSERT_NE(callOn(c, bench, old), 0) << "works while plugged";
        EXPECT_EQ(bench.livePath(old.plain), kGen);

        bench.unplug(kGen);
        EXPECT_EQ(callOn(c, bench, old), 0) << "unplugged";
        EXPECT_EQ(bench.livePath(old.plain), std::nullopt);

        // The same path plugged again is a new device: the old handles stay
        // stale, while a fresh open works.
        bench.plug(generatorSpec(kGen, u"A1"));
        EXPECT_EQ(callOn(c, bench, old), 0) << "replugged, old handles";
        EXPECT_EQ(bench.livePath(old.overlapped), std::nullopt);
        const BothHandles fresh = openBoth(bench, kGen);
        EXPECT_NE(callOn(c, bench, fresh), 0) << "replugged, new handles";
        EXPECT_EQ(bench.livePath(fresh.overlapped), kGen);

        // Stale handles stay open until closed, and closing them succeeds.
        EXPECT_EQ(bench.openHandles(kGen), 4);
        EXPECT_NE(bench.close(old.plain), 0);
        EXPECT_NE(bench.close(old.overlapped), 0);
        EXPECT_EQ(bench.openHandles(kGen), 2);
    }
}

TEST(SimulatedBench, InjectedFaultsPerOp) {
    for (const auto& c : kDeviceCalls) {
        for (bool always : {false, true}) {
            SCOPED_TRACE(std::string(opName(c.op)) + (always ? " always" : " once"));
            SimulatedBench bench;
            bench.plug(generatorSpec(kGen, u"A1"));
            const BothHandles gen = openBoth(bench, kGen);
            if (always) {
                bench.failAlways(c.op);
            } else {
                bench.failOnce(c.op);
            }
            EXPECT_EQ(callOn(c, bench, gen), 0) << "first call fails";
            EXPECT_EQ(callOn(c, bench, gen) != 0, !always) << "second call";
            EXPECT_EQ(bench.callCount(c.op), 2);
            EXPECT_EQ(bench.callCount(c.op, kGen), 2);
            EXPECT_EQ(bench.callCount(c.op, kOther), 0);
            bench.clearFaults();
            EXPECT_NE(callOn(c, bench, gen), 0) << "after clearFaults";
        }
    }
}

TEST(SimulatedBench, InjectedFaultsWithPathHitOnlyThatDevice) {
    for (const auto& c : kDeviceCalls) {
        for (bool always : {false, true}) {
            SCOPED_TRACE(std::string(opName(c.op)) + (always ? " always" : " once"));
            SimulatedBench bench;
            bench.plug(generatorSpec(kGen, u"A1"));
            bench.plug(generatorSpec(kOther, u"B2"));
            const BothHandles gen = openBoth(bench, kGen);
            const BothHandles other = openBoth(bench, kOther);
            if (always) {
                bench.failAlways(c.op, kOther);
            } else {
                bench.failOnce(c.op, kOther);
            }
            // The other device's calls do not use up the fault.
            EXPECT_NE(callOn(c, bench, gen), 0);
            EXPECT_NE(callOn(c, bench, gen), 0);
            EXPECT_EQ(callOn(c, bench, other), 0);
            EXPECT_EQ(callOn(c, bench, other) != 0, !always);
            EXPECT_EQ(bench.callCount(c.op, kGen), 2);
            EXPECT_EQ(bench.callCount(c.op, kOther), 2);
            EXPECT_EQ(bench.callCount(c.op), 4);
        }
    }
}

TEST(SimulatedBench, InjectedFaultsOnCallsWithoutDeviceHandle) {
    SimulatedBench bench;
    bench.plug(generatorSpec(kGen, u"A1"));

    std::vector<std::string> paths;
    bench.failOnce(Op::ListInterfaces);
    EXPECT_EQ(bench.listInterfaces(paths), 0);
    EXPECT_TRUE(paths.empty());
    EXPECT_NE(bench.listInterfaces(paths), 0);
    EXPECT_EQ(paths.size(), 1U);

    bench.failOnce(Op::Open, kGen);
    EXPECT_EQ(bench.open(kGen, OpenMode::Plain, {}), kNoHandle);
    const Handle h = bench.open(kGen, OpenMode::Plain, {});
    EXPECT_NE(h, kNoHandle);
    EXPECT_EQ(bench.openHandles(kGen), 1);

    bench.failAlways(Op::CreateEvent);
    EXPECT_EQ(bench.createEvent({}), kNoHandle);
    EXPECT_EQ(bench.createEvent({}), kNoHandle);
    EXPECT_EQ(bench.openEvents(), 0);
    bench.clearFaults();
    EXPECT_NE(bench.createEvent({}), kNoHandle);
    EXPECT_EQ(bench.openEvents(), 1);

    // A close that fails still releases the handle.
    bench.failOnce(Op::Close);
    EXPECT_EQ(bench.close(h), 0);
    EXPECT_EQ(bench.openHandles(kGen), 0);
}

TEST(SimulatedBench, FailNthCallWhateverItIs) {
    SimulatedBench bench;
    bench.plug(generatorSpec(kGen, u"A1"));
    std::vector<std::string> paths;
    const long start = bench.totalCalls();

    bench.failNthCall(1);
    EXPECT_EQ(bench.listInterfaces(paths), 0) << "the next call fails";
    EXPECT_NE(bench.listInterfaces(paths), 0) << "and only that one";

    bench.failNthCall(3);
    const Handle h = bench.open(kGen, OpenMode::Plain, {});
    ASSERT_NE(h, kNoHandle);
    Attributes attributes;
    EXPECT_NE(bench.getAttributes(h, attributes), 0);
    std::array<std::uint8_t, 201> buffer{};
    EXPECT_EQ(bench.getString(h, StringKind::SerialNumber, buffer), 0) << "third call";
    EXPECT_NE(bench.getString(h, StringKind::SerialNumber, buffer), 0);
    EXPECT_EQ(bench.totalCalls() - start, 6);

    // Cleared faults include a pending n-th call.
    bench.failNthCall(1);
    bench.clearFaults();
    EXPECT_NE(bench.getAttributes(h, attributes), 0);
}

TEST(SimulatedBench, OpenHandleCounting) {
    SimulatedBench bench;
    bench.plug(generatorSpec(kGen, u"A1"));
    bench.plug(foreignSpec(kKeyboard, 0x046D, 0xC31C));

    const Handle a = bench.open(kGen, OpenMode::Plain, {});
    const Handle b = bench.open(kGen, OpenMode::Overlapped, {});
    const Handle k = bench.open(kKeyboard, OpenMode::Plain, {});
    const Handle e = bench.createEvent({});
    EXPECT_EQ(bench.openHandles(kGen), 2);
    EXPECT_EQ(bench.openHandles(kKeyboard), 1);
    EXPECT_EQ(bench.openDeviceHandles(), 3);
    EXPECT_EQ(bench.openEvents(), 1);
    EXPECT_EQ(bench.callCount(Op::Open), 3);
    EXPECT_EQ(bench.callCount(Op::Open, kGen), 2);

    EXPECT_NE(bench.close(a), 0);
    EXPECT_EQ(bench.close(a), 0) << "a handle closes once";
    EXPECT_EQ(bench.close(kNoHandle), 0);
    EXPECT_EQ(bench.openHandles(kGen), 1);

    // An unplugged device's handles count until closed.
    bench.unplug(kKeyboard);
    EXPECT_EQ(bench.openHandles(kKeyboard), 1);
    EXPECT_NE(bench.close(k), 0);
    EXPECT_NE(bench.close(b), 0);
    EXPECT_NE(bench.close(e), 0);
    EXPECT_EQ(bench.openDeviceHandles(), 0);
    EXPECT_EQ(bench.openEvents(), 0);

    bench.clearCallCounts();
    EXPECT_EQ(bench.callCount(Op::Open), 0);
    EXPECT_EQ(bench.callCount(Op::Close), 0);
}

TEST(SimulatedBench, SentReportLog) {
    SimulatedBench bench;
    bench.plug(generatorSpec(kGen, u"A1"));
    bench.plug(generatorSpec(kOther, u"B2"));
    bench.plug(foreignSpec(kKeyboard, 0x046D, 0xC31C));
    const Handle gen = bench.open(kGen, OpenMode::Plain, {});
    const Handle other = bench.open(kOther, OpenMode::Plain, {});
    const Handle keyboard = bench.open(kKeyboard, OpenMode::Plain, {});

    const Bytes amplitude = command(ReportCommand::SetAmplitude, 339);
    const Bytes polarity = command(ReportCommand::SetPolarity, 0);
    const Bytes pulse = command(ReportCommand::SetPulseFrequency, 25000);
    EXPECT_NE(bench.setFeature(gen, amplitude), 0);
    EXPECT_NE(bench.setFeature(other, polarity), 0);
    EXPECT_NE(bench.setFeature(gen, pulse), 0);

    // Refused before they reach a generator: not logged.
    EXPECT_EQ(bench.setFeature(keyboard, amplitude), 0) << "foreign device";
    EXPECT_EQ(bench.setFeature(gen, command(ReportCommand::SetAmplitude, 1, 64)), 0)
        << "wrong length";
    bench.failOnce(Op::SetFeature);
    EXPECT_EQ(bench.setFeature(gen, amplitude), 0) << "injected fault";

    // Reached the generator but is not a command: logged, refused.
    Bytes unknown(65, 0);
    unknown[1] = 4;
    EXPECT_EQ(bench.setFeature(gen, unknown), 0);

    const auto& sent = bench.sentReports();
    ASSERT_EQ(sent.size(), 4U);
    EXPECT_EQ(sent[0].path, kGen);
    EXPECT_EQ(sent[0].bytes, amplitude);
    EXPECT_EQ(sent[1].path, kOther);
    EXPECT_EQ(sent[1].bytes, polarity);
    EXPECT_EQ(sent[2].path, kGen);
    EXPECT_EQ(sent[2].bytes, pulse);
    EXPECT_EQ(sent[3].bytes, unknown);

    bench.clearSentReports();
    EXPECT_TRUE(bench.sentReports().empty());
}

// UTF-16LE bytes of text, as the string queries should write them.
Bytes utf16le(const std::u16string& text) {
    Bytes out;
    for (char16_t unit : text) {
        out.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        out.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    return out;
}

TEST(SimulatedBench, StringsAreUtf16LittleEndian) {
    const std::u16string sixty(60, u'X');
    const std::u16string fortyNine(49, u'Y');
    const std::u16string fifty(50, u'Z');
    struct Case {
        const char* what;
        std::u16string text;
        std::size_t unitsWritten;
        bool terminated;
    };
    const Case cases[] = {
        {"ASCII", u"TPG-000123", 10, true},
        {"empty", u"", 0, true},
        {"Latin-1", u"Gr\u00FC\u00DFe", 5, true},
        {"Cyrillic", u"\u0413\u0435\u043D", 3, true},
        {"CJK", u"\u8109\u51B2", 2, true},
        {"non-BMP as a surrogate pair", u"A\U0001F600B", 4, true},
        {"49 units and the terminator fill 100 bytes", fortyNine, 49, true},
        {"50 units fill 100 bytes, no terminator", fifty, 50, false},
        {"60 units are cut at 100 bytes", sixty, 50, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SimulatedBench bench;
        DeviceSpec config = generatorSpec(kGen, c.text);
        config.manufacturer = c.text;
        config.product = c.text;
        bench.plug(config);
        const Handle h = bench.open(kGen, OpenMode::Overlapped, {});
        for (StringKind kind :
             {StringKind::SerialNumber, StringKind::Manufacturer, StringKind::Product}) {
            std::array<std::uint8_t, 201> buffer{};
            buffer.fill(0xEE);
            ASSERT_NE(bench.getString(h, kind, buffer), 0);
            Bytes expected = utf16le(c.text.substr(0, c.unitsWritten));
            if (c.terminated) {
                expected.push_back(0);
                expected.push_back(0);
            }
            const Bytes written(buffer.begin(),
                                buffer.begin() + static_cast<std::ptrdiff_t>(expected.size()));
            EXPECT_EQ(written, expected);
            // Nothing is written beyond the string and its terminator, and
            // never beyond 100 bytes.
            for (std::size_t i = expected.size(); i < buffer.size(); ++i) {
                ASSERT_EQ(buffer[i], 0xEE) << "byte " << i;
            }
        }
    }
}

TEST(SimulatedBench, StringsOfEachKind) {
    SimulatedBench bench;
    DeviceSpec config = generatorSpec(kGen, u"SN-1");
    config.manufacturer = u"Maker";
    config.product = u"Thing";
    bench.plug(config);
    const Handle h = bench.open(kGen, OpenMode::Plain, {});
    const std::pair<StringKind, std::u16string> kinds[] = {
        {StringKind::SerialNumber, u"SN-1"},
        {StringKind::Manufacturer, u"Maker"},
        {StringKind::Product, u"Thing"},
    };
    for (const auto& [kind, text] : kinds) {
        std::array<std::uint8_t, 201> buffer{};
        ASSERT_NE(bench.getString(h, kind, buffer), 0);
        Bytes expected = utf16le(text);
        expected.resize(buffer.size(), 0);
        EXPECT_EQ(Bytes(buffer.begin(), buffer.end()), expected);
    }
}

TEST(SimulatedBench, InputReportWaitingOrNever) {
    struct Case {
        const char* what;
        std::size_t bufferBytes;
        OpenMode mode;
        bool waiting;
        bool read;
    };
    const Case cases[] = {
        {"waiting, overlapped handle", 65, OpenMode::Overlapped, true, true},
        {"waiting, larger buffer", 200, OpenMode::Overlapped, true, true},
        {"never", 65, OpenMode::Overlapped, false, false},
        {"waiting, but a plain handle", 65, OpenMode::Plain, true, false},
        {"waiting, buffer shorter than the input report", 64, OpenMode::Overlapped, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SimulatedBench bench;
        DeviceSpec config = generatorSpec(kGen, u"A1");
        config.inputReportWaiting = c.waiting;
        bench.plug(config);
        const Handle h = bench.open(kGen, c.mode, {});
        Bytes buffer(c.bufferBytes, 0xEE);
        ReadOverlapped overlapped;
        for (int probe = 0; probe < 3; ++probe) {
            EXPECT_EQ(bench.readInputReport(h, buffer, overlapped) != 0, c.read);
        }
        if (c.read) {
            // A report fills the input report length, nothing beyond it.
            for (std::size_t i = 0; i < buffer.size(); ++i) {
                ASSERT_EQ(buffer[i], i < 65 ? 0 : 0xEE) << "byte " << i;
            }
        }
    }
}

TEST(GeneratorModel, FactoryState) {
    const DeviceState factory{.pulseFrequency = 10000000,
                              .amplitudeIndex = 339,
                              .polarityIndex = 1,
                              .triggerSyncFunction = 0,
                              .syncFrequency = 10000000};
    EXPECT_EQ(GeneratorModel::factoryState(), factory);
    EXPECT_EQ(GeneratorModel().state(), factory);
}

TEST(GeneratorModel, ActsOnEachCommand) {
    const DeviceState start{.pulseFrequency = 1,
                            .amplitudeIndex = 2,
                            .polarityIndex = 3,
                            .triggerSyncFunction = 4,
                            .syncFrequency = 5};
    struct Case {
        Bytes report;
        bool accepted;
        DeviceState after;
    };
    auto with = [&](auto change) {
        DeviceState s = start;
        change(s);
        return s;
    };
    const Case cases[] = {
        {command(ReportCommand::SetPulseFrequency, 350000000), true,
         with([](DeviceState& s) { s.pulseFrequency = 350000000; })},
        {command(ReportCommand::SetPulseFrequency, -7, 7), true,
         with([](DeviceState& s) { s.pulseFrequency = -7; })},
        {command(ReportCommand::SetAmplitude, 510), true,
         with([](DeviceState& s) { s.amplitudeIndex = 510; })},
        {command(ReportCommand::SetAmplitude, 0xFFFF, 5), true,
         with([](DeviceState& s) { s.amplitudeIndex = 65535; })},
        {command(ReportCommand::SetPolarity, 0), true,
         with([](DeviceState& s) { s.polarityIndex = 0; })},
        {command(ReportCommand::SetTriggerSyncFunction, 1), true,
         with([](DeviceState& s) { s.triggerSyncFunction = 1; })},
        {command(ReportCommand::SetSyncFrequency, 1000000), true,
         with([](DeviceState& s) { s.syncFrequency = 1000000; })},
        {Bytes{0x00, 0x04, 0x00, 0x01, 0x00}, false, start},
        {Bytes{0x00, 0x07, 0x00, 0x01, 0x00}, false, start},
        {Bytes{0x01, 0x02, 0x00, 0x01, 0x00}, false, start},
        {Bytes{0x00, 0x01, 0x00, 0x01, 0x00}, false, start},  // too short for 32 bits
        {Bytes{}, false, start},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        GeneratorModel model(start);
        EXPECT_EQ(model.handleSetFeature(cases[i].report), cases[i].accepted);
        EXPECT_EQ(model.state(), cases[i].after);
        // The state report answers with what the model now holds.
        const auto answer = model.stateReport(65);
        ASSERT_TRUE(answer.has_value());
        EXPECT_EQ(protocol::parseStateReport(*answer), cases[i].after);
    }
    EXPECT_FALSE(GeneratorModel(start).stateReport(18).has_value());
}

TEST(GeneratorModel, BenchGeneratorsAnswerWhatTheyHold) {
    SimulatedBench bench;
    const DeviceState initial{.pulseFrequency = 25000,
                              .amplitudeIndex = 0,
                              .polarityIndex = 0,
                              .triggerSyncFunction = 1,
                              .syncFrequency = 300000000};
    bench.plug(generatorSpec(kGen, u"A1", initial));
    bench.plug(foreignSpec(kKeyboard, 0x046D, 0xC31C));
    const Handle gen = bench.open(kGen, OpenMode::Plain, {});
    const Handle keyboard = bench.open(kKeyboard, OpenMode::Plain, {});

    Bytes report(65, 0xEE);
    ASSERT_NE(bench.getFeature(gen, report), 0);
    EXPECT_EQ(report, *protocol::buildStateReport(initial, 65));

    ASSERT_NE(bench.setFeature(gen, command(ReportCommand::SetAmplitude, 200)), 0);
    ASSERT_NE(bench.setFeature(gen, command(ReportCommand::SetSyncFrequency, 1234567)), 0);
    DeviceState expected = initial;
    expected.amplitudeIndex = 200;
    expected.syncFrequency = 1234567;
    EXPECT_EQ(bench.generator(kGen)->state(), expected);
    ASSERT_NE(bench.getFeature(gen, report), 0);
    EXPECT_EQ(protocol::parseStateReport(report), expected);

    // The whole feature report length, exactly, or nothing.
    Bytes shortReport(64, 0);
    EXPECT_EQ(bench.getFeature(gen, shortReport), 0);
    Bytes longReport(66, 0);
    EXPECT_EQ(bench.getFeature(gen, longReport), 0);
    // A foreign device answers no feature report.
    Bytes none(65, 0);
    EXPECT_EQ(bench.getFeature(keyboard, none), 0);
}

}  // namespace
}  // namespace tpg::hid::sim
