#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "hid/linux/uhid/VirtualGenerator.h"
#include "hid/linux/usbip/UsbGenerator.h"

namespace tpg::hid::usbip {
namespace {

using Bytes = std::vector<std::uint8_t>;

SetupPacket setup(std::uint8_t type, std::uint8_t request, std::uint16_t value, std::uint16_t index,
                  std::uint16_t length) {
    return SetupPacket{
        .requestType = type, .request = request, .value = value, .index = index, .length = length};
}

// A serial number outside Latin-1: a Greek capital omega and an emoji
// (a surrogate pair in UTF-16).
const std::string kSerial = "TPG-\xCE\xA9-\xF0\x9F\x93\x88";

UsbGeneratorSpec generatorSpec() {
    UsbGeneratorSpec spec;
    spec.serialNumber = kSerial;
    return spec;
}

TEST(UsbGenerator, AnswersEveryDescriptorTheHostAsksFor) {
    const Bytes report = uhid::generatorDescriptor(65, 65);
    const auto reportLength = static_cast<std::uint8_t>(report.size());
    struct Case {
        std::string what;
        SetupPacket request;
        std::int32_t status;
        Bytes data;  // the whole answer
    };
    const std::vector<Case> table = {
        {"device, first 8 bytes at address 0",
         setup(0x80, 6, 0x0100, 0, 8),
         0,
         {18, 1, 0x00, 0x02, 0, 0, 0, 64}},
        {"device",
         setup(0x80, 6, 0x0100, 0, 64),
         0,
         {18, 1, 0x00, 0x02, 0, 0, 0, 64, 0x3A, 0x6C, 0x19, 0x4E, 0x03, 0x01, 1, 2, 3, 1}},
        {"configuration head", setup(0x80, 6, 0x0200, 0, 9), 0, {9, 2, 34, 0, 1, 1, 0, 0x80, 50}},
        {"configuration whole",
         setup(0x80, 6, 0x0200, 0, 255),
         0,
         {9,  2,    34,   0,    1,  1, 0,    0x80,
          50,  // configuration
          9,  4,    0,    0,    1,  3, 0,    0,
          0,  // HID interface, no boot
          9,  0x21, 0x11, 0x01, 0,  1, 0x22, reportLength,
          0,                                  // HID descriptor
          7,  5,    0x81, 0x03, 64, 0, 10}},  // interrupt IN, 10 ms
        {"languages", setup(0x80, 6, 0x0300, 0, 255), 0, {4, 3, 0x09, 0x04}},
        {"manufacturer",
         setup(0x80, 6, 0x0301, 0x0409, 255),
         0,
         {16, 3, 'T', 0, 'r', 0, 'e', 0, 'l', 0, 'v', 0, 'i', 0, 'x', 0}},
        {"serial number beyond Latin-1",
         setup(0x80, 6, 0x0303, 0x0409, 255),
         0,
         {18, 3, 'T', 0, 'P', 0, 'G', 0, '-', 0, 0xA9, 0x03, '-', 0, 0x3D, 0xD8, 0xC8, 0xDC}},
        {"serial number, length first", setup(0x80, 6, 0x0303, 0x0409, 2), 0, {18, 3}},
        {"no string 4", setup(0x80, 6, 0x0304, 0x0409, 255), -EPIPE, {}},
        {"HID report descriptor", setup(0x81, 6, 0x2200, 0, reportLength), 0, report},
        {"report descriptor of interface 1", setup(0x81, 6, 0x2200, 1, 255), -EPIPE, {}},
        {"HID descriptor",
         setup(0x81, 6, 0x2100, 0, 9),
         0,
         {9, 0x21, 0x11, 0x01, 0, 1, 0x22, reportLength, 0}},
        {"no device qualifier at full speed", setup(0x80, 6, 0x0600, 0, 10), -EPIPE, {}},
        {"no such request", setup(0x80, 0x33, 0, 0, 4), -EPIPE, {}},
        {"vendor request", setup(0xC0, 1, 0, 0, 4), -EPIPE, {}},
        {"GET_STATUS", setup(0x80, 0, 0, 0, 2), 0, {0, 0}},
    };
    UsbGenerator generator(generatorSpec());
    for (const auto& c : table) {
        SCOPED_TRACE(c.what);
        const ControlReply reply = generator.control(c.request, {});
        EXPECT_EQ(reply.status, c.status);
        EXPECT_EQ(reply.data, c.data);
        EXPECT_EQ(reply.delay.count(), 0);
    }
}

TEST(UsbGenerator, ASerialNumberOfRawCodeUnitsGoesOutAsItIs) {
    // A lone high surrogate, a lone low one and a reversed pair, then more
    // units than a descriptor holds: the first 126 go out unchanged.
    UsbGeneratorSpec spec = generatorSpec();
    spec.serialUnits = {u'A', 0xD800, u'B', 0xDC00, 0xDC01, 0xD801};
    spec.serialUnits.resize(130, u'9');
    UsbGenerator generator(spec);
    const ControlReply reply = generator.control(setup(0x80, 6, 0x0303, 0x0409, 255), {});
    EXPECT_EQ(reply.status, 0);
    ASSERT_EQ(reply.data.size(), 254U);
    EXPECT_EQ(Bytes(reply.data.begin(), reply.data.begin() + 14),
              (Bytes{254, 3, 'A', 0, 0x00, 0xD8, 'B', 0, 0x00, 0xDC, 0x01, 0xDC, 0x01, 0xD8}));
    EXPECT_EQ(reply.data[252], '9');
    EXPECT_EQ(reply.data[253], 0);
}

TEST(UsbGenerator, FeatureReportsTravelWithoutTheirIdByte) {
    UsbGenerator generator(generatorSpec());
    // SetAmplitude 339 as usbhid sends it: 64 bytes, the 0x00 ID left off.
    Bytes amplitude(64, 0);
    amplitude[0] = 0x02;
    amplitude[2] = 0x53;
    amplitude[3] = 0x01;
    const auto setReport = setup(0x21, kHidSetReport, 0x0300, 0, 64);
    EXPECT_EQ(generator.control(setReport, amplitude).status, 0);
    EXPECT_EQ(generator.state().amplitudeIndex, 339);

    const auto getReport = setup(0xA1, kHidGetReport, 0x0300, 0, 64);
    const ControlReply state = generator.control(getReport, {});
    EXPECT_EQ(state.status, 0);
    ASSERT_EQ(state.data.size(), 64U);
    const Bytes expected = *protocol::buildStateReport(generator.state(), 65);
    EXPECT_EQ(state.data, Bytes(expected.begin() + 1, expected.end()));
    EXPECT_EQ(generator.inputReport(), state.data) << "the input report is the state";

    struct Refused {
        std::string what;
        SetupPacket request;
        Bytes data;
    };
    const std::vector<Refused> refused = {
        {"an output report", setup(0x21, kHidSetReport, 0x0200, 0, 64), amplitude},
        {"report ID 1", setup(0x21, kHidSetReport, 0x0301, 0, 64), amplitude},
        {"an unknown command", setup(0x21, kHidSetReport, 0x0300, 0, 64), Bytes(64, 0x04)},
        {"another interface", setup(0x21, kHidSetReport, 0x0300, 1, 64), amplitude},
        {"GET_REPORT of ID 2", setup(0xA1, kHidGetReport, 0x0302, 0, 64), {}},
    };
    for (const auto& r : refused) {
        SCOPED_TRACE(r.what);
        EXPECT_EQ(generator.control(r.request, r.data).status, -EPIPE);
    }
    EXPECT_EQ(generator.state().amplitudeIndex, 339) << "nothing refused changed the state";

    // Every request was recorded, setup bytes and data stage.
    const auto requests = generator.takeRequests();
    ASSERT_EQ(requests.size(), 2U + refused.size());
    EXPECT_EQ(requests[0].setup,
              (std::array<std::uint8_t, 8>{0x21, 0x09, 0x00, 0x03, 0x00, 0x00, 0x40, 0x00}));
    EXPECT_EQ(requests[0].data, amplitude);
    EXPECT_EQ(requests[1].setup,
              (std::array<std::uint8_t, 8>{0xA1, 0x01, 0x00, 0x03, 0x00, 0x00, 0x40, 0x00}));
    EXPECT_TRUE(requests[1].data.empty());
    EXPECT_TRUE(generator.takeRequests().empty());

    // Told to, it stalls or delays the state report.
    generator.setGetReportAnswer({GetReportAnswer::Kind::Stall});
    EXPECT_EQ(generator.control(getReport, {}).status, -EPIPE);
    generator.setGetReportAnswer({GetReportAnswer::Kind::Delay, std::chrono::milliseconds(300)});
    const ControlReply slow = generator.control(getReport, {});
    EXPECT_EQ(slow.data, state.data);
    EXPECT_EQ(slow.delay.count(), 300);
}

}  // namespace
}  // namespace tpg::hid::usbip
