#include "cli/Serve.h"

#include <charconv>
#include <chrono>
#include <ostream>

#include "cli/Failure.h"
#include "cli/ServedAnnouncement.h"
#include "cli/ServedGenerator.h"
#include "cli/SimulatedUnplug.h"
#include "cli/Vxi11Service.h"
#include "lock/GeneratorLock.h"
#include "lock/LockedGenerator.h"
#include "oncrpc/Portmapper.h"
#include "scpi/Instrument.h"
#include "server/ListenAddress.h"
#include "server/StopSignals.h"
#include "web/ServePage.h"
#include "web/WebServer.h"

namespace tpg::cli {
namespace {

// One socket client: its own instrument over its own view of the generator,
// which refuses settings while another client holds the lock.
class InstrumentSession : public server::Session {
  public:
    InstrumentSession(scpi::Generator& generator, lock::GeneratorLock& lock,
                      const std::string& peer)
        : lock_(lock),
          client_(lock.join("SCPI socket client " + peer)),
          view_(generator, lock, client_),
          instrument_(view_) {}
    InstrumentSession(const InstrumentSession&) = delete;
    InstrumentSession& operator=(const InstrumentSession&) = delete;
    ~InstrumentSession() override { lock_.leave(client_); }

    void begin(std::string_view line) override { instrument_.begin(line); }
    std::optional<std::string> step() override { return instrument_.step(); }
    void inputOverrun() override { instrument_.inputOverrun(); }

  private:
    lock::GeneratorLock& lock_;
    lock::ClientId client_;
    lock::LockedGenerator view_;
    scpi::Instrument instrument_;
};

constexpr std::size_t kMostClients = 256;

// --max-clients: 1 to kMostClients.
std::optional<std::size_t> parseMaxClients(const std::string& text, std::string& error) {
    std::size_t number = 0;
    const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (text.empty() || status != std::errc() || end != text.data() + text.size() || number < 1 ||
        number > kMostClients) {
        error = "--max-clients \"" + text + "\": a number from 1 to " +
                std::to_string(kMostClients) + " expected";
        return std::nullopt;
    }
    return number;
}

}  // namespace

server::SessionFactory instrumentSessions(scpi::Generator& generator, lock::GeneratorLock& lock) {
    return [&generator, &lock](const std::string& peer) {
        return std::make_unique<InstrumentSession>(generator, lock, peer);
    };
}

bool reachableFromOtherMachines(const asio::ip::address& address) {
    if (address.is_v6() && address.to_v6().is_v4_mapped()) {
        return !asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6()).is_loopback();
    }
    return !address.is_loopback();
}

std::string serveHelpText() {
    return "Usage: trelvix-pulse-cli [--serial SERIAL] [--simulate] [--listen HOST:PORT]\n"
           "                         [--max-clients N] [--no-mdns]\n"
           "                         [--no-vxi11 | --vxi11-port PORT]\n"
           "                         [--http HOST:PORT | --no-http]\n"
           "                         [--http-password-file FILE] serve\n"
           "\n"
           "Holds one generator open and answers SCPI commands over TCP, one line each,\n"
           "as an instrument reached as TCPIP0::HOST::PORT::SOCKET (PyVISA, LabVIEW,\n"
           "MATLAB). Prints \"listening on ADDRESS:PORT\" once it listens. It waits for the\n"
           "generator if none is present and takes it again after an unplug; meanwhile\n"
           "commands give error -241. Up to 8 clients at once, each with its own error\n"
           "queue. Clients take turns: a message of up to 8 commands runs whole; a\n"
           "longer one lets the other clients in after every 8. Ctrl+C or SIGTERM closes\n"
           "the generator and the connections.\n"
           "\n"
           "  --listen HOST:PORT  the address to listen on (default 127.0.0.1:5025, this\n"
           "                      machine only); 0.0.0.0:5025 or [::]:5025 let every\n"
           "                      machine that reaches the port change the generator;\n"
           "                      port 0 takes a free port\n"
           "  --max-clients N     how many clients it serves at once, 1 to 256 (default\n"
           "                      8); a client beyond them is closed at once\n"
           "  --no-mdns           does not announce the instrument on the network\n"
           "  --vxi11-port PORT   the VXI-11 core channel's port on the same address\n"
           "                      (default: any free port; clients find it through the\n"
           "                      portmapper on port 111, which needs root or\n"
           "                      CAP_NET_BIND_SERVICE)\n"
           "  --no-vxi11          the socket only: no VXI-11, nothing on port 111\n"
           "  --http HOST:PORT    the address of the generator's web page (default\n"
           "                      127.0.0.1:8080; when that is taken, serve goes on\n"
           "                      without the page); prints \"page at http://HOST:PORT/\";\n"
           "                      the LXI identification at /lxi/identification\n"
           "  --no-http           no web page\n"
           "  --http-password-file FILE\n"
           "                      the page's password (the file's first line): on an\n"
           "                      address other than loopback the page changes settings\n"
           "                      only with it (HTTP Basic, unencrypted), else it is\n"
           "                      read-only there\n"
           "\n"
           "VXI-11: the same generator as TCPIP::HOST::INSTR (or HOST::inst0 or\n"
           "HOST::SERIAL), found by lxi discover and VISA's LAN search; each link has\n"
           "its own error queue and status byte. A link's lock (viLock, lock_excl) is\n"
           "the generator's: while it holds it, other links wait or get \"locked\", and\n"
           "socket clients' settings give error -203 (queries still answer). The lock\n"
           "goes with its link, its connection or its client.\n"
           "\n"
           "While a generator is served, the instrument is announced on the local network\n"
           "by mDNS / DNS-SD (_scpi-raw._tcp, \"Trelvix Pulse Generator SERIAL on HOST\",\n"
           "with the *IDN? fields in its TXT record), through avahi-daemon on Linux and\n"
           "the DNS-SD services of Windows 10 and later; without them serve says so once\n"
           "and serves on. With --simulate, SIGUSR1 unplugs the simulated generator and\n"
           "plugs it in again (Linux).\n"
           "\n"
           "Commands: *IDN?, *RST, *CLS, *ESE, *ESE?, *ESR?, *SRE, *SRE?, *STB?, *OPC,\n"
           "*OPC?, *WAI, *TST?, [SOURce[1]:]FREQuency (HZ, KHZ, MHZ, GHZ),\n"
           "[SOURce[1]:]VOLTage, [SOURce[1]:]VOLTage:INDex, EXTernal:DIRection,\n"
           "EXTernal:FREQuency, EXTernal:POLarity (each setting also with ?),\n"
           "SYSTem:ERRor[:NEXT]?, SYSTem:ERRor:ALL?, SYSTem:ERRor:COUNt?, SYSTem:VERSion?,\n"
           "STATus:OPERation[:EVENt]?, STATus:OPERation:CONDition?,\n"
           "STATus:OPERation:ENABle, STATus:QUEStionable[:EVENt]?,\n"
           "STATus:QUEStionable:CONDition?, STATus:QUEStionable:ENABle (both ENABle\n"
           "also with ?), STATus:PRESet\n";
}

int serve(const Invocation& in, hid::HidPlatform& platform, SystemError& errors, Streams io,
          SimulatedGenerators* simulated) {
    std::string error;
    const auto endpoint =
        server::parseListenAddress(in.listen.value_or(server::kDefaultListen), error);
    server::Limits limits;
    if (endpoint && in.maxClients) {
        if (const auto clients = parseMaxClients(*in.maxClients, error)) {
            limits.maxClients = *clients;
        }
    }
    if (!error.empty()) {
        io.err << "trelvix-pulse-cli: " << error << "\n";
        return kBadUsage;
    }
    std::optional<std::uint16_t> vxi11Port;
    if (in.vxi11Port && !(vxi11Port = parsePort(*in.vxi11Port, error))) {
        io.err << "trelvix-pulse-cli: " << error << "\n";
        return kBadUsage;
    }
    asio::io_context context;
    server::Turns turns(context);
    lock::GeneratorLock lock;  // one lock for the clients of every protocol
    ServedGenerator generator(platform, errors, in.serial, io.err);
    std::optional<server::LineServer> lines;
    try {
        lines.emplace(context, *endpoint, turns, instrumentSessions(generator, lock), io.err,
                      limits);
    } catch (const asio::system_error& failure) {
        io.err << "trelvix-pulse-cli: cannot listen on " << server::endpointText(*endpoint) << ": "
               << failure.code().message() << "\n";
        return kPlatformFailed;
    }
    std::optional<Vxi11Service> vxi11;
    if (!in.noVxi11) {
        std::vector<std::string> names = {"inst0"};
        if (in.serial) {
            names.push_back(*in.serial);
        }
        try {
            vxi11.emplace(context, endpoint->address(), vxi11Port.value_or(0),
                          oncrpc::kPortmapperPort, generator, lock, turns, names, io.err);
        } catch (const asio::system_error& failure) {
            io.err << "trelvix-pulse-cli: cannot serve VXI-11 on "
                   << server::endpointText({endpoint->address(), vxi11Port.value_or(0)}) << ": "
                   << failure.code().message() << "\n";
            return kPlatformFailed;
        }
    }
    // The VISA resource strings the generator is served under, for the
    // page and its LXI identification.
    const std::string host = web::resourceHost(lines->localEndpoint());
    std::vector<std::string> resources;
    if (vxi11 && vxi11->hasPortmapper()) {
        resources.push_back(web::instrResource(host));
    }
    resources.push_back(web::socketResource(host, lines->localEndpoint().port()));
    auto page = web::startPage(context, {in.http, in.noHttp, in.httpPasswordFile, resources},
                               generator, lock, io.err);
    if (page.status != 0) {
        return page.status == 1 ? kBadUsage : kPlatformFailed;
    }
    const auto bound = lines->localEndpoint();
    if (reachableFromOtherMachines(bound.address())) {
        io.err << "trelvix-pulse-cli: listening on " << server::endpointText(bound)
               << ": anyone who can reach this port can change the generator\n";
    }
    // What runs, announced on the network (mDNS / DNS-SD) while a generator
    // is served: each server adds its port.
    dnssd::ServicePorts services;
    services.scpiRaw = lines->localEndpoint().port();
    if (vxi11 && vxi11->hasPortmapper()) {
        services.vxi11 = oncrpc::kPortmapperPort;
    }
    if (page.server) {
        services.lxi = page.server->localEndpoint().port();
    }
    ServedAnnouncement announcement(in.mdns, services, io.err);
    const auto tick = [&] {
        const int next = generator.tick();
        announcement.follow(generator);
        return next;
    };
    asio::steady_timer ticks(context);
    std::function<void(int)> tickAfter = [&](int milliseconds) {
        ticks.expires_after(std::chrono::milliseconds(milliseconds));
        ticks.async_wait([&](std::error_code cancelled) {
            if (!cancelled) {
                tickAfter(tick());
            }
        });
    };
    tickAfter(tick());  // the generator is taken before the first client comes
    io.out << "listening on " << server::endpointText(bound) << std::endl;
    if (vxi11) {
        io.out << "VXI-11 core channel on "
               << server::endpointText({endpoint->address(), vxi11->corePort()})
               << (vxi11->hasPortmapper() ? ", portmapper on port 111" : ", no portmapper")
               << std::endl;
    }
    if (page.server) {
        io.out << "page at " << page.server->pageUrl() << std::endl;
    }

    std::optional<SimulatedUnplug> unplugs;
    if (simulated != nullptr) {
        unplugs.emplace(context, *simulated, io.err);
    }
    std::optional<server::StopSignals> signals;
    signals.emplace(context, [&] {
        io.err << "trelvix-pulse-cli: stopping\n";
        ticks.cancel();
        if (unplugs) {
            unplugs->cancel();
        }
        lines->close();
        if (vxi11) {
            vxi11->close();
        }
        if (page.server) {
            page.server->close();
        }
        turns.clear();
        signals->cancel();
    });
    context.run();
    generator.close();
    announcement.follow(generator);  // withdrawn
    page.server.reset();
    lines.reset();
    vxi11.reset();
    signals->finished();
    return kDone;
}

}  // namespace tpg::cli
