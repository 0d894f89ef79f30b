// Keeps the network's picture of serve true: told on each monitor tick which
// generator is served (or none), it announces that generator's services,
// announces again under a new serial number, and withdraws them while no
// generator is served. Only a change reaches the backend.
#pragma once

#include <iosfwd>
#include <memory>
#include <optional>
#include <string>

#include "dnssd/Announcer.h"
#include "dnssd/Services.h"

namespace tpg::dnssd {

class Discovery {
  public:
    Discovery(std::unique_ptr<Announcer> announcer, const ServicePorts& ports, std::string host,
              std::ostream& log);
    Discovery(const Discovery&) = delete;
    Discovery& operator=(const Discovery&) = delete;
    // Withdraws what is announced.
    ~Discovery();

    void follow(const std::optional<InstrumentIdentity>& served);

  private:
    std::unique_ptr<Announcer> announcer_;
    ServicePorts ports_;
    std::string host_;
    std::ostream& log_;
    std::optional<ServiceSet> announced_;
};

}  // namespace tpg::dnssd
