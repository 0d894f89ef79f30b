#include "server/ListenAddress.h"

#include <charconv>

namespace tpg::server {

std::optional<asio::ip::tcp::endpoint> parseListenAddress(std::string_view text,
                                                          std::string& error) {
    // Built by appending: GCC 12 at -O3 sees overlapping copies in
    // "literal" + std::string temporaries that are not there.
    std::string quoted(1, '"');
    quoted.append(text).push_back('"');
    std::string_view host;
    std::string_view port;
    if (text.starts_with('[')) {
        const std::size_t close = text.find("]:");
        if (close == std::string_view::npos) {
            error = "--listen " + quoted + ": an IPv6 address is written [ADDRESS]:PORT";
            return std::nullopt;
        }
        host = text.substr(1, close - 1);
        port = text.substr(close + 2);
    } else {
        const std::size_t colon = text.rfind(':');
        if (colon == std::string_view::npos) {
            error = "--listen " + quoted + ": HOST:PORT expected, e.g. 127.0.0.1:5025";
            return std::nullopt;
        }
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
        if (host.find(':') != std::string_view::npos) {
            error = "--listen " + quoted + ": write an IPv6 address in brackets, e.g. [::1]:5025";
            return std::nullopt;
        }
    }
    unsigned number = 0;
    const auto [end, status] = std::from_chars(port.data(), port.data() + port.size(), number);
    if (port.empty() || status != std::errc() || end != port.data() + port.size() ||
        number > 65535) {
        error = "--listen " + quoted + ": the port must be a number from 0 to 65535";
        return std::nullopt;
    }
    asio::error_code bad;
    const asio::ip::address address = host == "localhost"
                                          ? asio::ip::address(asio::ip::address_v4::loopback())
                                          : asio::ip::make_address(std::string(host), bad);
    if (bad) {
        error = "--listen " + quoted + ": \"";
        error.append(host).append("\" is not a numeric IPv4 or IPv6 address");
        return std::nullopt;
    }
    return asio::ip::tcp::endpoint(address, static_cast<unsigned short>(number));
}

std::string endpointText(const asio::ip::tcp::endpoint& endpoint) {
    const asio::ip::address address = endpoint.address();
    std::string text;
    if (address.is_v6()) {
        text.append(1, '[').append(address.to_string()).append(1, ']');
    } else {
        text = address.to_string();
    }
    return text.append(1, ':').append(std::to_string(endpoint.port()));
}

}  // namespace tpg::server
