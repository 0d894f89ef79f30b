// VXI-11 soaked beside the socket on the simulated bench, in this process
// over loopback: 4 links and 2 socket clients make 100,000 calls (RPCs and
// socket commands) while links take the generator's lock (at once or
// waiting for it), give it back, drop their connection holding it, and the
// generator is unplugged. Every setting a client was told it made (no error
// after it) must have reached the generator, and nothing else: a client
// locked out (error 11, or -203 on the socket) changed nothing. Between two
// halves the descriptors and the heap must not grow.
// TPG_VXI11_SOAK_CALLS=N changes the length, TPG_SOAK_SEED=N repeats a run.
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
#include <thread>

#include "LiveHeap.h"
#include "SoakSupport.h"
#include "Vxi11Client.h"
#include "cli/Serve.h"
#include "cli/ServedGenerator.h"
#include "hid/sim/SimulatedBench.h"
#include "protocol/FeatureReports.h"
#include "rpcnet/Vxi11Server.h"
#include "vxi11/Messages.h"

namespace tpg::test {
namespace {

using asio::ip::tcp;
using protocol::ReportCommand;
using Bytes = std::string;

constexpr const char* kPath = "/dev/hidraw3";
constexpr const char* kNoError = "0,\"No error\"";

struct Server {
    asio::io_context io;
    hid::sim::SimulatedBench bench;
    NoSystemText errors;
    std::ostream log{nullptr};
    cli::ServedGenerator generator{bench, errors, std::string("TPG35-20417"), log};
    lock::GeneratorLock lock;
    server::Turns turns{io};
    std::optional<server::LineServer> lines;
    std::optional<rpcnet::Vxi11Server> vxi11;
    std::thread thread;
    std::optional<hid::sim::DeviceSpec> unplugged;

    Server() {
        bench.plug(hid::sim::generatorSpec(kPath, u"TPG35-20417"));
        const auto loopback = asio::ip::address_v4::loopback();
        lines.emplace(io, tcp::endpoint(loopback, 0), turns,
                      cli::instrumentSessions(generator, lock), log);
        vxi11.emplace(io, loopback, 0, generator, lock, turns, std::vector<std::string>{"inst0"},
                      log);
        thread = std::thread([this] { io.run(); });
    }
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
            lines->close();
            vxi11->close();
            turns.clear();
        });
        thread.join();
        generator.close();
    }
};

struct Tally {
    std::mutex mutex;
    std::map<Bytes, long> accepted;
    std::atomic<long> calls{0}, settings{0}, lockedOut{0}, refused{0}, missing{0}, locks{0},
        lockWaitsTimedOut{0}, drops{0}, unplugs{0};
    void accept(ReportCommand command, std::uint32_t value) {
        const auto report = *protocol::buildCommand(command, value, 65);
        std::lock_guard guard(mutex);
        ++accepted[Bytes(report.begin(), report.end())];
    }
};

// A setting with the report it makes.
struct Setting {
    std::string text;
    ReportCommand command;
    std::uint32_t value;
};

Setting drawSetting(std::mt19937_64& random) {
    const auto pick = [&](std::uint32_t high) {
        return std::uniform_int_distribution<std::uint32_t>(0, high)(random);
    };
    if (pick(1) == 0) {
        const std::uint32_t value = 25000 + pick(63) * 5000000;
        return {"FREQ " + std::to_string(value), ReportCommand::SetPulseFrequency, value};
    }
    const std::uint32_t value = pick(63) * 8;
    return {"VOLT:IND " + std::to_string(value), ReportCommand::SetAmplitude, value};
}

// What a setting's SYSTem:ERRor? said.
void tallyAfter(Tally& tally, const Setting& setting, const std::string& error) {
    if (error == kNoError) {
        tally.accept(setting.command, setting.value);
        ++tally.settings;
    } else if (error.rfind("-203,", 0) == 0) {
        ++tally.refused;
    } else {
        EXPECT_EQ(error, "-241,\"Hardware missing\"") << setting.text;
        ++tally.missing;
    }
}

void unplugOrPlug(Server& server, Tally& tally) {
    server.onServer([&] {
        if (server.bench.isPlugged(kPath)) {
            server.unplugged = *server.bench.device(kPath);
            server.bench.unplug(kPath);
            ++tally.unplugs;
        } else if (server.unplugged) {
            server.bench.plug(*server.unplugged);
        }
    });
}

void runLink(Server& server, Tally& tally, unsigned long long seed, long calls) {
    std::mt19937_64 random(seed);
    const tcp::endpoint core(asio::ip::address_v4::loopback(), server.vxi11->corePort());
    auto client = std::make_unique<LinkClient>(core);
    int heldFor = -1;  // steps since the lock was taken; -1: not held
    while (tally.calls.fetch_add(1) < calls && !testing::Test::HasFailure()) {
        const auto r = std::uniform_int_distribution<int>(0, 999)(random);
        if (heldFor >= 0 && ++heldFor > 6) {
            EXPECT_EQ(client->unlock(), 0);
            heldFor = -1;
        } else if (r < 8) {  // the connection drops, the lock with it
            client = std::make_unique<LinkClient>(core);
            heldFor = -1;
            ++tally.drops;
        } else if (r < 14) {
            unplugOrPlug(server, tally);
        } else if (r < 60 && heldFor < 0) {
            const bool wait = r < 40;
            const auto error = client->lock(wait, wait ? 30 : 0);
            if (error == 0) {
                heldFor = 0;
                ++tally.locks;
            } else {
                EXPECT_EQ(error, vxi11::kLockedByAnother);
                tally.lockWaitsTimedOut += wait ? 1 : 0;
            }
        } else if (r < 120) {
            EXPECT_EQ(client->readStb(), 0);
        } else {
            const Setting setting = drawSetting(random);
            const bool wait = r < 500;
            const auto error = client->write(setting.text + "\n", wait, wait ? 20 : 0);
            if (error == vxi11::kLockedByAnother) {
                ++tally.lockedOut;
                continue;
            }
            ASSERT_EQ(error, 0);
            // The error queue is this link's: its answer waits for the lock.
            ASSERT_EQ(client->write("SYST:ERR?\n", true, 10000), 0);
            tallyAfter(tally, setting, client->read());
            tally.calls += 2;
        }
    }
    if (heldFor >= 0) {
        EXPECT_EQ(client->unlock(), 0);
    }
}

void runSocket(Server& server, Tally& tally, unsigned long long seed, long calls) {
    std::mt19937_64 random(seed);
    asio::io_context io;
    tcp::socket socket(io);
    socket.connect(server.lines->localEndpoint());
    asio::streambuf input;
    while (tally.calls.fetch_add(2) < calls && !testing::Test::HasFailure()) {
        const Setting setting = drawSetting(random);
        asio::write(socket, asio::buffer(setting.text + "\nSYST:ERR?\n"));
        asio::read_until(socket, input, '\n');
        std::istream in(&input);
        std::string line;
        std::getline(in, line);
        tallyAfter(tally, setting, line);
    }
}

TEST(Vxi11Soak, LinksAndSocketClientsWithLocksDropsAndUnplugs) {
    const auto seed = fromEnvironment(
        "TPG_SOAK_SEED", static_cast<unsigned long long>(
                             std::chrono::steady_clock::now().time_since_epoch().count()));
#ifdef _WIN32
    constexpr long kCalls = 20000;  // Wine's loopback is slower; the Linux runs make 100,000
#else
    constexpr long kCalls = 100000;
#endif
    const long calls = static_cast<long>(fromEnvironment("TPG_VXI11_SOAK_CALLS", kCalls));
    std::cout << "VXI-11 soak seed " << seed << ", " << calls << " calls" << std::endl;
    SCOPED_TRACE("VXI-11 soak seed " + std::to_string(seed));
    const auto descriptorsBefore = openDescriptors();
    const auto begin = std::chrono::steady_clock::now();
    Tally tally;
    std::map<Bytes, long> received;
    std::optional<long> descriptorsHalfway;
    std::optional<long long> heapHalfway;
    {
        Server server;
        for (int half = 0; half < 2; ++half) {
            const long until = calls / 2 * (half + 1);
            std::vector<std::thread> clients;
            for (int i = 0; i < 6; ++i) {
                const auto clientSeed = seed * 16 + static_cast<unsigned>(half * 6 + i);
                clients.emplace_back([&, i, clientSeed] {
                    if (i < 4) {
                        runLink(server, tally, clientSeed, until);
                    } else {
                        runSocket(server, tally, clientSeed, until);
                    }
                });
            }
            for (auto& client : clients) {
                client.join();
            }
            tally.calls = until;
            for (int wait = 0;
                 wait < 200 && (server.vxi11->linkCount() > 0 || server.lines->clientCount() > 0);
                 ++wait) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            EXPECT_EQ(server.vxi11->linkCount(), 0u);
            server.onServer([&] {
                EXPECT_EQ(server.lock.holder(), 0u);
                if (!server.bench.isPlugged(kPath) && server.unplugged) {
                    server.bench.plug(*server.unplugged);
                }
                for (const auto& report : server.bench.sentReports()) {
                    ++received[Bytes(report.bytes.begin(), report.bytes.end())];
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
        EXPECT_TRUE(received == tally.accepted)
            << "the generator received " << received.size() << " distinct reports; "
            << tally.accepted.size() << " were accepted";
        EXPECT_EQ(server.bench.openDeviceHandles(), 0);
    }
    EXPECT_EQ(openDescriptors(), descriptorsBefore);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - begin)
                        .count();
    std::cout << "VXI-11 soak: " << calls << " calls in " << ms << " ms; " << tally.settings
              << " settings accepted, " << tally.lockedOut << " writes locked out (11), "
              << tally.refused << " refused (-203), " << tally.missing << " answered -241, "
              << tally.locks << " locks taken, " << tally.lockWaitsTimedOut
              << " lock waits timed out, " << tally.drops << " drops, " << tally.unplugs
              << " unplugs" << std::endl;
    EXPECT_GT(tally.settings, calls / 20);
    EXPECT_GT(tally.lockedOut + tally.refused, 0);
    EXPECT_GT(tally.locks, 0);
    EXPECT_GT(tally.unplugs, 0);
}

}  // namespace
}  // namespace tpg::test
