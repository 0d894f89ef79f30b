#include "rpcnet/RecordServer.h"

#include <chrono>
#include <ostream>
#include <utility>
#include <vector>

#include "server/ListenAddress.h"

namespace tpg::rpcnet {

RecordConnection::RecordConnection(asio::ip::tcp::socket socket, RecordHandler& handler,
                                   RecordLimits limits, std::string peer,
                                   std::function<void(RecordConnection&)> gone)
    : socket_(std::move(socket)),
      handler_(handler),
      limits_(limits),
      peer_(std::move(peer)),
      gone_(std::move(gone)),
      reader_(limits.maxRecordBytes) {}

void RecordConnection::start() {
    handler_.opened(*this);
    read();
}

void RecordConnection::read() {
    socket_.async_read_some(asio::buffer(input_),
                            [self = shared_from_this()](std::error_code error, std::size_t n) {
                                self->received(error, n);
                            });
}

void RecordConnection::received(std::error_code error, std::size_t bytes) {
    if (!open_) {
        return;
    }
    if (error) {
        close();
        return;
    }
    std::vector<std::string> records;
    if (!reader_.feed(std::string_view(input_.data(), bytes), records)) {
        close();  // a record past the limit: the stream's framing is lost
        return;
    }
    for (auto& record : records) {
        records_.push_back(std::move(record));
    }
    if (records_.size() > limits_.maxQueuedRecords) {
        close();  // calls piled up unanswered: the client does not read
        return;
    }
    next();
    if (open_) {
        read();
    }
}

void RecordConnection::next() {
    if (handling_ || records_.empty() || !open_ || writing_) {
        return;
    }
    handling_ = true;
    std::string record = std::move(records_.front());
    records_.pop_front();
    handler_.record(*this, std::move(record));
}

void RecordConnection::finish(std::optional<std::string> reply) {
    if (!open_) {
        return;
    }
    handling_ = false;
    if (reply) {
        outbox_ += oncrpc::frameRecord(*reply);
        if (!writing_) {
            write();
        }
        return;  // the next record is handled once this reply is written
    }
    // Handled from a turn of the io_context, not from inside the handler.
    asio::post(socket_.get_executor(), [self = shared_from_this()] { self->next(); });
}

void RecordConnection::write() {
    sending_.swap(outbox_);
    outbox_.clear();
    writing_ = true;
    asio::async_write(socket_, asio::buffer(sending_),
                      [self = shared_from_this()](std::error_code error, std::size_t) {
                          self->writing_ = false;
                          self->sending_.clear();
                          if (!self->open_) {
                              return;
                          }
                          if (error) {
                              self->close();
                          } else if (!self->outbox_.empty()) {
                              self->write();
                          } else {
                              self->next();
                          }
                      });
}

void RecordConnection::close() {
    if (!open_) {
        return;
    }
    open_ = false;
    const auto self = shared_from_this();  // the server lets go of it below
    asio::error_code ignored;
    socket_.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
    socket_.close(ignored);
    handler_.closed(*this);
    if (gone_) {
        auto gone = std::move(gone_);
        gone(*this);
    }
}

RecordServer::RecordServer(asio::io_context& io, const asio::ip::tcp::endpoint& endpoint,
                           RecordHandler& handler, std::ostream& log, std::string name,
                           RecordLimits limits)
    : acceptor_(io, endpoint),
      retry_(io),
      handler_(handler),
      log_(log),
      name_(std::move(name)),
      limits_(limits) {
    accept();
}

RecordServer::~RecordServer() {
    try {
        close();
    } catch (...) {
        // Nothing more can be done for the clients of a server going away.
    }
}

void RecordServer::accept() {
    acceptor_.async_accept([this](std::error_code error, asio::ip::tcp::socket socket) {
        if (error == asio::error::operation_aborted || closing_) {
            return;
        }
        if (error) {
            log_ << name_ << ": accepting a client failed: " << error.message() << "\n";
            retry_.expires_after(std::chrono::milliseconds(100));
            retry_.async_wait([this](std::error_code waited) {
                if (!waited && !closing_) {
                    accept();
                }
            });
            return;
        }
        asio::error_code ignored;
        const std::string peer = server::endpointText(socket.remote_endpoint(ignored));
        if (connections_.size() >= limits_.maxConnections) {
            log_ << name_ << ": client " << peer << " refused: " << limits_.maxConnections
                 << " connections are open already\n";
            socket.close(ignored);
        } else {
            socket.set_option(asio::ip::tcp::no_delay(true), ignored);
            auto connection = std::make_shared<RecordConnection>(
                std::move(socket), handler_, limits_, peer, [this](RecordConnection& gone) {
                    for (auto it = connections_.begin(); it != connections_.end(); ++it) {
                        if (it->get() == &gone) {
                            connections_.erase(it);
                            break;
                        }
                    }
                });
            connections_.insert(connection);
            connection->start();
        }
        accept();
    });
}

void RecordServer::close() {
    closing_ = true;
    asio::error_code ignored;
    acceptor_.close(ignored);
    retry_.cancel();
    auto connections = std::move(connections_);
    connections_.clear();
    for (const auto& connection : connections) {
        connection->close();
    }
}

}  // namespace tpg::rpcnet
