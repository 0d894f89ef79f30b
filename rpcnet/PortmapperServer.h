// The portmapper on the network: port 111 over TCP (record streams) and
// UDP (one call a datagram, as a broadcast for instruments arrives), both
// answered by oncrpc::Portmapper. One thread; bounded as RecordServer is.
#pragma once

#include <array>
#include <iosfwd>
#include <optional>

#include <asio.hpp>

#include "oncrpc/Portmapper.h"
#include "rpcnet/RecordServer.h"

namespace tpg::rpcnet {

class PortmapperServer : private RecordHandler {
  public:
    // Binds TCP and UDP on address:port at once; throws asio::system_error
    // when either cannot be had.
    PortmapperServer(asio::io_context& io, const asio::ip::address& address, std::uint16_t port,
                     const oncrpc::Portmapper& mappings, std::ostream& log);
    void close();
    std::uint16_t port() const { return tcp_.localEndpoint().port(); }

  private:
    void opened(RecordConnection&) override {}
    void record(RecordConnection& connection, std::string record) override;
    void closed(RecordConnection&) override {}
    void receive();

    oncrpc::Portmapper mappings_;
    RecordServer tcp_;
    asio::ip::udp::socket udp_;
    asio::ip::udp::endpoint sender_;
    std::array<char, 9000> datagram_{};
};

}  // namespace tpg::rpcnet
