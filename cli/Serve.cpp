#include "cli/Serve.h"

#include <chrono>
#include <ostream>

#include "cli/Failure.h"
#include "cli/ServedGenerator.h"
#include "lock/GeneratorLock.h"
#include "scpi/Instrument.h"
#include "server/ListenAddress.h"
#include "server/StopSignals.h"
#include "web/ServePage.h"
#include "web/WebServer.h"

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
           "                         [--http HOST:PORT | --no-http]\n"
           "                         [--http-password-file FILE] serve\n"
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
    asio::io_context context;
    ServedGenerator generator(platform, errors, in.serial, io.err);
    lock::GeneratorLock lock;  // one lock for the clients of every protocol
    std::optional<server::LineServer> lines;
    try {
        lines.emplace(context, *endpoint, instrumentSessions(generator), io.err);
    } catch (const asio::system_error& failure) {
        io.err << "trelvix-pulse-cli: cannot listen on " << server::endpointText(*endpoint) << ": "
               << failure.code().message() << "\n";
        return kPlatformFailed;
    }
    auto page = web::startPage(context,
                               {in.http,
                                in.noHttp,
                                in.httpPasswordFile,
                                {web::socketResource(web::resourceHost(lines->localEndpoint()),
                                                     lines->localEndpoint().port())}},
                               generator, lock, io.err);
    if (page.status != 0) {
        return page.status == 1 ? kBadUsage : kPlatformFailed;
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
    if (page.server) {
        io.out << "page at " << page.server->pageUrl() << std::endl;
    }

    std::optional<server::StopSignals> signals;
    signals.emplace(context, [&] {
        io.err << "trelvix-pulse-cli: stopping\n";
        ticks.cancel();
        lines->close();
        if (page.server) {
            page.server->close();
        }
        signals->cancel();
    });
    context.run();
    generator.close();
    page.server.reset();
    lines.reset();
    signals->finished();
    return kDone;
}

}  // namespace tpg::cli
