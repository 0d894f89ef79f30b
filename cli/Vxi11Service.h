// serve's VXI-11: the core and abort channels beside the socket, and the
// portmapper on port 111 of the listen address that tells clients the core
// channel's port. Port 111 is a privileged port: without the right to bind
// it (or when the machine's rpcbind holds it) the reason and its fix are
// told once, and the core channel is served without a portmapper.
#pragma once

#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <asio.hpp>

#include "lock/GeneratorLock.h"
#include "rpcnet/PortmapperServer.h"
#include "rpcnet/Vxi11Server.h"
#include "scpi/Generator.h"
#include "server/Turns.h"

namespace tpg::cli {

class Vxi11Service {
  public:
    // Throws asio::system_error when the core channel cannot listen.
    Vxi11Service(asio::io_context& io, const asio::ip::address& address, std::uint16_t corePort,
                 std::uint16_t portmapperPort, scpi::Generator& served, lock::GeneratorLock& lock,
                 server::Turns& turns, std::vector<std::string> deviceNames, std::ostream& log);

    std::uint16_t corePort() const { return core_.corePort(); }
    bool hasPortmapper() const { return portmapper_.has_value(); }
    void close();

  private:
    rpcnet::Vxi11Server core_;
    std::optional<rpcnet::PortmapperServer> portmapper_;
};

// --vxi11-port's value: 0 to 65535; nothing, with the reason, otherwise.
std::optional<std::uint16_t> parsePort(const std::string& text, std::string& error);

}  // namespace tpg::cli
