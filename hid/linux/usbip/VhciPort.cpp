#include "hid/linux/usbip/VhciPort.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>

namespace tpg::hid::usbip {

namespace {

std::string errorText(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

std::optional<std::string> readText(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    std::string text;
    char chunk[1024];
    ssize_t n = 0;
    while ((n = ::read(fd, chunk, sizeof(chunk))) > 0) {
        text.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return text;
}

// Writes text to a sysfs attribute in one write, as the attribute expects;
// errno tells why it failed.
bool writeAttribute(const std::string& path, const std::string& text) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const ssize_t n = ::write(fd, text.data(), text.size());
    const int error = errno;
    ::close(fd);
    errno = error;
    return n == static_cast<ssize_t>(text.size());
}

void noDelay(int socket) {
    const int one = 1;
    ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
}

// A connected pair of loopback TCP sockets: [0] the device's, [1] the host's.
bool loopbackPair(std::array<int, 2>& ends, std::string& error) {
    ends = {-1, -1};
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener < 0) {
        error = errorText("socket");
        return false;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    bool ok = ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
              ::listen(listener, 1) == 0 &&
              ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    if (ok) {
        ends[1] = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ok = ends[1] >= 0 &&
             ::connect(ends[1], reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    }
    if (ok) {
        ends[0] = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        ok = ends[0] >= 0;
    }
    if (!ok) {
        error = errorText("loopback connection (is lo up?)");
        for (const int fd : ends) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }
    ::close(listener);
    if (ok) {
        noDelay(ends[0]);
        noDelay(ends[1]);
    }
    return ok;
}

}  // namespace

std::vector<VhciPortStatus> parseVhciStatus(const std::string& text) {
    std::vector<VhciPortStatus> ports;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string hub;
        VhciPortStatus port;
        if (!(fields >> hub >> port.port >> port.status) || (hub != "hs" && hub != "ss")) {
            continue;  // the heading, or something this code does not know
        }
        port.highSpeedHub = hub == "hs";
        ports.push_back(port);
    }
    return ports;
}

std::optional<VhciAttachment> attachFullSpeed(std::uint32_t devid, std::string& error,
                                              const std::string& vhciDirectory) {
    const auto status = readText(vhciDirectory + "/status");
    if (!status) {
        error = "no USB/IP virtual host controller at " + vhciDirectory + " (modprobe vhci-hcd)";
        return std::nullopt;
    }
    for (const auto& port : parseVhciStatus(*status)) {
        if (!port.highSpeedHub || port.status != kVhciPortFree) {
            continue;
        }
        std::array<int, 2> ends{};
        if (!loopbackPair(ends, error)) {
            return std::nullopt;
        }
        const std::string request = std::to_string(port.port) + " " + std::to_string(ends[1]) +
                                    " " + std::to_string(devid) + " " + std::to_string(kSpeedFull);
        const bool attached = writeAttribute(vhciDirectory + "/attach", request);
        const int attachError = errno;
        ::close(ends[1]);  // the controller holds its own reference now
        if (attached) {
            return VhciAttachment{.port = port.port, .socket = ends[0]};
        }
        ::close(ends[0]);
        if (attachError != EBUSY) {
            errno = attachError;
            error = errorText("attach to port " + std::to_string(port.port));
            return std::nullopt;
        }
        // Taken by someone else since the status was read: the next one.
    }
    error = "no free port on the USB/IP virtual host controller";
    return std::nullopt;
}

bool detach(unsigned port, std::string& error, const std::string& vhciDirectory) {
    if (!writeAttribute(vhciDirectory + "/detach", std::to_string(port))) {
        error = errorText("detach port " + std::to_string(port));
        return false;
    }
    return true;
}

}  // namespace tpg::hid::usbip
