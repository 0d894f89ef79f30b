#include "server/LineServer.h"

#include <array>
#include <chrono>
#include <ostream>
#include <utility>

#include "server/ListenAddress.h"

namespace tpg::server {

class LineServer::Connection : public std::enable_shared_from_this<Connection> {
  public:
    Connection(LineServer& server, asio::ip::tcp::socket socket, std::unique_ptr<Session> session,
               std::string peer)
        : server_(&server),
          limits_(server.limits_),
          socket_(std::move(socket)),
          session_(std::move(session)),
          peer_(std::move(peer)) {}

    const std::string& peer() const { return peer_; }

    void start() { read(); }

    // The server is going away: close without telling it.
    void detach() { server_ = nullptr; }

    void close() {
        if (!open_) {
            return;
        }
        open_ = false;
        asio::error_code ignored;
        socket_.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
        socket_.close(ignored);
        if (server_ != nullptr) {
            server_->closed(shared_from_this());
        }
    }

  private:
    void read() {
        socket_.async_read_some(asio::buffer(input_),
                                [self = shared_from_this()](std::error_code error, std::size_t n) {
                                    self->received(error, n);
                                });
    }

    void received(std::error_code error, std::size_t bytes) {
        if (!open_) {
            return;
        }
        if (error) {
            // The client ended its side (or the connection broke): answers
            // still queued go out first.
            readEnded_ = true;
            if (!writing_) {
                close();
            }
            return;
        }
        consume(std::string_view(input_.data(), bytes));
        if (open_) {
            read();
        }
    }

    // Splits what arrived into lines and serves each complete one.
    void consume(std::string_view data) {
        while (!data.empty() && open_) {
            const std::size_t lf = data.find('\n');
            const std::string_view piece = data.substr(0, lf);
            if (!discarding_ && line_.size() + piece.size() > limits_.maxLineBytes) {
                discarding_ = true;
                std::string().swap(line_);
            }
            if (!discarding_) {
                line_.append(piece);
            }
            if (lf == std::string_view::npos) {
                return;
            }
            data.remove_prefix(lf + 1);
            if (discarding_) {
                discarding_ = false;
                session_->inputOverrun();
            } else {
                std::string reply = session_->execute(line_);
                line_.clear();
                if (!reply.empty()) {
                    queue(reply);
                }
            }
        }
    }

    void queue(const std::string& reply) {
        outbox_ += reply;
        if (outbox_.size() + sending_.size() > limits_.maxUnreadOutput) {
            if (server_ != nullptr) {
                server_->log_ << "client " << peer_ << " dropped: more than "
                              << limits_.maxUnreadOutput << " bytes of answers unread\n";
            }
            close();
            return;
        }
        if (!writing_) {
            write();
        }
    }

    void write() {
        sending_.swap(outbox_);
        outbox_.clear();
        writing_ = true;
        asio::async_write(socket_, asio::buffer(sending_),
                          [self = shared_from_this()](std::error_code error, std::size_t) {
                              self->written(error);
                          });
    }

    void written(std::error_code error) {
        writing_ = false;
        sending_.clear();
        if (!open_) {
            return;
        }
        if (!error && !outbox_.empty()) {
            write();
        } else if (error || readEnded_) {
            close();
        }
    }

    LineServer* server_;
    const Limits limits_;
    asio::ip::tcp::socket socket_;
    std::unique_ptr<Session> session_;
    const std::string peer_;
    std::array<char, 4096> input_{};
    std::string line_;         // the line being received
    bool discarding_ = false;  // in a line past the limit, until its LF
    std::string outbox_;       // answers waiting for the write in progress
    std::string sending_;      // the answers being written
    bool writing_ = false;
    bool readEnded_ = false;
    bool open_ = true;
};

LineServer::LineServer(asio::io_context& io, const asio::ip::tcp::endpoint& endpoint,
                       SessionFactory sessions, std::ostream& log, Limits limits)
    : acceptor_(io, endpoint),
      retry_(io),
      sessions_(std::move(sessions)),
      log_(log),
      limits_(limits) {
    accept();
}

LineServer::~LineServer() {
    try {
        close();
    } catch (...) {
        // Nothing more can be done for the clients of a server going away.
    }
}

asio::ip::tcp::endpoint LineServer::localEndpoint() const {
    return acceptor_.local_endpoint();
}

void LineServer::accept() {
    acceptor_.async_accept([this](std::error_code error, asio::ip::tcp::socket socket) {
        if (error == asio::error::operation_aborted || closing_) {
            return;
        }
        if (error) {
            // Out of descriptors, or the like: try again shortly rather
            // than spin.
            log_ << "accepting a client failed: " << error.message() << "\n";
            retry_.expires_after(std::chrono::milliseconds(100));
            retry_.async_wait([this](std::error_code waited) {
                if (!waited && !closing_) {
                    accept();
                }
            });
            return;
        }
        asio::error_code ignored;
        const auto remote = socket.remote_endpoint(ignored);
        const std::string peer = endpointText(remote);
        if (connections_.size() >= limits_.maxClients) {
            log_ << "client " << peer << " refused: " << limits_.maxClients
                 << " clients are connected already\n";
            socket.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
            socket.close(ignored);
        } else {
            // Every answer is one small message: send it at once.
            socket.set_option(asio::ip::tcp::no_delay(true), ignored);
            auto connection =
                std::make_shared<Connection>(*this, std::move(socket), sessions_(), peer);
            connections_.insert(connection);
            log_ << "client " << peer << " connected (" << connections_.size() << " of "
                 << limits_.maxClients << ")\n";
            connection->start();
        }
        accept();
    });
}

void LineServer::closed(const std::shared_ptr<Connection>& connection) {
    log_ << "client " << connection->peer() << " disconnected\n";
    connections_.erase(connection);
}

void LineServer::close() {
    closing_ = true;
    asio::error_code ignored;
    acceptor_.close(ignored);
    retry_.cancel();
    auto connections = std::move(connections_);
    connections_.clear();
    for (const auto& connection : connections) {
        connection->detach();
        connection->close();
    }
}

}  // namespace tpg::server
