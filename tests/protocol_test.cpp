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
// the state report's, a full-speed report and the largest a 16-bit length
// can name.
const std::size_t kLengths[] = {7, 19, 65, 65535};

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
    {ReportCommand::SetAmplitude, 339, {0x00, 0x02, 0x00, 0x53, 0x01}},
    {ReportCommand::SetAmplitude, 510, {0x00, 0x02, 0x00, 0xFE, 0x01}},
    // A 16-bit field carries the low 16 bits and nothing spills over.
    {ReportCommand::SetAmplitude, 0x12345, {0x00, 0x02, 0x00, 0x45, 0x23, 0x00, 0x00}},
    {ReportCommand::SetAmplitude, -1, {0x00, 0x02, 0x00, 0xFF, 0xFF, 0x00, 0x00}},
    {ReportCommand::SetPolarity, 1, {0x00, 0x03, 0x00, 0x01, 0x00}},
    {ReportCommand::SetPolarity, 0, {0x00, 0x03, 0x00, 0x00, 0x00}},
    {ReportCommand::SetTriggerSyncFunction, 1, {0x00, 0x05, 0x00, 0x01, 0x00}},
    {ReportCommand::SetSyncFrequency, 300000000, {0x00, 0x06, 0x00, 0x00, 0xA3, 0xE1, 0x11}},
    {ReportCommand::SetSyncFrequency, 1000000, {0x00, 0x06, 0x00, 0x40, 0x42, 0x0F, 0x00}},
};

// Exact bytes at the layout's minimum length and at every device length;
// one byte short of the minimum is refused.
TEST(FeatureReports, CommandBytesAtEachLength) {
    for (const auto& c : kCommandBytes) {
        const bool wide = c.command == ReportCommand::SetPulseFrequency ||
                          c.command == ReportCommand::SetSyncFrequency;
        const std::size_t minimum = wide ? 7 : 5;
        EXPECT_EQ(minimumLength(c.command), minimum);
        EXPECT_FALSE(buildCommand(c.command, c.value, minimum - 1).has_value());
        EXPECT_FALSE(buildCommand(c.command, c.value, 0).has_value());
        std::vector<std::size_t> lengths{minimum};
        lengths.insert(lengths.end(), std::begin(kLengths), std::end(kLengths));
        for (std::size_t length : lengths) {
            SCOPED_TRACE("command " + std::to_string(static_cast<int>(c.command)) + " value " +
                         std::to_string(c.value) + " length " + std::to_string(length));
            Bytes expected = c.head;
            expected.resize(length, 0);
            EXPECT_EQ(buildCommand(c.command, c.value, length), expected);
        }
    }
    for (std::size_t length : {std::size_t{0}, kStateReportLength - 1}) {
        EXPECT_FALSE(buildStateReport(DeviceState{}, length).has_value()) << length;
        EXPECT_FALSE(parseStateReport(Bytes(length, 0)).has_value()) << length;
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
                          {7, 0x53},
                          {8, 0x01},
                          {9, 0x01},
                          {13, 0x01},
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
         stateReportWith({{0, 0xEE}, {1, 0xEE}, {2, 0xEE}, {11, 0xEE}, {12, 0xEE}, {19, 0xEE}}),
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(parseStateReport(c.report), c.expected);
    }
}

// Built, then parsed: 16-bit fields keep their low 16 bits, unsigned.
TEST(FeatureReports, StateReportRoundTrips) {
    const std::pair<DeviceState, DeviceState> cases[] = {
        {{10000000, 339, 1, 0, 10000000}, {10000000, 339, 1, 0, 10000000}},
        {{-1, 65535, 65535, 65535, std::numeric_limits<std::int32_t>::min()},
         {-1, 65535, 65535, 65535, std::numeric_limits<std::int32_t>::min()}},
        {{std::numeric_limits<std::int32_t>::max(), 0x1234, 0xABCD, 0x8000, -300000000},
         {std::numeric_limits<std::int32_t>::max(), 0x1234, 0xABCD, 0x8000, -300000000}},
        {{5, 0x10001, -1, 0x7FFF0002, 6}, {5, 1, 65535, 2, 6}},
    };
    for (const auto& [state, expected] : cases) {
        for (std::size_t length : kLengths) {
            if (length < kStateReportLength) {
                continue;
            }
            SCOPED_TRACE("pulse " + std::to_string(state.pulseFrequency) + " length " +
                         std::to_string(length));
            const auto report = buildStateReport(state, length);
            ASSERT_TRUE(report.has_value());
            ASSERT_EQ(report->size(), length);
            for (std::size_t i = 0; i < length; ++i) {
                if (i < 3 || i == 11 || i == 12 || i >= kStateReportLength) {
                    ASSERT_EQ((*report)[i], 0) << "byte " << i;
                }
            }
            EXPECT_EQ(parseStateReport(*report), expected);
        }
    }
}

TEST(FeatureReports, CommandRoundTrips) {
    struct Case {
        ReportCommand command;
        std::int32_t sent;
        std::int32_t received;  // 16-bit payloads come back unsigned
    };
    const Case cases[] = {
        {ReportCommand::SetPulseFrequency, 350000000, 350000000},
        {ReportCommand::SetPulseFrequency, -123456789, -123456789},
        {ReportCommand::SetAmplitude, 510, 510},
        {ReportCommand::SetAmplitude, -1, 65535},
        {ReportCommand::SetAmplitude, 0x10005, 5},
        {ReportCommand::SetPolarity, 1, 1},
        {ReportCommand::SetTriggerSyncFunction, 1, 1},
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
        {"code 0", {0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00}},
        {"code 4", {0x00, 0x04, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00}},
        {"code 7", {0x00, 0x07, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00}},
        {"amplitude in 4 bytes", {0x00, 0x02, 0x00, 0x53}},
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
