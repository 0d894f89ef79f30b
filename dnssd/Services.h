// What serve announces on the network by DNS-SD: the instance name, the TXT
// record and one service per protocol that runs, built from the served
// generator's *IDN? fields and the ports. Pure: no network, no system call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tpg::dnssd {

// The four fields of *IDN?, as the instrument answers them.
struct InstrumentIdentity {
    std::string maker;
    std::string product;
    std::string serial;
    std::string version;
    bool operator==(const InstrumentIdentity&) const = default;
};

// The ports of what serve runs; a protocol that does not run has none. Each
// server added to serve fills in its own.
struct ServicePorts {
    std::optional<std::uint16_t> scpiRaw;  // the SCPI socket (_scpi-raw._tcp)
    std::optional<std::uint16_t> vxi11;    // the VXI-11 portmapper, 111 (_vxi-11._tcp)
    std::optional<std::uint16_t> lxi;      // the HTTP page (_lxi._tcp)
    bool operator==(const ServicePorts&) const = default;
};

struct Service {
    std::string type;  // e.g. "_scpi-raw._tcp"
    std::uint16_t port = 0;
    bool operator==(const Service&) const = default;
};

// Everything announced for one generator: every service has the same
// instance name and TXT record.
struct ServiceSet {
    std::string instanceName;
    std::vector<std::string> txt;  // "key=value" strings, each at most 255 bytes
    std::vector<Service> services;
    bool operator==(const ServiceSet&) const = default;
};

constexpr std::size_t kMaxInstanceName = 63;  // bytes: one DNS label
constexpr std::size_t kMaxTxtString = 255;    // bytes: one TXT character-string

// text as valid UTF-8 of at most maxBytes: a malformed byte or a control
// character becomes U+FFFD or a space, and the text is cut before the first
// character that does not fit whole.
std::string fitUtf8(std::string_view text, std::size_t maxBytes);

// "Trelvix Pulse Generator SERIAL on HOST", cut to one DNS label.
std::string instanceName(std::string_view serial, std::string_view host);

// txtvers, Manufacturer, Model, SerialNumber, FirmwareVersion; a value that
// would make its string longer than 255 bytes is cut.
std::vector<std::string> txtRecord(const InstrumentIdentity& identity);

// The services to announce for the generator, one per port given.
ServiceSet servicesFor(const InstrumentIdentity& identity, const ServicePorts& ports,
                       std::string_view host);

}  // namespace tpg::dnssd
