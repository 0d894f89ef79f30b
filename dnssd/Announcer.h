// The way a ServiceSet reaches the network: the system's DNS-SD responder
// (Avahi on Linux, the DNS-SD services of Windows 10 and later), or nothing.
// A backend never blocks its caller on the network and never ends the
// program: when the responder is missing it says so once and does nothing.
#pragma once

#include <iosfwd>
#include <memory>
#include <string>

#include "dnssd/Services.h"

namespace tpg::dnssd {

class Announcer {
  public:
    virtual ~Announcer() = default;
    // Announces the set in place of whatever was announced before.
    virtual void announce(const ServiceSet& set) = 0;
    // Takes back whatever was announced.
    virtual void withdraw() = 0;
    // Writes on log what happened since the last call (the responder gone or
    // back, a name taken): a backend's own thread never writes on log.
    virtual void report(std::ostream& log) = 0;
};

class NullAnnouncer : public Announcer {
  public:
    void announce(const ServiceSet& /*set*/) override {}
    void withdraw() override {}
    void report(std::ostream& /*log*/) override {}
};

// The system's responder where this build has one, else the null backend.
std::unique_ptr<Announcer> systemAnnouncer();

// This machine's name as the local network knows it (without a domain).
std::string localHostName();

}  // namespace tpg::dnssd
