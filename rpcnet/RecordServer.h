// A TCP server of ONC RPC record streams on one thread: each connection's
// records (record marking) go to a handler one at a time; the handler
// answers a record at once or later (a call that waits), and the next
// record is handled only after it has. Bounded: a record past the limit
// closes its connection (its framing can no longer be trusted), as does a
// client that queues more records than the limit before reading its
// replies; beyond the connection limit a new connection is closed at once.
#pragma once

#include <array>
#include <cstddef>
#include <deque>
#include <iosfwd>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include <asio.hpp>

#include "oncrpc/RecordMarking.h"

namespace tpg::rpcnet {

struct RecordLimits {
    std::size_t maxConnections = 16;
    std::size_t maxRecordBytes = std::size_t{80} * 1024;
    std::size_t maxQueuedRecords = 4;
};

class RecordConnection;

class RecordHandler {
  public:
    virtual ~RecordHandler() = default;
    virtual void opened(RecordConnection& connection) = 0;
    // One record; the handler answers it by calling connection.finish,
    // now or later (never after closed).
    virtual void record(RecordConnection& connection, std::string record) = 0;
    virtual void closed(RecordConnection& connection) = 0;
};

class RecordConnection : public std::enable_shared_from_this<RecordConnection> {
  public:
    RecordConnection(asio::ip::tcp::socket socket, RecordHandler& handler, RecordLimits limits,
                     std::string peer, std::function<void(RecordConnection&)> gone);

    const std::string& peer() const { return peer_; }
    bool open() const { return open_; }
    void start();
    // The reply to the record being handled (nothing for a record that is
    // not answered); the next record is handled after it.
    void finish(std::optional<std::string> reply);
    // Closes the connection; the handler hears of it.
    void close();

  private:
    void read();
    void received(std::error_code error, std::size_t bytes);
    void next();
    void write();

    asio::ip::tcp::socket socket_;
    RecordHandler& handler_;
    RecordLimits limits_;
    std::string peer_;
    std::function<void(RecordConnection&)> gone_;
    oncrpc::RecordReader reader_;
    std::array<char, 8192> input_{};
    std::deque<std::string> records_;
    bool handling_ = false;
    std::string outbox_;
    std::string sending_;
    bool writing_ = false;
    bool open_ = true;
};

class RecordServer {
  public:
    // Listens on endpoint at once; throws asio::system_error when it
    // cannot. What it does to clients is told on log, under name.
    RecordServer(asio::io_context& io, const asio::ip::tcp::endpoint& endpoint,
                 RecordHandler& handler, std::ostream& log, std::string name,
                 RecordLimits limits = {});
    RecordServer(const RecordServer&) = delete;
    RecordServer& operator=(const RecordServer&) = delete;
    ~RecordServer();

    asio::ip::tcp::endpoint localEndpoint() const { return acceptor_.local_endpoint(); }
    std::size_t connectionCount() const { return connections_.size(); }
    void close();

  private:
    void accept();

    asio::ip::tcp::acceptor acceptor_;
    asio::steady_timer retry_;
    RecordHandler& handler_;
    std::ostream& log_;
    std::string name_;
    RecordLimits limits_;
    std::set<std::shared_ptr<RecordConnection>> connections_;
    bool closing_ = false;
};

}  // namespace tpg::rpcnet
