// The SCPI server soaked on the simulated bench, in this process over
// loopback: 4 clients send 100,000 commands (settings, queries, bad values,
// *RST, each followed by a SYSTem:ERRor? that counts among them) while they disconnect at random,
// sometimes in the middle of a line or before reading their answer, and the generator is unplugged
// and plugged in again. Every setting the server accepted (no error after it) must have reached the
// generator, and nothing else: the bench's received reports are exactly the accepted ones. Between
// two halves of the run the descriptors (Linux: /proc/self/fd) and the heap in use must not grow;
// LeakSanitizer checks the sanitizer run at exit. The values are drawn from 64 per setting, so that
// the tallies stop growing early. TPG_SERVE_SOAK_COMMANDS=N changes the length, TPG_SOAK_SEED=N
// repeats a run.
#include <gtest/gtest.h>

#include <asio.hpp>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <iostream>
#include <map>
#include <mutex>
#include <random>
#include <sstream>
#include <thread>

#include "LiveHeap.h"
#include "SoakSupport.h"
#include "cli/Serve.h"
#include "cli/ServedGenerator.h"
#include "hid/sim/SimulatedBench.h"
#include "protocol/FeatureReports.h"
#include "settings/Defaults.h"

namespace tpg::test {
namespace {

using asio::ip::tcp;
using protocol::ReportCommand;
// A report's bytes as a map key (a string: GCC 12 warns falsely on
// comparing byte vectors in the Windows build).
using Bytes = std::string;
Bytes keyOf(const std::vector<std::uint8_t>& report) {
    return {report.begin(), report.end()};
}

constexpr const char* kPath = "/dev/hidraw3";
constexpr const char* kNoError = "0,\"No error\"";

// The server as serve runs it, on a thread of its own: the generator held
// open over the bench, the monitor's ticks, an instrument per connection.
struct ServerUnderSoak {
    asio::io_context io;
    hid::sim::SimulatedBench bench;
    NoSystemText errors;
    std::ostream log{nullptr};  // what the server tells is not kept: it would grow
    cli::ServedGenerator generator{bench, errors, std::string("TPG35-20417"), log};
    server::Turns turns{io};
    lock::GeneratorLock lock;
    std::optional<server::LineServer> lines;
    asio::steady_timer ticks{io};
    std::thread thread;
    std::optional<hid::sim::DeviceSpec> unplugged;  // on the server's thread only

    ServerUnderSoak() {
        bench.plug(hid::sim::generatorSpec(kPath, u"TPG35-20417"));
        lines.emplace(io, tcp::endpoint(asio::ip::address_v4::loopback(), 0), turns,
                      cli::instrumentSessions(generator, lock), log);
        tickAfter(generator.tick());
        thread = std::thread([this] { io.run(); });
    }
    void tickAfter(int milliseconds) {
        ticks.expires_after(std::chrono::milliseconds(milliseconds));
        ticks.async_wait([this](std::error_code cancelled) {
            if (!cancelled) {
                tickAfter(generator.tick());
            }
        });
    }
    // Runs f on the server's thread and waits for it.
    template <typename F>
    void onServer(F f) {
        std::promise<void> done;
        asio::post(io, [&] {
            f();
            done.set_value();
        });
        done.get_future().wait();
    }
    void stop() {
        onServer([this] {
            ticks.cancel();
            lines->close();
        });
        thread.join();
        generator.close();
        lines.reset();
    }
};

struct Tally {
    std::mutex mutex;
    std::map<Bytes, long> accepted;  // reports of accepted settings, counted
    std::atomic<long> commands{0}, settings{0}, missing{0}, refused{0}, disconnects{0}, unplugs{0};
    void accept(ReportCommand command, std::uint32_t value) {
        std::lock_guard lock(mutex);
        ++accepted[keyOf(*protocol::buildCommand(command, value, 65))];
    }
};

class Client {
  public:
    Client(ServerUnderSoak& server, Tally& tally, unsigned long long seed)
        : server_(server), tally_(tally), random_(seed) {}

    void run(long commands) {
        connect();
        while (tally_.commands.fetch_add(2) < commands && !testing::Test::HasFailure()) {
            step();
        }
    }

  private:
    void connect() {
        socket_.emplace(io_);
        socket_->connect(server_.lines->localEndpoint());
        input_.consume(input_.size());
    }
    std::string readLine() {
        asio::read_until(*socket_, input_, '\n');
        std::istream in(&input_);
        std::string line;
        std::getline(in, line);
        return line;
    }
    void send(const std::string& text) { asio::write(*socket_, asio::buffer(text)); }
    // The error after a command: none, or the generator missing.
    std::string errorAfter(const std::string& command) {
        send(command + "\nSYST:ERR?\n");
        std::string error = readLine();
        if (error != kNoError) {
            EXPECT_EQ(error, "-241,\"Hardware missing\"") << command;
            ++tally_.missing;
        }
        return error;
    }
    std::uint32_t pick(std::uint32_t low, std::uint32_t high) {
        return std::uniform_int_distribution<std::uint32_t>(low, high)(random_);
    }

    void step() {
        const auto r = pick(0, 999);
        if (r < 10) {  // gone, sometimes in the middle of a line or an answer
            send(r < 4 ? "FREQ 12" : r < 7 ? "FREQ?\n" : "");
            socket_.reset();
            ++tally_.disconnects;
            connect();
        } else if (r < 20) {
            server_.onServer([this] {
                auto& bench = server_.bench;
                if (bench.isPlugged(kPath)) {
                    server_.unplugged = *bench.device(kPath);
                    bench.unplug(kPath);
                    ++tally_.unplugs;
                } else if (server_.unplugged) {
                    bench.plug(*server_.unplugged);
                }
            });
        } else if (r < 70) {  // bad values are refused, generator or not
            send(r < 45 ? "FREQ 1\nSYST:ERR?\n" : "VOLT:IND 511\nSYST:ERR?\n");
            EXPECT_EQ(readLine().substr(0, 5), "-222,");
            ++tally_.refused;
        } else if (r < 300) {
            send("FREQ?\nSYST:ERR?\n");
            const std::string first = readLine();
            if (first != "-241,\"Hardware missing\"") {
                EXPECT_EQ(first.find_first_not_of("0123456789"), std::string::npos) << first;
                EXPECT_EQ(readLine(), kNoError);
            }
        } else if (r < 305) {
            if (errorAfter("*RST") == kNoError) {
                for (const auto& report : settings::restoreDefaultsReports()) {
                    tally_.accept(report.command, report.value);
                }
            }
        } else {
            setting();
        }
    }

    void setting() {
        ReportCommand command{};
        std::uint32_t value = 0;
        std::string text;
        switch (pick(0, 4)) {
            case 0:
                command = ReportCommand::SetPulseFrequency;
                value = 25000 + pick(0, 63) * 5000000;
                text = "FREQ " + std::to_string(value);
                break;
            case 1:
                command = ReportCommand::SetAmplitude;
                value = pick(0, 63) * 8;
                text = "VOLT:IND " + std::to_string(value);
                break;
            case 2:
                command = ReportCommand::SetPolarity;
                value = pick(0, 1);
                text = value == 1 ? "EXT:POL NORM" : "EXT:POL INV";
                break;
            case 3:
                command = ReportCommand::SetTriggerSyncFunction;
                value = pick(0, 1);
                text = value == 1 ? "EXT:DIR INP" : "EXT:DIR OUTP";
                break;
            default:
                command = ReportCommand::SetSyncFrequency;
                value = 1000000 + pick(0, 63) * 4000000;
                text = "EXT:FREQ " + std::to_string(value);
                break;
        }
        if (errorAfter(text) == kNoError) {
            tally_.accept(command, value);
            ++tally_.settings;
        }
    }

    ServerUnderSoak& server_;
    Tally& tally_;
    std::mt19937_64 random_;
    asio::io_context io_;
    std::optional<tcp::socket> socket_;
    asio::streambuf input_;
};

TEST(ServeSoak, FourClientsDisconnectsAndUnplugs) {
    const auto seed = fromEnvironment(
        "TPG_SOAK_SEED", static_cast<unsigned long long>(
                             std::chrono::steady_clock::now().time_since_epoch().count()));
#ifdef _WIN32
    constexpr long kCommands = 20000;  // Wine's loopback is slower; the Linux runs do 100,000
#else
    constexpr long kCommands = 100000;
#endif
    const long commands = static_cast<long>(fromEnvironment("TPG_SERVE_SOAK_COMMANDS", kCommands));
    std::cout << "serve soak seed " << seed << ", " << commands << " commands" << std::endl;
    SCOPED_TRACE("serve soak seed " + std::to_string(seed));

    const auto descriptorsBefore = openDescriptors();
    const auto begin = std::chrono::steady_clock::now();
    Tally tally;
    std::optional<long> descriptorsHalfway;
    std::optional<long long> heapHalfway;
    std::map<Bytes, long> received;
    {
        ServerUnderSoak server;
        // Two halves; between them, with no client connected, descriptors
        // and heap are measured.
        for (int half = 0; half < 2; ++half) {
            std::vector<std::thread> clients;
            clients.reserve(4);
            for (int i = 0; i < 4; ++i) {
                clients.emplace_back([&, i] {
                    Client(server, tally, seed * 8 + static_cast<unsigned>(half * 4 + i))
                        .run(commands / 2 * (half + 1));
                });
            }
            for (auto& client : clients) {
                client.join();
            }
            tally.commands = commands / 2;
            // The server sees the last disconnects shortly.
            for (int wait = 0; wait < 200 && server.lines->clientCount() > 0; ++wait) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            EXPECT_EQ(server.lines->clientCount(), 0u);
            server.onServer([&] {
                if (!server.bench.isPlugged(kPath) && server.unplugged) {
                    server.bench.plug(*server.unplugged);
                }
            });
            // What reached the generator, tallied as it comes, so that the
            // bench's list does not grow.
            server.onServer([&] {
                for (const auto& report : server.bench.sentReports()) {
                    ++received[keyOf(report.bytes)];
                }
                server.bench.clearSentReports();
            });
            if (half == 0) {
                descriptorsHalfway = openDescriptors();
                heapHalfway = liveHeapBytes();
            } else {
                EXPECT_EQ(openDescriptors(), descriptorsHalfway);
                if (heapHalfway) {
                    EXPECT_LT(*liveHeapBytes() - *heapHalfway, 64 * 1024);
                }
            }
        }
        server.stop();
        const auto total = [](const std::map<Bytes, long>& counts) {
            long n = 0;
            for (const auto& [bytes, count] : counts) {
                n += count;
            }
            return n;
        };
        EXPECT_EQ(server.bench.sentReports().size(), 0u);
        EXPECT_TRUE(received == tally.accepted)
            << "the generator received " << total(received)
            << " reports; the accepted settings made " << total(tally.accepted);
        EXPECT_EQ(server.bench.openDeviceHandles(), 0);
    }
    EXPECT_EQ(openDescriptors(), descriptorsBefore);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - begin)
                        .count();
    std::cout << "serve soak: " << commands << " commands in " << ms << " ms; " << tally.settings
              << " settings accepted, " << tally.missing << " answered -241, " << tally.refused
              << " bad values refused, " << tally.disconnects << " disconnects, " << tally.unplugs
              << " unplugs" << std::endl;
    EXPECT_GT(tally.settings, commands / 10);
    EXPECT_GT(tally.missing, 0);
    EXPECT_GT(tally.unplugs, 0);
}

}  // namespace
}  // namespace tpg::test
