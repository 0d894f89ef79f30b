// The page as serve starts it: --http HOST:PORT (default 127.0.0.1:8080),
// --no-http, --http-password-file FILE.
#pragma once

#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <asio.hpp>

#include "lock/GeneratorLock.h"
#include "scpi/Generator.h"

namespace tpg::web {

class WebServer;

inline constexpr const char* kDefaultHttp = "127.0.0.1:8080";

struct PageOptions {
    std::optional<std::string> http;          // --http
    bool off = false;                         // --no-http
    std::optional<std::string> passwordFile;  // --http-password-file
    std::vector<std::string> resources;       // the VISA resource strings served
};

struct StartedPage {
    std::unique_ptr<WebServer> server;  // null when off, or the default port is taken
    int status = 0;                     // 0, or 1 for bad usage, 3 when --http cannot listen
};

// Starts the page. A failure is told on err with the program's prefix. When
// the default address is taken the page is left out with a warning, so that
// a second serve on the machine still serves SCPI.
StartedPage startPage(asio::io_context& io, const PageOptions& options, scpi::Generator& generator,
                      lock::GeneratorLock& lock, std::ostream& err);

// The host part of a resource string for an endpoint: its address, or the
// machine's name when it listens on every address.
std::string resourceHost(const asio::ip::tcp::endpoint& endpoint);

}  // namespace tpg::web
