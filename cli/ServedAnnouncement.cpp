#include "cli/ServedAnnouncement.h"

namespace tpg::cli {

ServedAnnouncement::ServedAnnouncement(bool enabled, const dnssd::ServicePorts& ports,
                                       std::ostream& log) {
    if (enabled) {
        discovery_.emplace(dnssd::systemAnnouncer(), ports, dnssd::localHostName(), log);
    }
}

void ServedAnnouncement::follow(ServedGenerator& generator) {
    if (!discovery_) {
        return;
    }
    std::optional<dnssd::InstrumentIdentity> served;
    if (const auto identity = generator.takenIdentity()) {
        const auto fields = scpi::idnFields(*identity);
        served =
            dnssd::InstrumentIdentity{fields.maker, fields.product, fields.serial, fields.version};
    }
    discovery_->follow(served);
}

}  // namespace tpg::cli
