// A setting through serve's two protocols on the simulated bench over
// loopback, the server on a thread of its own as serve runs it: VXI-11
// (device_write "FREQ x;*OPC?" and device_read of its "1") beside the
// socket (the same line and its answer). Each iteration is one setting
// that reached the generator and was confirmed.
#include <benchmark/benchmark.h>

#include <asio.hpp>
#include <future>
#include <ostream>
#include <thread>

#include "Vxi11Client.h"
#include "cli/Serve.h"
#include "cli/ServedGenerator.h"
#include "hid/sim/SimulatedBench.h"
#include "rpcnet/Vxi11Server.h"

namespace {

using namespace tpg;  // NOLINT(google-build-using-namespace)
using asio::ip::tcp;

class NoSystemText : public cli::SystemError {
  public:
    void clear() override {}
    std::string text() const override { return {}; }
};

struct Server {
    asio::io_context io;
    hid::sim::SimulatedBench bench;
    NoSystemText errors;
    std::ostream log{nullptr};
    cli::ServedGenerator generator{bench, errors, std::string("TPG35-20417"), log};
    lock::GeneratorLock lock;
    server::Turns turns{io};
    server::LineServer lines{io, tcp::endpoint(asio::ip::address_v4::loopback(), 0), turns,
                             cli::instrumentSessions(generator, lock), log};
    rpcnet::Vxi11Server vxi11{io,    asio::ip::address_v4::loopback(),  0,  generator, lock,
                              turns, std::vector<std::string>{"inst0"}, log};
    std::thread thread;

    Server() {
        bench.plug(hid::sim::generatorSpec("/dev/hidraw3", u"TPG35-20417"));
        thread = std::thread([this] { io.run(); });
    }
    ~Server() {
        std::promise<void> done;
        asio::post(io, [&] {
            lines.close();
            vxi11.close();
            turns.clear();
            done.set_value();
        });
        done.get_future().wait();
        thread.join();
        generator.close();
    }
};

std::string frequency(std::int64_t i) {
    return "FREQ " + std::to_string(1000000 + (i % 64) * 1000);
}

void BM_SettingOverVxi11(benchmark::State& state) {
    Server server;
    test::LinkClient client(
        tcp::endpoint(asio::ip::address_v4::loopback(), server.vxi11.corePort()));
    std::int64_t i = 0;
    for (auto _ : state) {
        (void)_;
        if (client.write(frequency(i++) + ";*OPC?\n", false, 0) != 0 || client.read() != "1") {
            state.SkipWithError("the setting was not confirmed");
            break;
        }
    }
}
BENCHMARK(BM_SettingOverVxi11)->UseRealTime();

void BM_SettingOverSocket(benchmark::State& state) {
    Server server;
    asio::io_context io;
    tcp::socket socket(io);
    socket.connect(server.lines.localEndpoint());
    socket.set_option(tcp::no_delay(true));
    asio::streambuf input;
    std::int64_t i = 0;
    for (auto _ : state) {
        (void)_;
        asio::write(socket, asio::buffer(frequency(i++) + ";*OPC?\n"));
        asio::read_until(socket, input, '\n');
        std::istream in(&input);
        std::string line;
        std::getline(in, line);
        if (line != "1") {
            state.SkipWithError("the setting was not confirmed");
            break;
        }
    }
}
BENCHMARK(BM_SettingOverSocket)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
