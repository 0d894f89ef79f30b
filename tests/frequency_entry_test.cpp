// The two frequency entries through the window, filled from a generator:
// for each text typed, the message shown, the text left in the box, the
// report sent and where the focus ends up.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Rig.h"

namespace tpg::test {
namespace {

using ui::headless::ShownMessage;

enum class Entry { Pulse, Sync };

const char* const kBadInput = "Bad input";
const char* const kBadRange = "Bad data range";
const char* const kPulseNotANumber = "Enter pulse frequency in Hz";
const char* const kPulseRange = "Pulse frequency is between 25kHz and 350MHz";
const char* const kSyncNotANumber = "Enter external sync frequency in Hz";
const char* const kSyncRange = "External sync frequency is between 1MHz and 300MHz";

// The report a value in range goes out as.
Bytes frequencyReport(Entry entry, std::int32_t hz) {
    const auto v = static_cast<std::uint32_t>(hz);
    return report({0x00, static_cast<std::uint8_t>(entry == Entry::Pulse ? 1 : 6), 0x00,
                   static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                   static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)});
}

ControlId boxOf(Entry entry) {
    return entry == Entry::Pulse ? ControlId::Foutput : ControlId::ext_sync_freq;
}
ControlId buttonOf(Entry entry) {
    return entry == Entry::Pulse ? ControlId::SetFout : ControlId::SetFsync;
}

struct Case {
    Entry entry;
    char separator;
    std::string typed;
    std::optional<ShownMessage> message;  // none: no message, focus stays
    std::string textAfter;
    std::optional<std::int32_t> sent;  // the value sent, or nothing
};

Case pulse(std::string typed, std::string after, std::int32_t sent, char sep = '.') {
    return {Entry::Pulse, sep, std::move(typed), std::nullopt, std::move(after), sent};
}
Case sync(std::string typed, std::int32_t sent, char sep = '.') {
    std::string after = typed;  // the sync box keeps what was typed
    return {Entry::Sync, sep, std::move(typed), std::nullopt, std::move(after), sent};
}
Case pulseRange(std::string typed, std::string after, char sep = '.') {
    return {Entry::Pulse,     sep,         std::move(typed), ShownMessage{kPulseRange, kBadRange},
            std::move(after), std::nullopt};
}
Case syncRange(std::string typed, std::string after, char sep = '.') {
    return {Entry::Sync,      sep,         std::move(typed), ShownMessage{kSyncRange, kBadRange},
            std::move(after), std::nullopt};
}
Case pulseBad(std::string typed, char sep = '.') {
    std::string after = typed;
    return {Entry::Pulse,     sep,
            std::move(typed), ShownMessage{kPulseNotANumber, kBadInput},
            std::move(after), std::nullopt};
}
Case syncBad(std::string typed, char sep = '.') {
    std::string after = typed;
    return {Entry::Sync,      sep,
            std::move(typed), ShownMessage{kSyncNotANumber, kBadInput},
            std::move(after), std::nullopt};
}

const std::vector<Case>& cases() {
    static const std::vector<Case> all = {
        // Pulse frequency: the bounds and values between them.
        pulse("25000", "25000", 25000),
        pulse("350000000", "350000000", 350000000),
        pulse("10000000", "10000000", 10000000),
        pulse("+25000", "25000", 25000),
        pulse("0350000000", "350000000", 350000000),
        pulse(" 1000000 ", "1000000", 1000000),
        pulse("\t50000\t", "50000", 50000),
        pulse("1e7", "10000000", 10000000),
        pulse("2.5E4", "25000", 25000),
        pulse("3.5e8", "350000000", 350000000),
        pulse("350000000.0", "350000000", 350000000),
        // Rounding: floor(x + 0.5), written back.
        pulse("25000.5", "25001", 25001),
        pulse("25000.4", "25000", 25000),
        pulse("25000.49999", "25000", 25000),
        pulse("10000000.7", "10000001", 10000001),
        pulse("10000000.5", "10000001", 10000001),
        pulse("12345678.5", "12345679", 12345679),
        pulse("100000.25", "100000", 100000),
        pulse("349999999.5", "350000000", 350000000),
        pulse("25000.0000001", "25000", 25000),
        // Pulse frequency out of range: the bound it violates, nothing sent.
        pulseRange("24999", "25000"),
        pulseRange("24999.6", "25000"),
        pulseRange("24999.99999999", "25000"),
        pulseRange("350000000.2", "350000000"),
        pulseRange("350000001", "350000000"),
        pulseRange("-5", "25000"),
        pulseRange("0", "25000"),
        pulseRange("-0", "25000"),
        pulseRange("1e9", "350000000"),
        pulseRange("4294967296", "350000000"),
        pulseRange("-350000000", "25000"),
        pulseRange("1e400", "350000000"),
        pulseRange("-1e400", "25000"),
        pulseRange("1e-400", "25000"),
        // Pulse frequency not a number: the text stays.
        pulseBad(""),
        pulseBad("   "),
        pulseBad("abc"),
        pulseBad("1,5"),
        pulseBad("25 000"),
        pulseBad("25,000"),
        pulseBad("0x61A8"),
        pulseBad("inf"),
        pulseBad("nan"),
        pulseBad("1e"),
        pulseBad("10 MHz"),
        pulseBad("10000000Hz"),
        pulseBad("--5"),
        pulseBad("."),
        // Pulse frequency with a comma for decimal separator.
        pulse("25000,5", "25001", 25001, ','),
        pulse("1,5e7", "15000000", 15000000, ','),
        pulse(" 10000000,7 ", "10000001", 10000001, ','),
        pulseRange("24999,6", "25000", ','),
        pulseBad("25000.5", ','),
        pulseBad("1.000.000", ','),

        // Sync frequency: sent rounded to nearest, ties to even; the box
        // keeps the text as typed.
        sync("1000000", 1000000),
        sync("300000000", 300000000),
        sync("10000000", 10000000),
        sync("1000000.5", 1000000),
        sync("1000001.5", 1000002),
        sync("1000000.4999", 1000000),
        sync("1000000.6", 1000001),
        sync("2500000.5", 2500000),
        sync("2500001.5", 2500002),
        sync("299999999.5", 300000000),
        sync(" 5e6 ", 5000000),
        sync("+1e6", 1000000),
        sync("0300000000", 300000000),
        // Sync frequency out of range.
        syncRange("300000000.5", "300000000"),
        syncRange("999999.9", "1000000"),
        syncRange("-5", "1000000"),
        syncRange("0", "1000000"),
        syncRange("350000000", "300000000"),
        syncRange("1e400", "300000000"),
        syncRange("-1e400", "1000000"),
        // Sync frequency not a number.
        syncBad(""),
        syncBad("sync"),
        syncBad("1 000 000"),
        syncBad("1e6,5"),
        syncBad("NaN"),
        // Sync frequency with a comma for decimal separator.
        sync("1000000,5", 1000000, ','),
        sync("1000001,5", 1000002, ','),
        syncRange("999999,5", "1000000", ','),
        syncBad("1000000.5", ','),
    };
    return all;
}

// A window filled from a generator whose connector is a sync input, so that
// both text boxes can take the focus.
struct FilledWindow : Rig {
    explicit FilledWindow(char separator) {
        skin.setDecimalSeparator(std::string(1, separator));
        protocol::DeviceState state = hid::sim::GeneratorModel::factoryState();
        state.triggerSyncFunction = 1;
        plugGenerator("gen", u"TPG-0001", state);
        start();
        takeSent();
    }
};

TEST(FrequencyEntry, TextsTypedAndSent) {
    ASSERT_GE(cases().size(), 50U);
    for (const Case& c : cases()) {
        SCOPED_TRACE(std::string(c.entry == Entry::Pulse ? "pulse" : "sync") + " \"" + c.typed +
                     "\" separator '" + c.separator + "'");
        FilledWindow rig(c.separator);
        ASSERT_TRUE(rig.link().uiReady && rig.link().stateLoaded && rig.link().deviceAttached);
        ASSERT_TRUE(rig.usable(boxOf(c.entry)));
        const protocol::DeviceState before = rig.bench.generator(Rig::path("gen"))->state();

        rig.type(boxOf(c.entry), c.typed);
        rig.skin.setFocused(buttonOf(c.entry));  // pressing a button focuses it
        rig.press(buttonOf(c.entry));

        const auto& shown = rig.skin.messages();
        if (c.message) {
            ASSERT_EQ(shown.size(), 1U);
            EXPECT_EQ(shown[0].title, c.message->title);
            EXPECT_EQ(shown[0].text, c.message->text);
            EXPECT_EQ(rig.skin.focused(), boxOf(c.entry)) << "focus back in the box";
        } else {
            EXPECT_TRUE(shown.empty()) << shown.front().title << ": " << shown.front().text;
            EXPECT_EQ(rig.skin.focused(), buttonOf(c.entry)) << "focus not moved";
        }
        EXPECT_EQ(rig.text(boxOf(c.entry)), c.textAfter);

        const auto sent = rig.takeSent();
        protocol::DeviceState after = before;
        if (c.sent) {
            ASSERT_EQ(sent.size(), 1U);
            EXPECT_EQ(sent[0], frequencyReport(c.entry, *c.sent));
            (c.entry == Entry::Pulse ? after.pulseFrequency : after.syncFrequency) = *c.sent;
        } else {
            EXPECT_TRUE(sent.empty());
        }
        EXPECT_EQ(rig.bench.generator(Rig::path("gen"))->state(), after);
    }
}

TEST(FrequencyEntry, ReportBytesOfTheWorkedExamples) {
    EXPECT_EQ(frequencyReport(Entry::Pulse, 10000000),
              report({0x00, 0x01, 0x00, 0x80, 0x96, 0x98, 0x00}));
    EXPECT_EQ(frequencyReport(Entry::Sync, 300000000),
              report({0x00, 0x06, 0x00, 0x00, 0xA3, 0xE1, 0x11}));
}

TEST(FrequencyEntry, EveryPressSendsEvenTheSameValue) {
    FilledWindow rig('.');
    rig.type(ControlId::Foutput, "20000000");
    rig.press(ControlId::SetFout);
    rig.press(ControlId::SetFout);
    rig.type(ControlId::ext_sync_freq, "2000000");
    rig.press(ControlId::SetFsync);
    rig.press(ControlId::SetFsync);
    const std::vector<Bytes> expected{
        frequencyReport(Entry::Pulse, 20000000), frequencyReport(Entry::Pulse, 20000000),
        frequencyReport(Entry::Sync, 2000000), frequencyReport(Entry::Sync, 2000000)};
    EXPECT_EQ(rig.takeSent(), expected);
}

TEST(FrequencyEntry, NoDeviceStillRewritesButSendsNothing) {
    Rig rig;
    rig.start();
    ASSERT_FALSE(rig.link().deviceAttached);

    rig.type(ControlId::Foutput, "10000000.7");
    rig.press(ControlId::SetFout);
    EXPECT_EQ(rig.text(ControlId::Foutput), "10000001");

    rig.type(ControlId::ext_sync_freq, "1000000.5");
    rig.press(ControlId::SetFsync);
    EXPECT_EQ(rig.text(ControlId::ext_sync_freq), "1000000.5");

    EXPECT_TRUE(rig.skin.messages().empty());
    EXPECT_TRUE(rig.bench.sentReports().empty());
    EXPECT_EQ(rig.bench.callCount(Op::SetFeature), 0);

    // Bad input is still answered without a device.
    rig.type(ControlId::Foutput, "24999");
    rig.press(ControlId::SetFout);
    ASSERT_EQ(rig.skin.messages().size(), 1U);
    EXPECT_EQ(rig.skin.messages()[0].title, kBadRange);
    EXPECT_EQ(rig.text(ControlId::Foutput), "25000");
    EXPECT_TRUE(rig.bench.sentReports().empty());
}

TEST(FrequencyEntry, FailedSendIsSilent) {
    FilledWindow rig('.');
    rig.bench.failOnce(Op::SetFeature);
    rig.type(ControlId::Foutput, "20000000.4");
    rig.press(ControlId::SetFout);
    EXPECT_EQ(rig.text(ControlId::Foutput), "20000000");
    EXPECT_TRUE(rig.skin.messages().empty());
    EXPECT_EQ(rig.link().lastResult, 0);
    EXPECT_TRUE(rig.takeSent().empty());
    EXPECT_EQ(rig.bench.generator(Rig::path("gen"))->state().pulseFrequency, 10000000);
    EXPECT_TRUE(rig.link().deviceAttached) << "no flag changes";
    EXPECT_TRUE(rig.link().stateLoaded);

    // Pressing again sends: nothing remembered the failure.
    rig.press(ControlId::SetFout);
    EXPECT_NE(rig.link().lastResult, 0);
    EXPECT_EQ(rig.takeSent(), std::vector<Bytes>{frequencyReport(Entry::Pulse, 20000000)});
}

// After a failed state read the sync box is disabled and empty while its
// button is enabled: pressing it is bad input, and the program runs on.
TEST(FrequencyEntry, DisabledEmptySyncBoxAfterAFailedStateRead) {
    Rig rig;
    rig.plugGenerator("gen", u"TPG-0001");
    rig.bench.failOnce(Op::GetFeature);
    rig.start();
    ASSERT_TRUE(rig.link().deviceAttached);
    ASSERT_TRUE(rig.link().stateLoaded);
    ASSERT_FALSE(rig.link().uiReady);
    ASSERT_TRUE(rig.usable(ControlId::SetFsync));
    ASSERT_FALSE(rig.skin.isEnabled(ControlId::ext_sync_freq));
    ASSERT_EQ(rig.text(ControlId::ext_sync_freq), "");

    rig.skin.setFocused(ControlId::SetFsync);
    rig.press(ControlId::SetFsync);
    ASSERT_EQ(rig.skin.messages().size(), 1U);
    EXPECT_EQ(rig.skin.messages()[0].title, kBadInput);
    EXPECT_EQ(rig.skin.messages()[0].text, kSyncNotANumber);
    EXPECT_NE(rig.skin.focused(), ControlId::ext_sync_freq) << "a disabled box takes no focus";
    EXPECT_EQ(rig.text(ControlId::ext_sync_freq), "");
    EXPECT_TRUE(rig.takeSent().empty());

    // A text typed into the pulse box is checked but not sent while the
    // state is unread; the next tick reads the window back and the same
    // entry then reaches the generator.
    rig.type(ControlId::Foutput, "30000000");
    rig.press(ControlId::SetFout);
    EXPECT_TRUE(rig.takeSent().empty()) << "uiReady is false";
    EXPECT_EQ(rig.nextTick(), 50);
    EXPECT_TRUE(rig.link().uiReady);
    EXPECT_EQ(rig.window.timerInterval(), 500);
    EXPECT_EQ(rig.text(ControlId::Foutput), "10000000");
    rig.type(ControlId::Foutput, "30000000");
    rig.press(ControlId::SetFout);
    EXPECT_EQ(rig.takeSent(), std::vector<Bytes>{report({0, 1, 0, 0x80, 0xC3, 0xC9, 0x01})});
}

}  // namespace
}  // namespace tpg::test
