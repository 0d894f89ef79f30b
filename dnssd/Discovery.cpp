#include "dnssd/Discovery.h"

#include <ostream>
#include <utility>

namespace tpg::dnssd {

Discovery::Discovery(std::unique_ptr<Announcer> announcer, const ServicePorts& ports,
                     std::string host, std::ostream& log)
    : announcer_(std::move(announcer)), ports_(ports), host_(std::move(host)), log_(log) {}

Discovery::~Discovery() {
    if (announced_) {
        announcer_->withdraw();
    }
}

void Discovery::follow(const std::optional<InstrumentIdentity>& served) {
    std::optional<ServiceSet> wanted;
    if (served) {
        wanted = servicesFor(*served, ports_, host_);
        if (wanted->services.empty()) {
            wanted.reset();
        }
    }
    if (wanted != announced_) {
        if (wanted) {
            announcer_->announce(*wanted);
        } else {
            announcer_->withdraw();
        }
        announced_ = std::move(wanted);
    }
    announcer_->report(log_);
}

}  // namespace tpg::dnssd
