// The address the server listens on, as --listen gives it: HOST:PORT with a
// numeric IPv4 address, an IPv6 address in brackets or "localhost", and a
// port from 0 (any free port) to 65535.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <asio/ip/tcp.hpp>

namespace tpg::server {

inline constexpr const char* kDefaultListen = "127.0.0.1:5025";

// The endpoint, or nothing with the reason in error.
std::optional<asio::ip::tcp::endpoint> parseListenAddress(std::string_view text,
                                                          std::string& error);

// "127.0.0.1:5025", "[::1]:5025".
std::string endpointText(const asio::ip::tcp::endpoint& endpoint);

}  // namespace tpg::server
