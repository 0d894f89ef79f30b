#include "server/LineServer.h"

#include <array>
#include <deque>
#include <ostream>
#include <utility>

#include "server/ForeignProtocol.h"
#include "server/Keepalive.h"
#include "server/ListenAddress.h"

namespace tpg::server {
namespace {

using Clock = std::chrono::steady_clock;

// Opens, binds and listens. The port is this socket's alone: on Windows
// SO_EXCLUSIVEADDRUSE, since there SO_REUSEADDR (Asio's default) would let
// a second server bind the same port and split the clients between the
// two; elsewhere SO_REUSEADDR, which only lets a restarted server bind
// while old connections linger in TIME_WAIT.
asio::ip::tcp::acceptor listeningAcceptor(asio::io_context& io,
                                          const asio::ip::tcp::endpoint& endpoint) {
    asio::ip::tcp::acceptor acceptor(io);
    acceptor.open(endpoint.protocol());
#ifdef _WIN32
    acceptor.set_option(
        asio::detail::socket_option::boolean<SOL_SOCKET, SO_EXCLUSIVEADDRUSE>(true));
#else
    acceptor.set_option(asio::socket_base::reuse_address(true));
#endif
    acceptor.bind(endpoint);
    acceptor.listen();
    return acceptor;
}

}  // namespace

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
    Clock::duration idle() const { return Clock::now() - lastHeard_; }

    void start() { read(); }

    // The server is going away: close without telling it.
    void detach() { server_ = nullptr; }

    void close() {
        if (!open_) {
            return;
        }
        open_ = false;
        waiting_.clear();
        asio::error_code ignored;
        socket_.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
        socket_.close(ignored);
        if (server_ != nullptr) {
            server_->closed(shared_from_this());
        }
    }

  private:
    bool hasWork() const { return running_ || !waiting_.empty(); }

    void read() {
        reading_ = true;
        socket_.async_read_some(asio::buffer(input_),
                                [self = shared_from_this()](std::error_code error, std::size_t n) {
                                    self->received(error, n);
                                });
    }

    // Reads again unless the lines waiting are over the limit; run() reads
    // again once they are worked off.
    void readIfRoom() {
        if (open_ && !reading_ && !readEnded_ && waitingBytes_ < limits_.maxWaitingInput) {
            read();
        }
    }

    void received(std::error_code error, std::size_t bytes) {
        reading_ = false;
        if (!open_) {
            return;
        }
        if (error) {
            // The client ended its side (or the connection broke): the lines
            // it sent still run and their answers go out first.
            readEnded_ = true;
            closeIfDone();
            return;
        }
        lastHeard_ = Clock::now();
        consume(std::string_view(input_.data(), bytes));
        readIfRoom();
    }

    // Splits what arrived into lines and queues each complete one to run.
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
                waiting_.emplace_back(std::nullopt);
            } else if (isHttpLine(line_)) {
                refuseHttp();
                return;
            } else {
                waitingBytes_ += line_.size();
                waiting_.emplace_back(std::move(line_));
                line_.clear();
            }
            if (!queued_ && server_ != nullptr) {
                queued_ = true;
                server_->turns_.queue([self = shared_from_this()] { return self->run(); });
            }
        }
    }

    void refuseHttp() {
        if (server_ != nullptr) {
            std::string shown = line_.substr(0, 80);
            for (char& c : shown) {
                c = static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
            }
            server_->log_ << "client " << peer_ << " closed: it sent HTTP (\"" << shown
                          << "\"), not SCPI; nothing of it ran\n";
        }
        close();
    }

    // One turn: starts the next line or runs the next step of the line
    // running. True while there is more to run.
    bool run() {
        if (!open_) {
            queued_ = false;
            return false;
        }
        if (!running_ && !waiting_.empty()) {
            auto line = std::move(waiting_.front());
            waiting_.pop_front();
            if (!line) {
                session_->inputOverrun();
            } else {
                waitingBytes_ -= line->size();
                session_->begin(*line);
                running_ = true;
            }
        }
        if (running_) {
            if (auto reply = session_->step()) {
                running_ = false;
                if (!reply->empty()) {
                    queue(*reply);
                }
            }
        }
        readIfRoom();
        queued_ = open_ && hasWork();
        if (!queued_) {
            closeIfDone();
        }
        return queued_;
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
        if (error) {
            close();
        } else if (!outbox_.empty()) {
            write();
        } else {
            closeIfDone();
        }
    }

    // After the client ended its side: closes once its lines have run and
    // their answers are out.
    void closeIfDone() {
        if (readEnded_ && !hasWork() && !writing_ && outbox_.empty()) {
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
    // Lines received and not yet begun (nothing: a line past the limit).
    std::deque<std::optional<std::string>> waiting_;
    std::size_t waitingBytes_ = 0;
    bool running_ = false;  // a line is begun and not ended
    bool queued_ = false;   // in the turns' queue
    std::string outbox_;    // answers waiting for the write in progress
    std::string sending_;   // the answers being written
    bool writing_ = false;
    bool reading_ = false;
    bool readEnded_ = false;
    bool open_ = true;
    Clock::time_point lastHeard_ = Clock::now();
};

LineServer::LineServer(asio::io_context& io, const asio::ip::tcp::endpoint& endpoint, Turns& turns,
                       SessionFactory sessions, std::ostream& log, Limits limits)
    : acceptor_(listeningAcceptor(io, endpoint)),
      retry_(io),
      turns_(turns),
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
        accepted(std::move(socket));
        accept();
    });
}

void LineServer::accepted(asio::ip::tcp::socket socket) {
    asio::error_code gone;
    const auto remote = socket.remote_endpoint(gone);
    if (gone) {
        // It reset its connection before it was served: nobody to log.
        socket.close(gone);
        return;
    }
    const std::string peer = endpointText(remote);
    if (connections_.size() >= limits_.maxClients) {
        refuse(socket, peer);
        return;
    }
    asio::error_code ignored;
    // Every answer is one small message: send it at once.
    socket.set_option(asio::ip::tcp::no_delay(true), ignored);
    if (!enableKeepalive(socket)) {
        log_ << "client " << peer << ": TCP keepalive could not be set\n";
    }
    auto connection = std::make_shared<Connection>(*this, std::move(socket), sessions_(peer), peer);
    connections_.insert(connection);
    log_ << "client " << peer << " connected (" << connections_.size() << " of "
         << limits_.maxClients << ")\n";
    connection->start();
}

void LineServer::refuse(asio::ip::tcp::socket& socket, const std::string& peer) {
    asio::error_code ignored;
    socket.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
    socket.close(ignored);
    // A flood of connects gives one line per interval, not one each.
    const auto now = Clock::now();
    if (lastRefusalLog_ && now - *lastRefusalLog_ < limits_.refusalLogInterval) {
        ++refusedSinceLog_;
        return;
    }
    log_ << "client " << peer << " refused: " << limits_.maxClients
         << " clients are connected already (";
    const char* separator = "";
    for (const auto& connection : connections_) {
        log_ << separator << connection->peer() << " idle "
             << std::chrono::duration_cast<std::chrono::seconds>(connection->idle()).count()
             << " s";
        separator = ", ";
    }
    log_ << ")";
    if (refusedSinceLog_ > 0) {
        log_ << "; " << refusedSinceLog_ << " more refused since the last such line";
    }
    log_ << "\n";
    lastRefusalLog_ = now;
    refusedSinceLog_ = 0;
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
