// A TCP server of line sessions on one thread: each connection gets its own
// session, is read as lines ending in LF and answered line by line. Buffers
// are bounded, so a client that floods, sends endless lines or never reads
// costs the others nothing: a line past the limit is dropped up to its LF
// (and the session told), and a client whose unread answers pass the limit
// is disconnected. Beyond the client limit, a new connection is closed at
// once.
#pragma once

#include <cstddef>
#include <functional>
#include <iosfwd>
#include <memory>
#include <set>
#include <string>
#include <string_view>

#include <asio.hpp>

namespace tpg::server {

// What is served on one connection, one line at a time.
class Session {
  public:
    virtual ~Session() = default;
    // One line without its LF (a CR before it is left for the session).
    // Returns what to send back; empty for nothing.
    virtual std::string execute(std::string_view line) = 0;
    // A line longer than the limit was discarded, up to and with its LF.
    virtual void inputOverrun() = 0;
};

using SessionFactory = std::function<std::unique_ptr<Session>()>;

struct Limits {
    std::size_t maxClients = 8;
    std::size_t maxLineBytes = std::size_t{64} * 1024;       // without the LF
    std::size_t maxUnreadOutput = std::size_t{1024} * 1024;  // answers the client has not taken
};

class LineServer {
  public:
    // Listens on endpoint at once; throws asio::system_error when it
    // cannot. What it does to clients is told on log.
    LineServer(asio::io_context& io, const asio::ip::tcp::endpoint& endpoint,
               SessionFactory sessions, std::ostream& log, Limits limits = {});
    LineServer(const LineServer&) = delete;
    LineServer& operator=(const LineServer&) = delete;
    ~LineServer();

    // The address and port listened on (port 0 resolved).
    asio::ip::tcp::endpoint localEndpoint() const;
    std::size_t clientCount() const { return connections_.size(); }

    // Stops listening and closes every connection; the io_context then runs
    // out of this server's work.
    void close();

  private:
    class Connection;
    void accept();
    void closed(const std::shared_ptr<Connection>& connection);

    asio::ip::tcp::acceptor acceptor_;
    asio::steady_timer retry_;
    SessionFactory sessions_;
    std::ostream& log_;
    Limits limits_;
    std::set<std::shared_ptr<Connection>> connections_;
    bool closing_ = false;
};

}  // namespace tpg::server
