#include "cli/Serve.h"

#include <chrono>
#include <ostream>

#include "cli/Failure.h"
#include "cli/ServedGenerator.h"
#include "cli/Vxi11Service.h"
#include "lock/LockedGenerator.h"
#include "oncrpc/Portmapper.h"
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

// A socket client's instrument over its view of the locked generator: its
// settings are refused while another client holds the lock.
class LockedSession : public server::Session {
  public:
    LockedSession(scpi::Generator& generator, lock::GeneratorLock& lock)
        : lock_(lock),
          client_(lock.join("a socket client")),
          view_(generator, lock, client_),
          instrument_(view_) {}
    LockedSession(const LockedSession&) = delete;
    LockedSession& operator=(const LockedSession&) = delete;
    ~LockedSession() override { lock_.leave(client_); }
    std::string execute(std::string_view line) override { return instrument_.execute(line); }
    void inputOverrun() override { instrument_.inputOverrun(); }

  private:
    lock::GeneratorLock& lock_;
    lock::ClientId client_;
    lock::LockedGenerator view_;
    scpi::Instrument instrument_;
};

}  // namespace

server::SessionFactory instrumentSessions(scpi::Generator& generator) {
    return [&generator] { return std::make_unique<InstrumentSession>(generator); };
}

server::SessionFactory instrumentSessions(scpi::Generator& generator, lock::GeneratorLock& lock) {
    return [&generator, &lock] { return std::make_unique<LockedSession>(generator, lock); };
}

std::string serveHelpText() {
    return "Usage: trelvix-pulse-cli [--serial SERIAL] [--simulate] [--listen HOST:PORT]\n"
           "                         [--no-vxi11 | --vxi11-port PORT] serve\n"
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
           "  --vxi11-port PORT   the VXI-11 core channel's port on the same address\n"
           "                      (default: any free port; clients find it through the\n"
           "                      portmapper on port 111, which needs root or\n"
           "                      CAP_NET_BIND_SERVICE)\n"
           "  --no-vxi11          the socket only: no VXI-11, nothing on port 111\n"
           "\n"
           "VXI-11: the same generator as TCPIP::HOST::INSTR (or HOST::inst0 or\n"
           "HOST::SERIAL), found by lxi discover and VISA's LAN search; each link has\n"
           "its own error queue and status byte. A link's lock (viLock, lock_excl) is\n"
           "the generator's: while it holds it, other links wait or get \"locked\", and\n"
           "socket clients' settings give error -203 (queries still answer). The lock\n"
           "goes with its link, its connection or its client.\n"
           "\n"
           "Commands: *IDN?, *RST, *CLS, *ESE, *ESR?, *SRE, *STB?, *OPC, *OPC?, *WAI,\n"
           "*TST?, [SOURce:]FREQuency, [SOURce:]VOLTage, [SOURce:]VOLTage:INDex,\n"
           "EXTernal:DIRection, EXTernal:FREQuency, EXTernal:POLarity, SYSTem:ERRor?,\n"
           "SYSTem:ERRor:COUNt?, SYSTem:VERSion?\n";
}

int serve(const Invocation& in, hid::HidPlatform& platform, SystemError& errors, Streams io) {
    std::string error;
    const auto endpoint =
        server::parseListenAddress(in.listen.value_or(server::kDefaultListen), error);
    if (!endpoint) {
        io.err << "trelvix-pulse-cli: " << error << "\n";
        return kBadUsage;
    }
    std::optional<std::uint16_t> vxi11Port;
    if (in.vxi11Port && !(vxi11Port = parsePort(*in.vxi11Port, error))) {
        io.err << "trelvix-pulse-cli: " << error << "\n";
        return kBadUsage;
    }
    asio::io_context context;
    ServedGenerator generator(platform, errors, in.serial, io.err);
    lock::GeneratorLock lock;
    server::Turns turns(context);
    std::optional<server::LineServer> lines;
    try {
        lines.emplace(context, *endpoint, instrumentSessions(generator, lock), io.err);
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
    if (!endpoint->address().is_loopback()) {
        io.err << "trelvix-pulse-cli: listening on " << server::endpointText(*endpoint)
               << ": anyone who can reach this port can change the generator\n";
    }
    asio::steady_timer ticks(context);
    std::function<void(int)> tickAfter = [&](int milliseconds) {
        ticks.expires_after(std::chrono::milliseconds(milliseconds));
        ticks.async_wait([&](std::error_code cancelled) {
            if (!cancelled) {
                tickAfter(generator.tick());
            }
        });
    };
    tickAfter(generator.tick());  // the generator is taken before the first client comes
    io.out << "listening on " << server::endpointText(lines->localEndpoint()) << std::endl;
    if (vxi11) {
        io.out << "VXI-11 core channel on "
               << server::endpointText({endpoint->address(), vxi11->corePort()})
               << (vxi11->hasPortmapper() ? ", portmapper on port 111" : ", no portmapper")
               << std::endl;
    }

    std::optional<server::StopSignals> signals;
    signals.emplace(context, [&] {
        io.err << "trelvix-pulse-cli: stopping\n";
        ticks.cancel();
        lines->close();
        if (vxi11) {
            vxi11->close();
        }
        turns.clear();
        signals->cancel();
    });
    context.run();
    generator.close();
    lines.reset();
    vxi11.reset();
    signals->finished();
    return kDone;
}

}  // namespace tpg::cli
