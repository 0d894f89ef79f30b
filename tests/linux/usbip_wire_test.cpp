#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "hid/linux/usbip/UsbipWire.h"
#include "hid/linux/usbip/VhciPort.h"

namespace tpg::hid::usbip {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes fromHex(const std::string& text) {
    Bytes bytes;
    for (std::size_t i = 0; i + 1 < text.size();) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
        i += 2;
    }
    return bytes;
}

Header header(const std::string& text) {
    const Bytes bytes = fromHex(text);
    Header h{};
    std::copy(bytes.begin(), bytes.end(), h.begin());
    return h;
}

TEST(UsbipWire, HeadersDecodeAndEncodeFieldForField) {
    // Captures from a HID device's connection, and the replies this side
    // builds; every field is big-endian, the setup packet as USB has it.
    struct Case {
        std::string what;
        std::string bytes;
        Message message;
    };
    const std::vector<Case> table = {
        {"interrupt IN submitted",
         "00000001 00000d05 0001000f 00000001 00000001 00000200 00000040 ffffffff 00000000 "
         "00000004 00000000 00000000",
         CmdSubmit{.seqnum = 0xd05,
                   .devid = 0x1000f,
                   .direction = kDirIn,
                   .endpoint = 1,
                   .transferFlags = 0x200,
                   .transferBufferLength = 64,
                   .startFrame = 0xffffffff,
                   .numberOfPackets = 0,
                   .interval = 4}},
        {"SET_REPORT of a feature report",
         "00000001 00000007 00010002 00000000 00000000 00000000 00000040 00000000 ffffffff "
         "00000000 21090003 00004000",
         CmdSubmit{.seqnum = 7,
                   .devid = 0x10002,
                   .direction = kDirOut,
                   .endpoint = 0,
                   .transferBufferLength = 64,
                   .numberOfPackets = kNotIsochronous,
                   .setup = {0x21, 0x09, 0x00, 0x03, 0x00, 0x00, 0x40, 0x00}}},
        {"unlink", "00000002 00000d06 0001000f 00000000 00000000 00000d05",
         CmdUnlink{.seqnum = 0xd06, .devid = 0x1000f, .unlinkSeqnum = 0xd05}},
        {"stall",
         "00000003 00000009 00000000 00000000 00000000 ffffffe0 00000000 00000000 00000000",
         RetSubmit{.seqnum = 9, .status = -EPIPE, .actualLength = 0}},
        {"18 bytes back",
         "00000003 0000000a 00000000 00000000 00000000 00000000 00000012 00000000 00000000",
         RetSubmit{.seqnum = 10, .status = 0, .actualLength = 18}},
        {"unlinked while pending", "00000004 00000d06 00000000 00000000 00000000 ffffff98",
         RetUnlink{.seqnum = 0xd06, .status = -ECONNRESET}},
    };
    for (const auto& c : table) {
        SCOPED_TRACE(c.what);
        const Header bytes = header(c.bytes);
        const auto decoded = decode(bytes);
        ASSERT_TRUE(decoded.has_value());
        EXPECT_EQ(*decoded, c.message);
        EXPECT_EQ(encode(c.message), bytes) << "padding and field order";
    }
    EXPECT_FALSE(decode(header("00000005 00000001")).has_value()) << "unknown command";
    EXPECT_FALSE(decode(header("00000000")).has_value());
}

TEST(UsbipWire, SetupPacketIsLittleEndian) {
    const std::array<std::uint8_t, 8> bytes{0xA1, 0x01, 0x00, 0x03, 0x02, 0x00, 0x40, 0x01};
    const auto setup = SetupPacket::parse(bytes);
    EXPECT_EQ(setup, (SetupPacket{.requestType = 0xA1,
                                  .request = 0x01,
                                  .value = 0x0300,
                                  .index = 0x0002,
                                  .length = 0x0140}));
    EXPECT_TRUE(setup.deviceToHost());
    EXPECT_EQ(setup.bytes(), bytes);
    EXPECT_FALSE(SetupPacket{.requestType = 0x21}.deviceToHost());
}

TEST(VhciPort, StatusLinesGiveTheFreePortsOfEachHub) {
    const std::string status =
        "hub port sta spd dev      sockfd local_busid\n"
        "hs  0000 006 002 00010002 000003 3-1\n"
        "hs  0001 004 000 00000000 000000 0-0\n"
        "ss  0008 004 000 00000000 000000 0-0\n"
        "garbage\n"
        "hs  0016 005 000 00000000 0000000000000000 0-0\n";
    const auto ports = parseVhciStatus(status);
    ASSERT_EQ(ports.size(), 4U);
    EXPECT_TRUE(ports[0].highSpeedHub);
    EXPECT_EQ(ports[0].port, 0U);
    EXPECT_EQ(ports[0].status, 6U);
    EXPECT_EQ(ports[1].port, 1U);
    EXPECT_EQ(ports[1].status, kVhciPortFree);
    EXPECT_FALSE(ports[2].highSpeedHub);
    EXPECT_EQ(ports[2].port, 8U);
    EXPECT_EQ(ports[3].status, 5U) << "a controller not ready";
}

}  // namespace
}  // namespace tpg::hid::usbip
