// The messages of a USB/IP connection once a device is attached: the host's
// CMD_SUBMIT and CMD_UNLINK, the device side's RET_SUBMIT and RET_UNLINK.
// Every message starts with a 48-byte header of big-endian 32-bit fields;
// the setup packet of a control transfer travels in it as the 8 bytes that
// go on the wire, little-endian as USB has them. Pure byte work.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <variant>

namespace tpg::hid::usbip {

inline constexpr std::size_t kHeaderBytes = 48;
using Header = std::array<std::uint8_t, kHeaderBytes>;

enum class Command : std::uint32_t {
    CmdSubmit = 1,
    CmdUnlink = 2,
    RetSubmit = 3,
    RetUnlink = 4,
};

inline constexpr std::uint32_t kDirOut = 0;
inline constexpr std::uint32_t kDirIn = 1;
// number_of_packets of a transfer that is not isochronous, as hosts send it;
// the kernel also sends 0.
inline constexpr std::uint32_t kNotIsochronous = 0xFFFFFFFF;

// The 8-byte setup packet of a control transfer.
struct SetupPacket {
    std::uint8_t requestType = 0;
    std::uint8_t request = 0;
    std::uint16_t value = 0;
    std::uint16_t index = 0;
    std::uint16_t length = 0;

    static SetupPacket parse(std::span<const std::uint8_t, 8> bytes);
    std::array<std::uint8_t, 8> bytes() const;
    bool deviceToHost() const { return (requestType & 0x80U) != 0; }
    bool operator==(const SetupPacket&) const = default;
};

struct CmdSubmit {
    std::uint32_t seqnum = 0;
    std::uint32_t devid = 0;
    std::uint32_t direction = kDirOut;
    std::uint32_t endpoint = 0;
    std::uint32_t transferFlags = 0;
    std::uint32_t transferBufferLength = 0;
    std::uint32_t startFrame = 0;
    std::uint32_t numberOfPackets = kNotIsochronous;
    std::uint32_t interval = 0;
    std::array<std::uint8_t, 8> setup{};
    bool operator==(const CmdSubmit&) const = default;
};

struct CmdUnlink {
    std::uint32_t seqnum = 0;
    std::uint32_t devid = 0;
    std::uint32_t direction = kDirOut;
    std::uint32_t endpoint = 0;
    std::uint32_t unlinkSeqnum = 0;
    bool operator==(const CmdUnlink&) const = default;
};

struct RetSubmit {
    std::uint32_t seqnum = 0;
    std::int32_t status = 0;  // 0, or a negative errno such as -EPIPE (a stall)
    std::uint32_t actualLength = 0;
    std::uint32_t startFrame = 0;
    // Never more than the transfer was submitted with: 0 for any transfer
    // that is not isochronous, as the kernel's own device side answers.
    std::uint32_t numberOfPackets = 0;
    std::uint32_t errorCount = 0;
    bool operator==(const RetSubmit&) const = default;
};

struct RetUnlink {
    std::uint32_t seqnum = 0;
    std::int32_t status = 0;  // -ECONNRESET when the transfer was still pending
    bool operator==(const RetUnlink&) const = default;
};

using Message = std::variant<CmdSubmit, CmdUnlink, RetSubmit, RetUnlink>;

// A header as it goes on the wire. The device side sends devid, direction
// and endpoint as 0 in its replies.
Header encode(const Message& message);

// The message a header holds; nothing for an unknown command.
std::optional<Message> decode(std::span<const std::uint8_t, kHeaderBytes> header);

}  // namespace tpg::hid::usbip
