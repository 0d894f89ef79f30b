// Builds without a DNS-SD responder (the static test guest): nothing is
// announced, and serve says so once.
#include <memory>

#include "dnssd/Announcer.h"

namespace tpg::dnssd {

std::unique_ptr<Announcer> systemAnnouncer() {
    return std::make_unique<NullAnnouncer>();
}

}  // namespace tpg::dnssd
