// The USB/IP device side over a socket pair, with the test playing the
// kernel's virtual host controller where a real one cannot be made to: the
// exact answers around unlinking a pending transfer, and a peer that breaks
// the protocol. The whole path runs on a real kernel in tests/kernel/.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <vector>

#include "hid/linux/usbip/UsbipServer.h"

namespace tpg::hid::usbip {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The host's end of the connection.
class Host {
  public:
    Host() {
        int ends[2];
        EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
        fd_ = ends[0];
        server = std::make_unique<UsbipServer>(ends[1], generator);
    }
    ~Host() {
        server.reset();
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    void sendHeader(const Header& header) { send(header, {}); }
    void hangUp() {
        ::close(fd_);
        fd_ = -1;
    }

    std::uint32_t interruptIn(std::uint32_t length) {
        const std::uint32_t seqnum = next_++;
        send(encode(CmdSubmit{.seqnum = seqnum,
                              .direction = kDirIn,
                              .endpoint = 1,
                              .transferBufferLength = length,
                              .interval = 10}),
             {});
        return seqnum;
    }
    std::uint32_t unlink(std::uint32_t seqnum) {
        const std::uint32_t own = next_++;
        send(encode(CmdUnlink{.seqnum = own, .unlinkSeqnum = seqnum}), {});
        return own;
    }

    // The next reply, with its data stage; nothing within the time.
    struct Reply {
        Message message;
        Bytes data;
    };
    std::optional<Reply> receive(milliseconds timeout = milliseconds(2000)) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(timeout.count())) != 1) {
            return std::nullopt;
        }
        Header header{};
        if (!readFull(header)) {
            return std::nullopt;
        }
        auto message = decode(header);
        if (!message) {
            return std::nullopt;
        }
        Reply reply{*message, {}};
        if (const auto* ret = std::get_if<RetSubmit>(&*message)) {
            reply.data.resize(ret->actualLength);
            if (isIn(ret->seqnum) && !readFull(reply.data)) {
                return std::nullopt;
            }
            if (!isIn(ret->seqnum)) {
                reply.data.clear();
            }
        }
        return reply;
    }

    // A long polling interval, so that a transfer is still pending when the
    // host unlinks it right after submitting, however loaded the machine.
    UsbGenerator generator{[] {
        UsbGeneratorSpec spec;
        spec.serialNumber = "TPG-7";
        spec.intervalMs = 100;
        return spec;
    }()};
    std::unique_ptr<UsbipServer> server;

  private:
    void send(const Header& header, const Bytes& data) {
        Bytes bytes(header.begin(), header.end());
        bytes.insert(bytes.end(), data.begin(), data.end());
        ASSERT_EQ(::write(fd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        const auto decoded = decode(header);
        if (const auto* c = decoded ? std::get_if<CmdSubmit>(&*decoded) : nullptr) {
            in_.push_back({c->seqnum, c->direction == kDirIn});
        }
    }
    bool isIn(std::uint32_t seqnum) const {
        for (const auto& [s, in] : in_) {
            if (s == seqnum) {
                return in;
            }
        }
        return false;
    }
    bool readFull(std::span<std::uint8_t> buffer) {
        std::size_t done = 0;
        while (done < buffer.size()) {
            const ssize_t n = ::read(fd_, buffer.data() + done, buffer.size() - done);
            if (n <= 0) {
                return false;
            }
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

    int fd_ = -1;
    std::uint32_t next_ = 1;
    std::vector<std::pair<std::uint32_t, bool>> in_;
};

RetSubmit retSubmit(const Host::Reply& reply) {
    const auto* ret = std::get_if<RetSubmit>(&reply.message);
    EXPECT_NE(ret, nullptr);
    return ret != nullptr ? *ret : RetSubmit{};
}

TEST(UsbipServer, ThePendingInterruptTransferIsUnlinkedWithoutAReply) {
    Host host;
    EXPECT_FALSE(host.server->polling());
    // The first transfer is answered with the input report at once, the
    // next one a polling interval later.
    const auto start = Clock::now();
    const auto first = host.interruptIn(64);
    auto reply = host.receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ(retSubmit(*reply).seqnum, first);
    EXPECT_EQ(reply->data, host.generator.inputReport());
    const auto second = host.interruptIn(64);
    reply = host.receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ(retSubmit(*reply).seqnum, second);
    EXPECT_GE(Clock::now() - start, milliseconds(100));
    EXPECT_TRUE(host.server->polling());
    EXPECT_EQ(host.server->pollingStarts(), 1);

    // The third is unlinked while pending: RET_UNLINK says so, and no
    // RET_SUBMIT follows for it (the host would drop the connection).
    const auto third = host.interruptIn(64);
    const auto unlink = host.unlink(third);
    reply = host.receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ(std::get<RetUnlink>(reply->message),
              (RetUnlink{.seqnum = unlink, .status = -ECONNRESET}));
    EXPECT_FALSE(host.receive(milliseconds(200))) << "a reply for the unlinked transfer";
    EXPECT_FALSE(host.server->polling());
    EXPECT_EQ(host.server->pollingStops(), 1);

    // Unlinking what was answered already: status 0.
    const auto late = host.unlink(second);
    reply = host.receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ(std::get<RetUnlink>(reply->message), (RetUnlink{.seqnum = late, .status = 0}));
    EXPECT_EQ(host.server->unlinks(), 1);

    // A short transfer gets the report cut to its length; polling that
    // simply stops counts as stopped too.
    host.interruptIn(8);
    reply = host.receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->data.size(), 8U);
    EXPECT_EQ(host.server->pollingStarts(), 2);
    const auto deadline = Clock::now() + milliseconds(500);
    while (host.server->polling() && Clock::now() < deadline) {
        std::this_thread::sleep_for(milliseconds(5));
    }
    EXPECT_FALSE(host.server->polling());
    EXPECT_EQ(host.server->inputReportsSent(), 3);
}

TEST(UsbipServer, TheHostHangingUpOrBreakingTheProtocolEndsTheConnection) {
    {
        Host host;
        EXPECT_TRUE(host.server->connected());
        host.hangUp();
        EXPECT_TRUE(host.server->waitDisconnected(milliseconds(2000)));
    }
    struct Broken {
        std::string what;
        Header header;
    };
    const std::vector<Broken> table = {
        {"an unknown command", encode(RetUnlink{.seqnum = 1}) /* replaced below */},
        {"a reply sent by the host", encode(RetSubmit{.seqnum = 1})},
        {"a transfer of more than 64 KiB",
         encode(CmdSubmit{.seqnum = 1, .direction = kDirIn, .transferBufferLength = 0x10001})},
    };
    for (auto b : table) {
        SCOPED_TRACE(b.what);
        if (b.what == "an unknown command") {
            b.header[3] = 0x09;
        }
        Host host;
        host.sendHeader(b.header);
        EXPECT_TRUE(host.server->waitDisconnected(milliseconds(2000)));
        EXPECT_FALSE(host.receive(milliseconds(20)).has_value());
    }
}

}  // namespace
}  // namespace tpg::hid::usbip
