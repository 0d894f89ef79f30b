#include "rpcnet/PortmapperServer.h"

namespace tpg::rpcnet {

PortmapperServer::PortmapperServer(asio::io_context& io, const asio::ip::address& address,
                                   std::uint16_t port, const oncrpc::Portmapper& mappings,
                                   std::ostream& log)
    : mappings_(mappings),
      tcp_(io, {address, port}, *this, log, "portmapper",
           RecordLimits{16, 1024, 2}),  // calls of a few dozen bytes
      udp_(io) {
    const asio::ip::udp::endpoint endpoint(address, tcp_.localEndpoint().port());
    udp_.open(endpoint.protocol());
    udp_.bind(endpoint);
    receive();
}

void PortmapperServer::record(RecordConnection& connection, std::string record) {
    connection.finish(mappings_.answer(record));
}

void PortmapperServer::receive() {
    udp_.async_receive_from(
        asio::buffer(datagram_), sender_, [this](std::error_code error, std::size_t bytes) {
            if (error == asio::error::operation_aborted || !udp_.is_open()) {
                return;
            }
            if (!error) {
                if (auto reply = mappings_.answer(std::string_view(datagram_.data(), bytes))) {
                    // One small reply per call; a datagram that cannot go
                    // now is dropped, as UDP allows.
                    asio::error_code ignored;
                    udp_.send_to(asio::buffer(*reply), sender_, 0, ignored);
                }
            }
            receive();
        });
}

void PortmapperServer::close() {
    tcp_.close();
    asio::error_code ignored;
    udp_.close(ignored);
}

}  // namespace tpg::rpcnet
