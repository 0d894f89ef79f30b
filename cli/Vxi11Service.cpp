#include "cli/Vxi11Service.h"

#include <charconv>
#include <ostream>

#include "oncrpc/Portmapper.h"
#include "vxi11/Messages.h"

namespace tpg::cli {

Vxi11Service::Vxi11Service(asio::io_context& io, const asio::ip::address& address,
                           std::uint16_t corePort, std::uint16_t portmapperPort,
                           scpi::Generator& served, lock::GeneratorLock& lock, server::Turns& turns,
                           std::vector<std::string> deviceNames, std::ostream& log)
    : core_(io, address, corePort, served, lock, turns, std::move(deviceNames), log) {
    oncrpc::Portmapper mappings;
    mappings.add({oncrpc::kPortmapperProgram, oncrpc::kPortmapperVersion, oncrpc::kProtocolTcp,
                  portmapperPort});
    mappings.add({oncrpc::kPortmapperProgram, oncrpc::kPortmapperVersion, oncrpc::kProtocolUdp,
                  portmapperPort});
    mappings.add({vxi11::kCoreProgram, vxi11::kVersion, oncrpc::kProtocolTcp, core_.corePort()});
    try {
        portmapper_.emplace(io, address, portmapperPort, mappings, log);
    } catch (const asio::system_error& failure) {
        const auto code = failure.code();
        log << "trelvix-pulse-cli: VXI-11: cannot serve the portmapper on port " << portmapperPort
            << ": " << code.message() << "; VXI-11 clients cannot find the core channel (port "
            << core_.corePort() << ")";
        if (code == asio::error::access_denied) {
            log << ". Run serve as root, give it the right to bind ports below 1024 (sudo "
                   "setcap cap_net_bind_service=+ep $(command -v trelvix-pulse-cli), or "
                   "AmbientCapabilities=CAP_NET_BIND_SERVICE in a systemd unit), or use "
                   "TCPIP::HOST::PORT::SOCKET";
        } else if (code == asio::error::address_in_use) {
            log << ". Port " << portmapperPort
                << " is taken, most likely by the machine's rpcbind: stop it (systemctl stop "
                   "rpcbind.socket rpcbind), or use TCPIP::HOST::PORT::SOCKET";
        }
        log << "\n";
    }
}

void Vxi11Service::close() {
    core_.close();
    if (portmapper_) {
        portmapper_->close();
    }
}

std::optional<std::uint16_t> parsePort(const std::string& text, std::string& error) {
    unsigned value = 0;
    const auto [end, problem] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (problem != std::errc() || end != text.data() + text.size() || value > 65535) {
        error = "--vxi11-port takes a port from 0 to 65535, not \"" + text + "\"";
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(value);
}

}  // namespace tpg::cli
