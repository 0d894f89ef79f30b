// The USB/IP messages of the virtual generator on a real USB stack, as the
// host's side of the connection might send them.
//
// The header: the input's first 48 bytes are a message exactly when they
// name one of the four commands; every field comes out as its big-endian
// bytes say, and encoding the message gives those bytes back (the fields a
// reply does not carry as 0). A setup packet reads back as its 8 bytes.
//
// The device: a control request with any setup packet and data stage is
// answered with a stall or with no more data than the request asked for,
// and recorded as received.
//
// The connection: the whole input sent down a socket as the host's stream.
// Every reply is a RET_SUBMIT or RET_UNLINK for a command that was sent; a
// RET_SUBMIT carries no more than the transfer's buffer (for a control
// transfer, its setup packet's length) and data only for an IN transfer
// that succeeded; a transfer unlinked while pending never gets a RET_SUBMIT;
// the replies end on a message boundary; and when the server is gone no
// descriptor is left open.
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <vector>

#include "Check.h"
#include "hid/linux/usbip/UsbGenerator.h"
#include "hid/linux/usbip/UsbipServer.h"
#include "hid/linux/usbip/UsbipWire.h"

namespace {

using namespace tpg::hid::usbip;  // NOLINT(google-build-using-namespace)
using Bytes = std::vector<std::uint8_t>;

// The server takes no transfer longer than this; a longer one ends the
// connection.
constexpr std::uint32_t kMaxTransferBytes = 64 * 1024;
constexpr std::size_t kIsoDescriptorBytes = 16;

std::uint32_t bigEndian(std::span<const std::uint8_t> b, std::size_t at) {
    return (std::uint32_t{b[at]} << 24) | (std::uint32_t{b[at + 1]} << 16) |
           (std::uint32_t{b[at + 2]} << 8) | b[at + 3];
}

UsbGeneratorSpec generatorSpec() {
    UsbGeneratorSpec spec;
    spec.serialNumber = "TPG35-20417";
    spec.intervalMs = 0;  // interrupt transfers complete at once: one order of replies
    return spec;
}

void checkHeader(const Header& h) {
    const auto message = decode(h);
    const std::uint32_t command = bigEndian(h, 0);
    FUZZ_CHECK(message.has_value() == (command >= 1 && command <= 4));
    if (!message) {
        return;
    }
    // What encoding gives back: everything for CMD_SUBMIT; the basic header
    // and the unlinked seqnum for CMD_UNLINK; command, seqnum and the reply's
    // own fields for the two replies.
    Header expected = h;
    std::size_t used = kHeaderBytes;
    if (std::holds_alternative<CmdUnlink>(*message) ||
        std::holds_alternative<RetUnlink>(*message)) {
        used = 24;
    } else if (std::holds_alternative<RetSubmit>(*message)) {
        used = 40;
    }
    std::fill(expected.begin() + static_cast<std::ptrdiff_t>(used), expected.end(), 0);
    if (std::holds_alternative<RetSubmit>(*message) ||
        std::holds_alternative<RetUnlink>(*message)) {
        std::fill(expected.begin() + 8, expected.begin() + 20, 0);
    }
    FUZZ_CHECK(encode(*message) == expected);
    FUZZ_CHECK(decode(encode(*message)) == message);
    std::visit([&](const auto& m) { FUZZ_CHECK(m.seqnum == bigEndian(h, 4)); }, *message);

    std::array<std::uint8_t, 8> setup{};
    std::copy(h.end() - 8, h.end(), setup.begin());
    FUZZ_CHECK(SetupPacket::parse(setup).bytes() == setup);
}

void checkControl(const Header& h, std::span<const std::uint8_t> data) {
    std::array<std::uint8_t, 8> bytes{};
    std::copy(h.end() - 8, h.end(), bytes.begin());
    const SetupPacket setup = SetupPacket::parse(bytes);
    UsbGenerator device(generatorSpec());
    const ControlReply reply = device.control(setup, data);
    FUZZ_CHECK(reply.status == 0 || reply.status == -EPIPE);
    FUZZ_CHECK(reply.data.size() <= setup.length);
    FUZZ_CHECK(reply.status == 0 || reply.data.empty());
    const auto requests = device.takeRequests();
    FUZZ_CHECK(requests.size() == 1 && requests[0].setup == bytes &&
               requests[0].data == Bytes(data.begin(), data.end()));
}

// --- the connection ---

struct Submitted {
    bool in = false;
    bool control = false;
    std::uint32_t bufferLength = 0;
    std::uint16_t setupLength = 0;
};

// The commands of the host's stream as the server frames them, up to where
// it stops reading.
struct HostStream {
    std::multimap<std::uint32_t, Submitted> submits;
    std::multiset<std::uint32_t> unlinks;
    std::map<std::uint32_t, std::uint32_t> unlinkTarget;  // unlink seqnum -> target
};

HostStream frame(std::span<const std::uint8_t> stream) {
    HostStream host;
    std::size_t at = 0;
    while (stream.size() - at >= kHeaderBytes) {
        Header h{};
        std::copy_n(stream.begin() + static_cast<std::ptrdiff_t>(at), kHeaderBytes, h.begin());
        at += kHeaderBytes;
        const auto message = decode(h);
        if (const auto* s = message ? std::get_if<CmdSubmit>(&*message) : nullptr) {
            if (s->transferBufferLength > kMaxTransferBytes) {
                break;
            }
            if (s->direction == kDirOut) {
                if (stream.size() - at < s->transferBufferLength) {
                    break;
                }
                at += s->transferBufferLength;
            }
            if (s->numberOfPackets != kNotIsochronous && s->numberOfPackets != 0) {
                const std::size_t iso = std::size_t{s->numberOfPackets} * kIsoDescriptorBytes;
                if (s->numberOfPackets > kMaxTransferBytes / kIsoDescriptorBytes ||
                    stream.size() - at < iso) {
                    break;
                }
                at += iso;
            }
            host.submits.emplace(s->seqnum,
                                 Submitted{.in = s->direction == kDirIn,
                                           .control = s->endpoint == 0,
                                           .bufferLength = s->transferBufferLength,
                                           .setupLength = SetupPacket::parse(s->setup).length});
        } else if (const auto* u = message ? std::get_if<CmdUnlink>(&*message) : nullptr) {
            host.unlinks.insert(u->seqnum);
            host.unlinkTarget[u->seqnum] = u->unlinkSeqnum;
        } else {
            break;  // a reply or an unknown command: the server hangs up
        }
    }
    return host;
}

// The lowest descriptor number free now: it moves when one is left open.
int lowestFreeDescriptor() {
    const int fd = ::dup(STDIN_FILENO);
    ::close(fd);
    return fd;
}

Bytes exchange(std::span<const std::uint8_t> stream) {
    std::array<int, 2> ends{};
    FUZZ_CHECK(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends.data()) == 0);
    const int host = ends[0];
    UsbGenerator device(generatorSpec());
    Bytes replies;
    {
        UsbipServer server(ends[1], device);
        std::size_t sent = 0;
        bool writing = true;
        // Send the stream and read the replies at the same time, until the
        // server has hung up and nothing more is waiting.
        for (;;) {
            if (writing && sent == stream.size()) {
                ::shutdown(host, SHUT_WR);  // the host has said all it will
                writing = false;
            }
            pollfd p{host, static_cast<short>(POLLIN | (writing ? POLLOUT : 0)), 0};
            const int ready = ::poll(&p, 1, server.connected() ? 1 : 0);
            if (ready == 0 && !server.connected()) {
                break;
            }
            if ((p.revents & POLLIN) != 0) {
                std::array<std::uint8_t, 4096> chunk{};
                const ssize_t n = ::recv(host, chunk.data(), chunk.size(), MSG_DONTWAIT);
                if (n > 0) {
                    replies.insert(replies.end(), chunk.begin(), chunk.begin() + n);
                } else if (n == 0 && !server.connected()) {
                    break;
                }
            }
            if (writing && (p.revents & POLLOUT) != 0) {
                const ssize_t n = ::send(host, stream.data() + sent, stream.size() - sent,
                                         MSG_DONTWAIT | MSG_NOSIGNAL);
                if (n > 0) {
                    sent += static_cast<std::size_t>(n);
                } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                    writing = false;  // the server is gone
                }
            }
        }
    }
    ::close(host);
    return replies;
}

void checkConnection(std::span<const std::uint8_t> stream) {
    const int freeBefore = lowestFreeDescriptor();
    const Bytes replies = exchange(stream);
    FUZZ_CHECK(lowestFreeDescriptor() == freeBefore);

    // The replies can be told apart only when every command has a seqnum of
    // its own.
    const HostStream host = frame(stream);
    std::set<std::uint32_t> seqnums;
    for (const auto& [seqnum, submitted] : host.submits) {
        seqnums.insert(seqnum);
    }
    seqnums.insert(host.unlinks.begin(), host.unlinks.end());
    if (seqnums.size() != host.submits.size() + host.unlinks.size()) {
        return;
    }

    std::set<std::uint32_t> answered;
    std::set<std::uint32_t> cancelled;  // unlinked while pending
    std::size_t at = 0;
    while (at < replies.size()) {
        FUZZ_CHECK(replies.size() - at >= kHeaderBytes);
        Header h{};
        std::copy_n(replies.begin() + static_cast<std::ptrdiff_t>(at), kHeaderBytes, h.begin());
        at += kHeaderBytes;
        const auto message = decode(h);
        FUZZ_CHECK(message.has_value());
        if (const auto* ret = std::get_if<RetSubmit>(&*message)) {
            const auto it = host.submits.find(ret->seqnum);
            FUZZ_CHECK(it != host.submits.end());
            FUZZ_CHECK(answered.insert(ret->seqnum).second);
            FUZZ_CHECK(ret->status <= 0);
            const Submitted& s = it->second;
            FUZZ_CHECK(ret->actualLength <= s.bufferLength);
            if (s.control && s.in) {
                FUZZ_CHECK(ret->actualLength <= s.setupLength);
            }
            if (s.in && ret->status == 0) {
                FUZZ_CHECK(replies.size() - at >= ret->actualLength);
                at += ret->actualLength;
            }
        } else if (const auto* ret = std::get_if<RetUnlink>(&*message)) {
            FUZZ_CHECK(host.unlinks.count(ret->seqnum) == 1);
            FUZZ_CHECK(answered.insert(ret->seqnum).second);
            FUZZ_CHECK(ret->status == 0 || ret->status == -ECONNRESET);
            if (ret->status == -ECONNRESET) {
                cancelled.insert(host.unlinkTarget.at(ret->seqnum));
            }
        } else {
            FUZZ_CHECK(false);  // the device side sends replies only
        }
    }
    // A transfer unlinked while pending is answered by RET_UNLINK alone.
    for (const std::uint32_t seqnum : cancelled) {
        FUZZ_CHECK(host.submits.count(seqnum) == 1);
        FUZZ_CHECK(answered.count(seqnum) == 0);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Header h{};
    std::copy_n(data, std::min(size, kHeaderBytes), h.begin());
    checkHeader(h);
    const auto rest = std::span(data, size).subspan(std::min(size, kHeaderBytes));
    checkControl(h, rest.first(std::min<std::size_t>(rest.size(), 256)));
    checkConnection({data, size});
    return 0;
}
