#include "cli/Serve.h"

#include <chrono>
#include <ostream>

#include "cli/Failure.h"
#include "cli/ServedAnnouncement.h"
#include "cli/ServedGenerator.h"
#include "cli/SimulatedUnplug.h"
#include "scpi/Instrument.h"
#include "server/ListenAddress.h"
#include "server/StopSignals.h"

namespace tpg::cli {
namespace {

class InstrumentSession : public server::Session {
  public:
    explicit InstrumentSession(scpi::Generator& generator) : instrument_(generator) {}
    std::string execute(std::string_view line) override { return instrument_.execute(line); }
    void inputOverrun() override { instrument_.inputOverrun(); }

  private:
    scpi::Instrument instrument_;
};

}  // namespace

server::SessionFactory instrumentSessions(scpi::Generator& generator) {
    return [&generator] { return std::make_unique<InstrumentSession>(generator); };
}

std::string serveHelpText() {
    return "Usage: trelvix-pulse-cli [--serial SERIAL] [--simulate] [--listen HOST:PORT]\n"
           "                         [--no-mdns] serve\n"
           "\n"
           "Holds one generator open and answers SCPI commands over TCP, one line each,\n"
           "as an instrument reached as TCPIP0::HOST::PORT::SOCKET (PyVISA, LabVIEW,\n"
           "MATLAB). Prints \"listening on ADDRESS:PORT\" once it listens. It waits for the\n"
           "generator if none is present and takes it again after an unplug; meanwhile\n"
           "commands give error -241. Up to 8 clients at once, each with its own error\n"
           "queue. Ctrl+C or SIGTERM closes the generator and the connections.\n"
           "\n"
           "  --listen HOST:PORT  the address to listen on (default 127.0.0.1:5025, this\n"
           "                      machine only); 0.0.0.0:5025 or [::]:5025 let every\n"
           "                      machine that reaches the port change the generator;\n"
           "                      port 0 takes a free port\n"
           "  --no-mdns           does not announce the instrument on the network\n"
           "\n"
           "While a generator is served, the instrument is announced on the local network\n"
           "by mDNS / DNS-SD (_scpi-raw._tcp, \"Trelvix Pulse Generator SERIAL on HOST\",\n"
           "with the *IDN? fields in its TXT record), through avahi-daemon on Linux and\n"
           "the DNS-SD services of Windows 10 and later; without them serve says so once\n"
           "and serves on. With --simulate, SIGUSR1 unplugs the simulated generator and\n"
           "plugs it in again (Linux).\n"
           "\n"
           "Commands: *IDN?, *RST, *CLS, *ESE, *ESR?, *SRE, *STB?, *OPC, *OPC?, *WAI,\n"
           "*TST?, [SOURce:]FREQuency, [SOURce:]VOLTage, [SOURce:]VOLTage:INDex,\n"
           "EXTernal:DIRection, EXTernal:FREQuency, EXTernal:POLarity, SYSTem:ERRor?,\n"
           "SYSTem:ERRor:COUNt?, SYSTem:VERSion?\n";
}

int serve(const Invocation& in, hid::HidPlatform& platform, SystemError& errors, Streams io,
          SimulatedGenerators* simulated) {
    std::string error;
    const auto endpoint =
        server::parseListenAddress(in.listen.value_or(server::kDefaultListen), error);
    if (!endpoint) {
        io.err << "trelvix-pulse-cli: " << error << "\n";
        return kBadUsage;
    }
    asio::io_context context;
    ServedGenerator generator(platform, errors, in.serial, io.err);
    std::optional<server::LineServer> lines;
    try {
        lines.emplace(context, *endpoint, instrumentSessions(generator), io.err);
    } catch (const asio::system_error& failure) {
        io.err << "trelvix-pulse-cli: cannot listen on " << server::endpointText(*endpoint) << ": "
               << failure.code().message() << "\n";
        return kPlatformFailed;
    }
    if (!endpoint->address().is_loopback()) {
        io.err << "trelvix-pulse-cli: listening on " << server::endpointText(*endpoint)
               << ": anyone who can reach this port can change the generator\n";
    }
    // What runs, announced on the network (mDNS / DNS-SD) while a generator
    // is served: each server adds its port.
    dnssd::ServicePorts services;
    services.scpiRaw = lines->localEndpoint().port();
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
    io.out << "listening on " << server::endpointText(lines->localEndpoint()) << std::endl;

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
        signals->cancel();
    });
    context.run();
    generator.close();
    announcement.follow(generator);  // withdrawn
    lines.reset();
    signals->finished();
    return kDone;
}

}  // namespace tpg::cli
