// The machine's name as DNS-SD names an instance "... on HOST": its first
// label, or "localhost" when the system gives none (Linux; Windows asks
// its own in WindowsAnnouncer.cpp).
#include <array>
#include <string>

#include <unistd.h>

#include "dnssd/Announcer.h"

namespace tpg::dnssd {

std::string localHostName() {
    std::array<char, 256> name{};
    if (gethostname(name.data(), name.size() - 1) != 0) {
        return "localhost";
    }
    std::string host(name.data());
    return host.substr(0, host.find('.'));
}

}  // namespace tpg::dnssd
