// TCP keepalive on an accepted connection: a peer that vanished without
// closing (powered off, asleep, its network gone) is found within about
// two minutes and its connection closed, so that forgotten sessions do not
// hold the server's places for good. A live idle session is kept: the
// probes are answered by the peer's system, not its program.
#pragma once

#include <asio/ip/tcp.hpp>

namespace tpg::server {

inline constexpr int kKeepaliveIdleSeconds = 60;      // quiet time before the first probe
inline constexpr int kKeepaliveIntervalSeconds = 10;  // between unanswered probes
inline constexpr int kKeepaliveProbes = 6;            // unanswered probes that end it

// Turns keepalive on with the times above; false when the system refused.
bool enableKeepalive(asio::ip::tcp::socket& socket);

}  // namespace tpg::server
