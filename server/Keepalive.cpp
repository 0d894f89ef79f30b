#include "server/Keepalive.h"

#ifdef _WIN32
// clang-format off
#include <winsock2.h>
#include <mstcpip.h>
// clang-format on
#else
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

namespace tpg::server {

bool enableKeepalive(asio::ip::tcp::socket& socket) {
    asio::error_code error;
    socket.set_option(asio::socket_base::keep_alive(true), error);
    if (error) {
        return false;
    }
#ifdef _WIN32
    // Windows sends 10 probes at the interval (not configurable per socket).
    tcp_keepalive times{};
    times.onoff = 1;
    times.keepalivetime = kKeepaliveIdleSeconds * 1000;
    times.keepaliveinterval = kKeepaliveIntervalSeconds * 1000;
    DWORD returned = 0;
    return WSAIoctl(socket.native_handle(), SIO_KEEPALIVE_VALS, &times, sizeof times, nullptr, 0,
                    &returned, nullptr, nullptr) == 0;
#else
    const int fd = socket.native_handle();
    const int idle = kKeepaliveIdleSeconds;
    const int interval = kKeepaliveIntervalSeconds;
    const int probes = kKeepaliveProbes;
    return setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle) == 0 &&
           setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval) == 0 &&
           setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes) == 0;
#endif
}

}  // namespace tpg::server
