#include "hid/linux/usbip/UsbipWire.h"

namespace tpg::hid::usbip {

namespace {

class Writer {
  public:
    explicit Writer(Header& header) : header_(header) {}
    void put(std::uint32_t value) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            header_[pos_++] = static_cast<std::uint8_t>(value >> shift);
        }
    }
    void putSigned(std::int32_t value) { put(static_cast<std::uint32_t>(value)); }
    void putBytes(std::span<const std::uint8_t> bytes) {
        for (const auto b : bytes) {
            header_[pos_++] = b;
        }
    }
    // The basic header shared by all four messages.
    void basic(Command command, std::uint32_t seqnum, std::uint32_t devid, std::uint32_t direction,
               std::uint32_t endpoint) {
        put(static_cast<std::uint32_t>(command));
        put(seqnum);
        put(devid);
        put(direction);
        put(endpoint);
    }

  private:
    Header& header_;
    std::size_t pos_ = 0;
};

class Reader {
  public:
    explicit Reader(std::span<const std::uint8_t, kHeaderBytes> header) : header_(header) {}
    std::uint32_t get() {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            value = (value << 8) | header_[pos_++];
        }
        return value;
    }
    std::int32_t getSigned() { return static_cast<std::int32_t>(get()); }
    void getBytes(std::span<std::uint8_t> out) {
        for (auto& b : out) {
            b = header_[pos_++];
        }
    }

  private:
    std::span<const std::uint8_t, kHeaderBytes> header_;
    std::size_t pos_ = 0;
};

std::uint16_t little16(std::uint8_t low, std::uint8_t high) {
    return static_cast<std::uint16_t>(low | (high << 8));
}

}  // namespace

SetupPacket SetupPacket::parse(std::span<const std::uint8_t, 8> bytes) {
    return SetupPacket{.requestType = bytes[0],
                       .request = bytes[1],
                       .value = little16(bytes[2], bytes[3]),
                       .index = little16(bytes[4], bytes[5]),
                       .length = little16(bytes[6], bytes[7])};
}

std::array<std::uint8_t, 8> SetupPacket::bytes() const {
    return {requestType,
            request,
            static_cast<std::uint8_t>(value & 0xFFU),
            static_cast<std::uint8_t>(value >> 8),
            static_cast<std::uint8_t>(index & 0xFFU),
            static_cast<std::uint8_t>(index >> 8),
            static_cast<std::uint8_t>(length & 0xFFU),
            static_cast<std::uint8_t>(length >> 8)};
}

Header encode(const Message& message) {
    Header header{};
    Writer w(header);
    if (const auto* m = std::get_if<CmdSubmit>(&message)) {
        w.basic(Command::CmdSubmit, m->seqnum, m->devid, m->direction, m->endpoint);
        w.put(m->transferFlags);
        w.put(m->transferBufferLength);
        w.put(m->startFrame);
        w.put(m->numberOfPackets);
        w.put(m->interval);
        w.putBytes(m->setup);
    } else if (const auto* m = std::get_if<CmdUnlink>(&message)) {
        w.basic(Command::CmdUnlink, m->seqnum, m->devid, m->direction, m->endpoint);
        w.put(m->unlinkSeqnum);
    } else if (const auto* m = std::get_if<RetSubmit>(&message)) {
        w.basic(Command::RetSubmit, m->seqnum, 0, 0, 0);
        w.putSigned(m->status);
        w.put(m->actualLength);
        w.put(m->startFrame);
        w.put(m->numberOfPackets);
        w.put(m->errorCount);
    } else if (const auto* m = std::get_if<RetUnlink>(&message)) {
        w.basic(Command::RetUnlink, m->seqnum, 0, 0, 0);
        w.putSigned(m->status);
    }
    return header;  // the rest, padding, stays zero
}

std::optional<Message> decode(std::span<const std::uint8_t, kHeaderBytes> header) {
    Reader r(header);
    const std::uint32_t command = r.get();
    const std::uint32_t seqnum = r.get();
    const std::uint32_t devid = r.get();
    const std::uint32_t direction = r.get();
    const std::uint32_t endpoint = r.get();
    switch (static_cast<Command>(command)) {
        case Command::CmdSubmit: {
            CmdSubmit m{
                .seqnum = seqnum, .devid = devid, .direction = direction, .endpoint = endpoint};
            m.transferFlags = r.get();
            m.transferBufferLength = r.get();
            m.startFrame = r.get();
            m.numberOfPackets = r.get();
            m.interval = r.get();
            r.getBytes(m.setup);
            return m;
        }
        case Command::CmdUnlink: {
            CmdUnlink m{
                .seqnum = seqnum, .devid = devid, .direction = direction, .endpoint = endpoint};
            m.unlinkSeqnum = r.get();
            return m;
        }
        case Command::RetSubmit: {
            RetSubmit m{.seqnum = seqnum};
            m.status = r.getSigned();
            m.actualLength = r.get();
            m.startFrame = r.get();
            m.numberOfPackets = r.get();
            m.errorCount = r.get();
            return m;
        }
        case Command::RetUnlink: {
            RetUnlink m{.seqnum = seqnum};
            m.status = r.getSigned();
            return m;
        }
    }
    return std::nullopt;
}

}  // namespace tpg::hid::usbip
