// serve's announcement on the local network (mDNS / DNS-SD): the services of
// serve (dnssd::ServicePorts, each server filling in its port) announced
// under the identity of the generator served, through the system's
// responder; nothing with --no-mdns. Told on each monitor tick.
#pragma once

#include <iosfwd>
#include <optional>

#include "cli/ServedGenerator.h"
#include "dnssd/Discovery.h"

namespace tpg::cli {

class ServedAnnouncement {
  public:
    ServedAnnouncement(bool enabled, const dnssd::ServicePorts& ports, std::ostream& log);
    // Announces the generator served now, or withdraws while none is.
    void follow(ServedGenerator& generator);

  private:
    std::optional<dnssd::Discovery> discovery_;
};

}  // namespace tpg::cli
