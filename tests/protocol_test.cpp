// The feature report layouts and the amplitude table: exact bytes, the
// lengths a layout needs, and what a report read back says.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "protocol/AmplitudeTable.h"
#include "protocol/FeatureReports.h"

namespace tpg::protocol {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Report lengths a device may have: the smallest that holds every layout,
// the state report's, a typical full-speed report and the largest a 16-bit
// length can name.
const std::size_t kLengths[] = {7, 8, 19, 64, 65, 255, 65535};

struct CommandBytes {
    ReportCommand command;
    std::int32_t value;
    Bytes head;  // the first bytes; every later byte is 0
};

// The worked examples of the report layouts plus the extremes of each field.
const CommandBytes kCommandBytes[] = {
    {ReportCommand::SetPulseFrequency, 10000000, {0x00, 0x01, 0x00, 0x80, 0x96, 0x98, 0x00}},
    {ReportCommand::SetPulseFrequency, 25000, {0x00, 0x01, 0x00, 0xA8, 0x61, 0x00, 0x00}},
    {ReportCommand::SetPulseFrequency, 350000000, {0x00, 0x01, 0x00, 0x80, 0x93, 0xDC, 0x14}},
    {ReportCommand::SetPulseFrequency, -1, {0x00, 0x01, 0x00, 0xFF, 0xFF, 0xFF, 0xFF}},
    {ReportCommand::SetPulseFrequency,
     std::numeric_limits<std::int32_t>::min(),
     {0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x80}},
    {ReportCommand::SetAmplitude, 339, {0x00, 0x02, 0x00, 0x53, 0x01, 0x00, 0x00}},
    {ReportCommand::SetAmplitude, 510, {0x00, 0x02, 0x00, 0xFE, 0x01, 0x00, 0x00}},
    {ReportCommand::SetAmplitude, 0, {0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00}},
    // A 16-bit field carries the low 16 bits and nothing spills over.
    {ReportCommand::SetAmplitude, 0x12345, {0x00, 0x02, 0x00, 0x45, 0x23, 0x00, 0x00}},
    {ReportCommand::SetAmplitude, -1, {0x00, 0x02, 0x00, 0xFF, 0xFF, 0x00, 0x00}},
    {ReportCommand::SetPolarity, 1, {0x00, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00}},
    {ReportCommand::SetPolarity, 0, {0x00, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00}},
    {ReportCommand::SetTriggerSyncFunction, 1, {0x00, 0x05, 0x00, 0x01, 0x00, 0x00, 0x00}},
    {ReportCommand::SetTriggerSyncFunction, 0, {0x00, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00}},
    {ReportCommand::SetSyncFrequency, 300000000, {0x00, 0x06, 0x00, 0x00, 0xA3, 0xE1, 0x11}},
    {ReportCommand::SetSyncFrequency, 1000000, {0x00, 0x06, 0x00, 0x40, 0x42, 0x0F, 0x00}},
    {ReportCommand::SetSyncFrequency, 10000000, {0x00, 0x06, 0x00, 0x80, 0x96, 0x98, 0x00}},
};

TEST(FeatureReports, CommandBytesAreExactAtEveryLength) {
    for (const auto& c : kCommandBytes) {
        // Every length from the layout's minimum to a little beyond a
        // full-speed report, and the largest lengths.
        std::vector<std::size_t> lengths;
        for (std::size_t length = minimumLength(c.command); length <= 70; ++length) {
            lengths.push_back(length);
        }
        lengths.push_back(255);
        lengths.push_back(65535);
        for (std::size_t length : lengths) {
            SCOPED_TRACE("command " + std::to_string(static_cast<int>(c.command)) + " value " +
                         std::to_string(c.value) + " length " + std::to_string(length));
            const auto built = buildCommand(c.command, c.value, length);
            ASSERT_TRUE(built.has_value());
            ASSERT_EQ(built->size(), length);
            Bytes expected = c.head;
            expected.resize(length, 0);
            EXPECT_EQ(*built, expected);
        }
    }
}

TEST(FeatureReports, CommandAtExactlyItsMinimumLength) {
    struct Case {
        ReportCommand command;
        std::int32_t value;
        Bytes bytes;
    };
    const Case cases[] = {
        {ReportCommand::SetAmplitude, 339, {0x00, 0x02, 0x00, 0x53, 0x01}},
        {ReportCommand::SetPolarity, 1, {0x00, 0x03, 0x00, 0x01, 0x00}},
        {ReportCommand::SetTriggerSyncFunction, 1, {0x00, 0x05, 0x00, 0x01, 0x00}},
        {ReportCommand::SetPulseFrequency, 10000000, {0x00, 0x01, 0x00, 0x80, 0x96, 0x98, 0x00}},
        {ReportCommand::SetSyncFrequency, 300000000, {0x00, 0x06, 0x00, 0x00, 0xA3, 0xE1, 0x11}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.command));
        EXPECT_EQ(minimumLength(c.command), c.bytes.size());
        EXPECT_EQ(buildCommand(c.command, c.value, c.bytes.size()), c.bytes);
    }
}

TEST(FeatureReports, ShortLengthsAreRefused) {
    struct Case {
        ReportCommand command;
        std::size_t longestRefused;
    };
    const Case cases[] = {
        {ReportCommand::SetPulseFrequency, 6}, {ReportCommand::SetAmplitude, 4},
        {ReportCommand::SetPolarity, 4},       {ReportCommand::SetTriggerSyncFunction, 4},
        {ReportCommand::SetSyncFrequency, 6},
    };
    for (const auto& c : cases) {
        for (std::size_t length = 0; length <= c.longestRefused; ++length) {
            SCOPED_TRACE("command " + std::to_string(static_cast<int>(c.command)) + " length " +
                         std::to_string(length));
            EXPECT_FALSE(buildCommand(c.command, 1, length).has_value());
        }
    }
    for (std::size_t length = 0; length < kStateReportLength; ++length) {
        SCOPED_TRACE("state report length " + std::to_string(length));
        EXPECT_FALSE(buildStateReport(DeviceState{}, length).has_value());
        const Bytes shortReport(length, 0);
        EXPECT_FALSE(parseStateReport(shortReport).has_value());
    }
}

// A state report with the given bytes set, every other byte filled.
Bytes stateReportWith(std::initializer_list<std::pair<std::size_t, std::uint8_t>> bytes,
                      std::size_t length = 65, std::uint8_t filler = 0) {
    Bytes report(length, filler);
    for (const auto& [at, value] : bytes) {
        report[at] = value;
    }
    return report;
}

TEST(FeatureReports, StateReportParsing) {
    struct Case {
        const char* what;
        Bytes report;
        DeviceState expected;
    };
    const Case cases[] = {
        {"pulse frequency 1000000",
         stateReportWith({{3, 0x40}, {4, 0x42}, {5, 0x0F}, {6, 0x00}}),
         {.pulseFrequency = 1000000}},
        {"amplitude FFFF is 65535, not -1",
         stateReportWith({{7, 0xFF}, {8, 0xFF}}),
         {.amplitudeIndex = 65535}},
        {"polarity FFFF is 65535",
         stateReportWith({{9, 0xFF}, {10, 0xFF}}),
         {.polarityIndex = 65535}},
        {"trigger/sync FFFF is 65535",
         stateReportWith({{13, 0xFF}, {14, 0xFF}}),
         {.triggerSyncFunction = 65535}},
        {"pulse frequency is signed",
         stateReportWith({{3, 0xFF}, {4, 0xFF}, {5, 0xFF}, {6, 0xFF}}),
         {.pulseFrequency = -1}},
        {"sync frequency is signed",
         stateReportWith({{15, 0x00}, {16, 0x00}, {17, 0x00}, {18, 0x80}}),
         {.syncFrequency = std::numeric_limits<std::int32_t>::min()}},
        {"largest sync frequency",
         stateReportWith({{15, 0xFF}, {16, 0xFF}, {17, 0xFF}, {18, 0x7F}}),
         {.syncFrequency = std::numeric_limits<std::int32_t>::max()}},
        {"every field, little-endian",
         stateReportWith({{3, 0x80},
                          {4, 0x96},
                          {5, 0x98},
                          {6, 0x00},
                          {7, 0x53},
                          {8, 0x01},
                          {9, 0x01},
                          {13, 0x01},
                          {15, 0x00},
                          {16, 0xA3},
                          {17, 0xE1},
                          {18, 0x11}}),
         {.pulseFrequency = 10000000,
          .amplitudeIndex = 339,
          .polarityIndex = 1,
          .triggerSyncFunction = 1,
          .syncFrequency = 300000000}},
        {"exactly 19 bytes", stateReportWith({{18, 0x01}}, 19), {.syncFrequency = 0x01000000}},
        {"report ID and the gaps are not read",
         [] {
             Bytes r(65, 0xEE);
             for (std::size_t i = 3; i <= 10; ++i) {
                 r[i] = 0;
             }
             for (std::size_t i = 13; i <= 18; ++i) {
                 r[i] = 0;
             }
             return r;
         }(),
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto state = parseStateReport(c.report);
        ASSERT_TRUE(state.has_value());
        EXPECT_EQ(state->pulseFrequency, c.expected.pulseFrequency);
        EXPECT_EQ(state->amplitudeIndex, c.expected.amplitudeIndex);
        EXPECT_EQ(state->polarityIndex, c.expected.polarityIndex);
        EXPECT_EQ(state->triggerSyncFunction, c.expected.triggerSyncFunction);
        EXPECT_EQ(state->syncFrequency, c.expected.syncFrequency);
    }
}

TEST(FeatureReports, StateReportRoundTrips) {
    const DeviceState states[] = {
        {},
        {10000000, 339, 1, 0, 10000000},
        {350000000, 510, 0, 1, 300000000},
        {25000, 0, 1, 1, 1000000},
        {-1, 65535, 65535, 65535, std::numeric_limits<std::int32_t>::min()},
        {std::numeric_limits<std::int32_t>::max(), 0x1234, 0xABCD, 0x8000, -300000000},
    };
    for (const auto& state : states) {
        for (std::size_t length : kLengths) {
            if (length < kStateReportLength) {
                continue;
            }
            SCOPED_TRACE("pulse " + std::to_string(state.pulseFrequency) + " length " +
                         std::to_string(length));
            const auto report = buildStateReport(state, length);
            ASSERT_TRUE(report.has_value());
            ASSERT_EQ(report->size(), length);
            EXPECT_EQ((*report)[0], 0);  // report ID
            for (std::size_t i : {1U, 2U, 11U, 12U}) {
                EXPECT_EQ((*report)[i], 0) << "byte " << i;
            }
            for (std::size_t i = kStateReportLength; i < length; ++i) {
                ASSERT_EQ((*report)[i], 0) << "byte " << i;
            }
            EXPECT_EQ(parseStateReport(*report), state);
        }
    }
}

TEST(FeatureReports, StateReportKeepsLow16BitsOfShortFields) {
    const DeviceState wide{.pulseFrequency = 5,
                           .amplitudeIndex = 0x10001,
                           .polarityIndex = -1,
                           .triggerSyncFunction = 0x7FFF0002,
                           .syncFrequency = 6};
    const auto report = buildStateReport(wide, 19);
    ASSERT_TRUE(report.has_value());
    const DeviceState expected{.pulseFrequency = 5,
                               .amplitudeIndex = 1,
                               .polarityIndex = 65535,
                               .triggerSyncFunction = 2,
                               .syncFrequency = 6};
    EXPECT_EQ(parseStateReport(*report), expected);
}

TEST(FeatureReports, CommandRoundTrips) {
    struct Case {
        ReportCommand command;
        std::int32_t sent;
        std::int32_t received;  // 16-bit payloads come back unsigned
    };
    const Case cases[] = {
        {ReportCommand::SetPulseFrequency, 25000, 25000},
        {ReportCommand::SetPulseFrequency, 350000000, 350000000},
        {ReportCommand::SetPulseFrequency, -123456789, -123456789},
        {ReportCommand::SetAmplitude, 0, 0},
        {ReportCommand::SetAmplitude, 510, 510},
        {ReportCommand::SetAmplitude, -1, 65535},
        {ReportCommand::SetAmplitude, 0x10005, 5},
        {ReportCommand::SetPolarity, 0, 0},
        {ReportCommand::SetPolarity, 1, 1},
        {ReportCommand::SetTriggerSyncFunction, 1, 1},
        {ReportCommand::SetSyncFrequency, 1000000, 1000000},
        {ReportCommand::SetSyncFrequency, 300000000, 300000000},
        {ReportCommand::SetSyncFrequency, std::numeric_limits<std::int32_t>::min(),
         std::numeric_limits<std::int32_t>::min()},
    };
    for (const auto& c : cases) {
        for (std::size_t length : kLengths) {
            SCOPED_TRACE("command " + std::to_string(static_cast<int>(c.command)) + " value " +
                         std::to_string(c.sent) + " length " + std::to_string(length));
            const auto report = buildCommand(c.command, c.sent, length);
            ASSERT_TRUE(report.has_value());
            const auto parsed = parseCommand(*report);
            ASSERT_TRUE(parsed.has_value());
            EXPECT_EQ(parsed->command, c.command);
            EXPECT_EQ(parsed->value, c.received);
        }
    }
}

TEST(FeatureReports, ParseCommandRefusals) {
    struct Case {
        const char* what;
        Bytes report;
    };
    const Case cases[] = {
        {"empty", {}},
        {"report ID only", {0x00}},
        {"report ID 1", {0x01, 0x02, 0x00, 0x53, 0x01, 0x00, 0x00, 0x00}},
        {"report ID FF", {0xFF, 0x01, 0x00, 0x80, 0x96, 0x98, 0x00, 0x00}},
        {"code 0", {0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00}},
        {"code 4", {0x00, 0x04, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00}},
        {"code 7", {0x00, 0x07, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00}},
        {"code FF", {0x00, 0xFF, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00}},
        {"amplitude in 4 bytes", {0x00, 0x02, 0x00, 0x53}},
        {"polarity in 3 bytes", {0x00, 0x03, 0x00}},
        {"trigger/sync in 2 bytes", {0x00, 0x05}},
        {"pulse frequency in 6 bytes", {0x00, 0x01, 0x00, 0x80, 0x96, 0x98}},
        {"sync frequency in 5 bytes", {0x00, 0x06, 0x00, 0x00, 0xA3}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(parseCommand(c.report).has_value());
    }
}

// The exact value of t for entry i is ((i + 16) * 247 + 40) / 80, since
// 0.247 * 12.5 = 247 / 80.
long long exactAmplitudeFloor(int i) {
    return ((i + 16) * 247LL + 40) / 80;
}
bool exactAmplitudeIsWhole(int i) {
    return ((i + 16) * 247LL + 40) % 80 == 0;
}

TEST(AmplitudeTable, ListedEntries) {
    struct Case {
        int index;
        const char* text;
    };
    const Case cases[] = {
        {0, "49"},     {1, "52"},     {2, "56"},     {3, "59"},     {23, "120"},
        {24, "123"},   {25, "127"},   {100, "358"},  {104, "371"},  {200, "667"},
        {338, "1093"}, {339, "1096"}, {340, "1099"}, {509, "1621"}, {510, "1624"},
    };
    EXPECT_EQ(kAmplitudeSteps, 511);
    for (const auto& c : cases) {
        EXPECT_EQ(amplitudeText(c.index), c.text) << "index " << c.index;
    }
}

TEST(AmplitudeTable, RisesStrictlyInStepsOfThreeOrFour) {
    long long previous = 0;
    for (int i = 0; i < kAmplitudeSteps; ++i) {
        const std::string text = amplitudeText(i);
        ASSERT_FALSE(text.empty()) << "index " << i;
        ASSERT_EQ(text.find_first_not_of("0123456789"), std::string::npos) << text;
        ASSERT_NE(text[0], '0') << text;
        const long long value = std::stoll(text);
        if (i == 0) {
            EXPECT_EQ(value, 49);
        } else {
            const long long step = value - previous;
            EXPECT_TRUE(step == 3 || step == 4) << "index " << i << " step " << step;
        }
        previous = value;
    }
    EXPECT_EQ(previous, 1624);
}

// Double-precision steps change the exact result only at index 24; the other
// indices where t is exactly whole show that whole number.
TEST(AmplitudeTable, AgreesWithExactArithmeticButForIndex24) {
    std::vector<int> wholeIndices;
    for (int i = 0; i < kAmplitudeSteps; ++i) {
        const long long exact = exactAmplitudeFloor(i);
        if (exactAmplitudeIsWhole(i)) {
            wholeIndices.push_back(i);
        }
        const long long expected = i == 24 ? exact - 1 : exact;
        EXPECT_EQ(amplitudeText(i), std::to_string(expected)) << "index " << i;
    }
    EXPECT_EQ(wholeIndices, (std::vector<int>{24, 104, 184, 264, 344, 424, 504}));
}

}  // namespace
}  // namespace tpg::protocol
