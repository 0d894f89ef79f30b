// A TCP server of line sessions on one thread: each connection gets its own
// session, is read as lines ending in LF and answered line by line. Lines
// run in fair turns with every other client (Turns.h): a session runs a
// line a step at a time, and between two steps every other client with
// work gets one, and reads, timers and signals are served. Buffers are
// bounded, so a client that floods, sends endless lines or never reads
// costs the others nothing: a line past the limit is dropped up to its LF
// (and the session told); a client whose lines wait unrun past the limit is
// not read until they are worked off; a client whose unread answers pass
// the limit is disconnected. Beyond the client limit, a new connection is
// closed at once. A connection that speaks HTTP (a request line, a header
// line) is closed before anything of it runs, so that a web page cannot
// send commands through a browser. Connections are kept alive by TCP
// keepalive: a peer that vanished is found and its place freed.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include <asio.hpp>

#include "server/Turns.h"

namespace tpg::server {

// What is served on one connection, one line at a time.
class Session {
  public:
    virtual ~Session() = default;
    // A line without its LF (a CR before it is left for the session); the
    // line before it has ended.
    virtual void begin(std::string_view line) = 0;
    // Runs a bounded part of the line begun. Once the line has ended,
    // returns what to send back (empty for nothing); nothing while it has
    // more to run.
    virtual std::optional<std::string> step() = 0;
    // A line longer than the limit was discarded, up to and with its LF.
    virtual void inputOverrun() = 0;
};

// Makes the session of a new connection; peer is its address, e.g.
// "127.0.0.1:40112".
using SessionFactory = std::function<std::unique_ptr<Session>(const std::string& peer)>;

struct Limits {
    std::size_t maxClients = 8;
    std::size_t maxLineBytes = std::size_t{64} * 1024;       // without the LF
    std::size_t maxWaitingInput = std::size_t{64} * 1024;    // lines received, not yet run
    std::size_t maxUnreadOutput = std::size_t{1024} * 1024;  // answers the client has not taken
    // A refused connection is logged at most this often (with a count of
    // those refused in between).
    std::chrono::seconds refusalLogInterval{10};
};

class LineServer {
  public:
    // Listens on endpoint at once, the port for this socket alone; throws
    // asio::system_error when it cannot. What it does to clients is told
    // on log.
    LineServer(asio::io_context& io, const asio::ip::tcp::endpoint& endpoint, Turns& turns,
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
    void accepted(asio::ip::tcp::socket socket);
    void refuse(asio::ip::tcp::socket& socket, const std::string& peer);
    void closed(const std::shared_ptr<Connection>& connection);

    asio::ip::tcp::acceptor acceptor_;
    asio::steady_timer retry_;
    Turns& turns_;
    SessionFactory sessions_;
    std::ostream& log_;
    Limits limits_;
    std::set<std::shared_ptr<Connection>> connections_;
    std::optional<std::chrono::steady_clock::time_point> lastRefusalLog_;
    std::size_t refusedSinceLog_ = 0;
    bool closing_ = false;
};

}  // namespace tpg::server
