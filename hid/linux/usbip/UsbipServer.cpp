#include "hid/linux/usbip/UsbipServer.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

namespace tpg::hid::usbip {

namespace {

constexpr std::uint32_t kControlEndpoint = 0;
constexpr std::uint32_t kInterruptEndpoint = kInterruptInEndpoint & 0x0FU;
// More than any transfer of this device; a longer one is a broken peer.
constexpr std::uint32_t kMaxTransferBytes = 64 * 1024;
constexpr std::size_t kIsoDescriptorBytes = 16;
// Polling counts as stopped when the host has not asked again this long
// after the interrupt transfer's time.
constexpr auto kPollingGrace = std::chrono::milliseconds(30);

bool readFull(int fd, std::span<std::uint8_t> buffer) {
    std::size_t done = 0;
    while (done < buffer.size()) {
        const ssize_t n = ::recv(fd, buffer.data() + done, buffer.size() - done, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool writeFull(int fd, std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

UsbipServer::UsbipServer(int socket, UsbGenerator& device)
    : socket_(socket),
      wakeFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      device_(device),
      thread_([this] { run(); }) {}

UsbipServer::~UsbipServer() {
    // Both the wake-up and the shutdown end the thread, even one waiting in
    // the middle of a message.
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto ignored = ::write(wakeFd_, &one, sizeof(one));
    ::shutdown(socket_, SHUT_RDWR);
    thread_.join();
    ::close(socket_);
    if (wakeFd_ >= 0) {
        ::close(wakeFd_);
    }
}

bool UsbipServer::waitDisconnected(std::chrono::milliseconds timeout) const {
    const auto deadline = Clock::now() + timeout;
    while (connected_ && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return !connected_;
}

void UsbipServer::run() {
    while (true) {
        auto now = Clock::now();
        stopPollingIfIdle(now);
        // Complete whatever is due, earliest first.
        std::sort(pending_.begin(), pending_.end(),
                  [](const Pending& a, const Pending& b) { return a.due < b.due; });
        while (!pending_.empty() && pending_.front().due <= now) {
            const Pending due = pending_.front();
            pending_.erase(pending_.begin());
            if (!complete(due)) {
                connected_ = false;
                return;
            }
            now = Clock::now();
        }
        int timeout = -1;
        if (!pending_.empty()) {
            timeout = static_cast<int>(
                std::chrono::ceil<std::chrono::milliseconds>(pending_.front().due - now).count());
        } else if (polling_) {
            timeout = static_cast<int>(kPollingGrace.count());
        }
        std::array<pollfd, 2> fds{pollfd{socket_, POLLIN, 0}, pollfd{wakeFd_, POLLIN, 0}};
        const int ready = ::poll(fds.data(), fds.size(), timeout);
        if (ready < 0 && errno != EINTR) {
            break;
        }
        if (fds[1].revents != 0) {
            return;  // the owner stops the server
        }
        if ((fds[0].revents & (POLLIN | POLLERR | POLLHUP)) != 0 && !handleMessage()) {
            break;
        }
    }
    connected_ = false;
}

void UsbipServer::stopPollingIfIdle(Clock::time_point now) {
    const bool interruptPending =
        std::any_of(pending_.begin(), pending_.end(), [](const Pending& p) { return p.interrupt; });
    if (polling_ && !interruptPending && now > lastInput_ + device_.interval() + kPollingGrace) {
        polling_ = false;
        ++pollingStops_;
    }
}

bool UsbipServer::handleMessage() {
    Header header{};
    if (!readFull(socket_, header)) {
        return false;  // the host closed the connection: a detach or its end
    }
    const auto message = decode(header);
    if (!message) {
        return false;
    }
    if (const auto* command = std::get_if<CmdSubmit>(&*message)) {
        return submit(*command);
    }
    if (const auto* command = std::get_if<CmdUnlink>(&*message)) {
        return unlink(*command);
    }
    return false;  // replies never come from the host
}

bool UsbipServer::submit(const CmdSubmit& command) {
    if (command.transferBufferLength > kMaxTransferBytes) {
        return false;
    }
    std::vector<std::uint8_t> out;
    if (command.direction == kDirOut) {
        out.resize(command.transferBufferLength);
        if (!readFull(socket_, out)) {
            return false;
        }
    }
    if (command.numberOfPackets != kNotIsochronous && command.numberOfPackets != 0) {
        // No isochronous endpoint here: skip the packet descriptors, stall.
        if (command.numberOfPackets > kMaxTransferBytes / kIsoDescriptorBytes) {
            return false;
        }
        std::vector<std::uint8_t> iso(command.numberOfPackets * kIsoDescriptorBytes);
        return readFull(socket_, iso) && sendReply(command.seqnum, -EPIPE, 0, {});
    }

    const auto now = Clock::now();
    if (command.endpoint == kControlEndpoint) {
        const auto setup = SetupPacket::parse(command.setup);
        ControlReply reply = device_.control(setup, out);
        const bool in = command.direction == kDirIn;
        if (reply.delay.count() > 0) {
            pending_.push_back({.seqnum = command.seqnum,
                                .interrupt = false,
                                .due = now + reply.delay,
                                .bufferLength = command.transferBufferLength,
                                .status = reply.status,
                                .data = std::move(reply.data),
                                .deviceToHost = in});
            return true;
        }
        const Pending immediate{.seqnum = command.seqnum,
                                .interrupt = false,
                                .due = now,
                                .bufferLength = command.transferBufferLength,
                                .status = reply.status,
                                .data = std::move(reply.data),
                                .deviceToHost = in};
        return complete(immediate);
    }
    if (command.endpoint == kInterruptEndpoint && command.direction == kDirIn) {
        if (!polling_) {
            polling_ = true;
            ++pollingStarts_;
        }
        Pending transfer;
        transfer.seqnum = command.seqnum;
        transfer.interrupt = true;
        transfer.due = std::max(now, lastInput_ + device_.interval());
        transfer.bufferLength = command.transferBufferLength;
        pending_.push_back(std::move(transfer));
        return true;
    }
    return sendReply(command.seqnum, -EPIPE, 0, {});  // no such endpoint
}

bool UsbipServer::complete(const Pending& pending) {
    if (pending.interrupt) {
        auto report = device_.inputReport();
        report.resize(std::min<std::size_t>(report.size(), pending.bufferLength));
        lastInput_ = Clock::now();
        ++inputReportsSent_;
        return sendReply(pending.seqnum, 0, static_cast<std::uint32_t>(report.size()), report);
    }
    if (pending.status != 0) {
        return sendReply(pending.seqnum, pending.status, 0, {});
    }
    if (!pending.deviceToHost) {
        return sendReply(pending.seqnum, 0, pending.bufferLength, {});
    }
    const std::size_t length = std::min<std::size_t>(pending.data.size(), pending.bufferLength);
    return sendReply(pending.seqnum, 0, static_cast<std::uint32_t>(length),
                     std::span(pending.data).first(length));
}

bool UsbipServer::unlink(const CmdUnlink& command) {
    const auto it = std::find_if(pending_.begin(), pending_.end(), [&](const Pending& p) {
        return p.seqnum == command.unlinkSeqnum;
    });
    std::int32_t status = 0;  // already answered: nothing was left to unlink
    if (it != pending_.end()) {
        if (it->interrupt && polling_) {
            polling_ = false;
            ++pollingStops_;
        }
        pending_.erase(it);
        ++unlinks_;
        status = -ECONNRESET;
    }
    const Header header = encode(RetUnlink{.seqnum = command.seqnum, .status = status});
    return writeFull(socket_, header);
}

bool UsbipServer::sendReply(std::uint32_t seqnum, std::int32_t status, std::uint32_t actualLength,
                            std::span<const std::uint8_t> data) {
    const Header header =
        encode(RetSubmit{.seqnum = seqnum, .status = status, .actualLength = actualLength});
    std::vector<std::uint8_t> message(header.begin(), header.end());
    message.insert(message.end(), data.begin(), data.end());
    return writeFull(socket_, message);
}

}  // namespace tpg::hid::usbip
