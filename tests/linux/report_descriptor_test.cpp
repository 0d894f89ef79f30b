#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "hid/linux/ReportDescriptor.h"
#include "hid/linux/uhid/VirtualGenerator.h"

namespace tpg::hid::hidraw {
namespace {

struct Lengths {
    std::uint16_t input, output, feature;
};

struct DescriptorCase {
    const char* name;
    std::vector<std::uint8_t> bytes;
    std::optional<Lengths> expected;  // nothing: rejected
};

// A boot keyboard: 8 bytes in, 5 + 3 bits out, no report IDs.
const std::vector<std::uint8_t> kKeyboard = {
    0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15, 0x00, 0x25, 0x01,
    0x75, 0x01, 0x95, 0x08, 0x81, 0x02, 0x95, 0x01, 0x75, 0x08, 0x81, 0x01, 0x95, 0x06, 0x75, 0x08,
    0x15, 0x00, 0x25, 0x65, 0x05, 0x07, 0x19, 0x00, 0x29, 0x65, 0x81, 0x00, 0x95, 0x05, 0x75, 0x01,
    0x05, 0x08, 0x19, 0x01, 0x29, 0x05, 0x91, 0x02, 0x95, 0x01, 0x75, 0x03, 0x91, 0x01, 0xC0};

// A mouse with report ID 1 (3 buttons + 5 pad bits, X, Y, wheel) and a
// consumer-control report ID 2 of 16 bits.
const std::vector<std::uint8_t> kMouseWithIds = {
    0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x85, 0x01, 0x09, 0x01, 0xA1, 0x00, 0x05, 0x09, 0x19, 0x01,
    0x29, 0x03, 0x15, 0x00, 0x25, 0x01, 0x95, 0x03, 0x75, 0x01, 0x81, 0x02, 0x95, 0x01, 0x75, 0x05,
    0x81, 0x03, 0x05, 0x01, 0x09, 0x30, 0x09, 0x31, 0x09, 0x38, 0x15, 0x81, 0x25, 0x7F, 0x75, 0x08,
    0x95, 0x03, 0x81, 0x06, 0xC0, 0xC0, 0x05, 0x0C, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x02, 0x75, 0x10,
    0x95, 0x01, 0x15, 0x00, 0x26, 0xFF, 0x03, 0x19, 0x00, 0x2A, 0xFF, 0x03, 0x81, 0x00, 0xC0};

// A UPS-shaped power device: several feature reports by ID, the longest
// (ID 3) 4 + 2 bytes, with an input report of 2 bytes on ID 1.
const std::vector<std::uint8_t> kPowerDevice = {
    0x05, 0x84, 0x09, 0x04, 0xA1, 0x01, 0x85, 0x01, 0x09, 0x30, 0x75, 0x10, 0x95, 0x01, 0x81,
    0x02, 0x85, 0x02, 0x09, 0x40, 0x75, 0x08, 0x95, 0x01, 0xB1, 0x02, 0x85, 0x03, 0x09, 0x53,
    0x75, 0x20, 0x95, 0x01, 0xB1, 0x02, 0x09, 0x54, 0x75, 0x10, 0xB1, 0x02, 0xC0};

DescriptorCase vendor(std::uint16_t in, std::uint16_t feature) {
    return {"", uhid::generatorDescriptor(in, feature), Lengths{in, 0, feature}};
}

TEST(ReportDescriptor, LengthsOfRealWorldShapes) {
    std::vector<DescriptorCase> cases = {
        {"empty descriptor: no reports", {}, Lengths{0, 0, 0}},
        {"boot keyboard without IDs", kKeyboard, Lengths{9, 2, 0}},
        {"mouse and consumer control with IDs", kMouseWithIds, Lengths{5, 0, 0}},
        {"power device, several feature reports", kPowerDevice, Lengths{3, 0, 7}},
        // 12 bits of input: not a multiple of 8, rounded up.
        {"odd bit count rounded up",
         {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x75, 0x03, 0x95, 0x04, 0x81, 0x02, 0xC0},
         Lengths{3, 0, 0}},
        // Push saves size 8 / count 4; inside, size 1 count 2 for an output;
        // Pop restores 8 x 4 for the feature.
        {"push and pop restore the global state",
         {0x75, 0x08, 0x95, 0x04, 0xA4, 0x75, 0x01, 0x95, 0x02, 0x91, 0x02, 0xB4, 0xB1, 0x02},
         Lengths{0, 2, 5}},
        // A long item (prefix FE, 3 data bytes) between two inputs is skipped.
        {"long items skipped",
         {0x75, 0x08, 0x95, 0x02, 0xFE, 0x03, 0x10, 0xAA, 0xBB, 0xCC, 0x81, 0x02},
         Lengths{3, 0, 0}},
        // The same ID may hold input and feature reports of its own lengths;
        // ID 2's input is the longest.
        {"lengths per kind and per ID",
         {0x85, 0x01, 0x75, 0x08, 0x95, 0x03, 0x81, 0x02, 0xB1, 0x02, 0x85, 0x02, 0x95, 0x07, 0x81,
          0x02},
         Lengths{8, 0, 4}},
        // Four-byte item data (report count 0x00000010).
        {"four-byte item data",
         {0x75, 0x08, 0x97, 0x10, 0x00, 0x00, 0x00, 0xB1, 0x02},
         Lengths{0, 0, 17}},
        {"the virtual generator's 65/65", {}, Lengths{65, 0, 65}},
        {"the virtual generator's 9/300", {}, Lengths{9, 0, 300}},
        // Malformed ones.
        {"item data past the end", {0x75, 0x08, 0x96, 0x10}, std::nullopt},
        {"long item past the end", {0xFE, 0x05, 0x10, 0x00}, std::nullopt},
        {"long item header cut", {0xFE, 0x05}, std::nullopt},
        {"pop without push", {0xB4}, std::nullopt},
        {"report ID 0", {0x85, 0x00}, std::nullopt},
        {"reserved item type", {0x0C}, std::nullopt},
        {"end collection without collection", {0xC0}, std::nullopt},
        {"collection never closed", {0xA1, 0x01, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02}, std::nullopt},
        {"report too long for 16 bits",
         {0x75, 0x20, 0x97, 0xFF, 0xFF, 0x00, 0x00, 0x81, 0x02},
         std::nullopt},
    };
    cases[9].bytes = vendor(65, 65).bytes;
    cases[10].bytes = vendor(9, 300).bytes;

    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto got = reportLengths(c.bytes);
        ASSERT_EQ(got.has_value(), c.expected.has_value());
        if (got) {
            EXPECT_EQ(got->inputReportByteLength, c.expected->input);
            EXPECT_EQ(got->outputReportByteLength, c.expected->output);
            EXPECT_EQ(got->featureReportByteLength, c.expected->feature);
        }
    }
}

TEST(ReportDescriptor, NoReadPastTheEndOfAnyPrefix) {
    // Every cut of a valid descriptor is parsed from an exactly sized copy:
    // under AddressSanitizer a read past the end fails the test.
    for (std::size_t cut = 0; cut <= kMouseWithIds.size(); ++cut) {
        const std::vector<std::uint8_t> part(kMouseWithIds.begin(),
                                             kMouseWithIds.begin() + static_cast<long>(cut));
        const auto got = reportLengths(part);
        if (cut == kMouseWithIds.size()) {
            EXPECT_TRUE(got.has_value());
        }
    }
}

}  // namespace
}  // namespace tpg::hid::hidraw
