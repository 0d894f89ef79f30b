// The web page's server on serve's io_context and thread: HTTP/1.1
// connections (web/HttpCodec), the routes of the page, its state, the
// identification document and the changes it sends. The page is one client
// of the generator's lock: its changes go through a lock::LockedGenerator,
// the path of every other protocol's. The generator's state is read at most
// every half second, however many pages watch it.
#pragma once

#include <chrono>
#include <cstddef>
#include <iosfwd>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <asio.hpp>

#include "lock/LockedGenerator.h"
#include "web/Access.h"
#include "web/HttpCodec.h"
#include "web/Snapshot.h"

namespace tpg::web {

struct WebOptions {
    asio::ip::tcp::endpoint endpoint;
    std::optional<std::string> password;  // needed for changes on other than loopback
    // The VISA resource strings under which the generator is served.
    std::vector<std::string> resources;
    std::size_t maxClients = 16;
    std::chrono::milliseconds requestTime{10000};  // for a whole request, and idle
};

class WebServer {
  public:
    // Listens at once; throws asio::system_error when it cannot.
    WebServer(asio::io_context& io, WebOptions options, scpi::Generator& served,
              lock::GeneratorLock& lock, std::ostream& log);
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;
    ~WebServer();

    asio::ip::tcp::endpoint localEndpoint() const;
    // "http://127.0.0.1:8080/"
    std::string pageUrl() const { return served_.pageUrl; }
    // Stops listening and closes every connection.
    void close();

  private:
    class Connection;
    void accept();
    void closed(const std::shared_ptr<Connection>& connection);
    Response answer(const Request& request, bool loopback);
    Response change(const Request& request, const ChangeRule& rule);
    // The snapshot, read again when older than half a second.
    const Snapshot& snapshot();
    void read();

    asio::ip::tcp::acceptor acceptor_;
    WebOptions options_;
    lock::GeneratorLock& lock_;
    lock::ClientId client_;
    lock::LockedGenerator generator_;
    std::ostream& log_;
    HostRule hosts_;
    ServedAt served_;
    Snapshot snapshot_;
    std::chrono::steady_clock::time_point readAt_{};
    std::chrono::steady_clock::time_point identityAt_{};
    bool fresh_ = false;
    std::set<std::shared_ptr<Connection>> connections_;
    bool closing_ = false;
};

}  // namespace tpg::web
