// Builds without a DNS-SD responder (the static test guest): nothing is
// announced, and serve says so once.
#include <array>

#include <unistd.h>

#include "dnssd/Announcer.h"

namespace tpg::dnssd {

std::unique_ptr<Announcer> systemAnnouncer() {
    return std::make_unique<NullAnnouncer>();
}

std::string localHostName() {
    std::array<char, 256> name{};
    if (gethostname(name.data(), name.size() - 1) != 0) {
        return "localhost";
    }
    std::string host(name.data());
    return host.substr(0, host.find('.'));
}

}  // namespace tpg::dnssd
