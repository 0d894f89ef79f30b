// The portmapper (program 100000, version 2, RFC 1833): tells a client the
// port of a program it asks for. Pure: the mappings are given by the
// server; SET and UNSET from the network are refused (answered false), as
// the table belongs to this process. Clients that ask rpcbind's versions 3
// and 4 first are told that only version 2 is served, and ask again.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tpg::oncrpc {

inline constexpr std::uint32_t kPortmapperProgram = 100000;
inline constexpr std::uint32_t kPortmapperVersion = 2;
inline constexpr std::uint32_t kPortmapperPort = 111;
inline constexpr std::uint32_t kProtocolTcp = 6;
inline constexpr std::uint32_t kProtocolUdp = 17;

struct Mapping {
    std::uint32_t program = 0;
    std::uint32_t version = 0;
    std::uint32_t protocol = 0;
    std::uint32_t port = 0;
};

class Portmapper {
  public:
    void add(const Mapping& mapping) { mappings_.push_back(mapping); }
    // The reply to one record (a datagram, or a record off a stream);
    // nothing for what is not a call.
    std::optional<std::string> answer(std::string_view record) const;

  private:
    std::vector<Mapping> mappings_;
};

}  // namespace tpg::oncrpc
