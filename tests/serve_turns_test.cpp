// serve's clients take turns: one client's long message lets the others,
// the monitor's timer and the stop signals in every few units; a short
// message still runs whole; and the one lock keeps a socket client's
// settings from a generator another client holds.
#include <gtest/gtest.h>

#include <asio.hpp>
#include <atomic>
#include <chrono>
#include <functional>
#include <sstream>
#include <thread>

#include "RecordingGenerator.h"
#include "cli/Serve.h"
#include "scpi/Instrument.h"

namespace tpg::test {
namespace {

using asio::ip::tcp;

// A generator that takes a fixed time per report, as a real one does, and
// calls a hook (on the server's thread) after each report.
struct PacedGenerator : RecordingGenerator {
    std::function<void(std::size_t)> afterSend;
    std::optional<scpi::Fault> send(const settings::SettingReport& report) override {
        auto fault = RecordingGenerator::send(report);
        std::this_thread::sleep_for(std::chrono::microseconds(50));
        if (afterSend) {
            afterSend(sent.size());
        }
        return fault;
    }
};

struct TurnsRig {
    asio::io_context io;
    server::Turns turns{io};
    lock::GeneratorLock lock;
    PacedGenerator generator;
    std::ostringstream log;
    server::LineServer server{io, tcp::endpoint(asio::ip::address_v4::loopback(), 0), turns,
                              cli::instrumentSessions(generator, lock), log};
    std::thread loop;
    asio::io_context client;

    void start() {
        loop = std::thread([this] { io.run(); });
    }
    ~TurnsRig() {
        asio::post(io, [this] { server.close(); });
        if (loop.joinable()) {
            loop.join();
        }
    }
    tcp::socket connect() {
        tcp::socket socket(client);
        socket.connect(server.localEndpoint());
        return socket;
    }
};

std::string readLine(tcp::socket& socket) {
    asio::streambuf buffer;
    asio::read_until(socket, buffer, '\n');
    std::string line(asio::buffers_begin(buffer.data()), asio::buffers_end(buffer.data()));
    return line.substr(0, line.find('\n'));
}

std::int32_t frequencyOf(const settings::SettingReport& report) {
    return report.command == protocol::ReportCommand::SetPulseFrequency ? report.value : -1;
}

TEST(ServeTurns, ALongMessageLetsOtherClientsTimersAndStopsIn) {
    TurnsRig rig;
    auto a = rig.connect();
    auto b = rig.connect();
    constexpr std::size_t kLongUnits = 3000;
    std::string longMessage;
    for (std::size_t i = 0; i < kLongUnits; ++i) {
        longMessage += "FREQ 1e6;";
    }
    longMessage += "*OPC?\n";

    // When A's 20th report has gone out, B sends a short message of two
    // settings and a query, and a 1 ms timer is started, as the monitor's
    // tick or a stop signal would be.
    constexpr std::size_t kWhenBSends = 20;
    asio::steady_timer timer(rig.io);
    std::atomic<std::size_t> sentWhenTimerRan{0};
    rig.generator.afterSend = [&](std::size_t sent) {
        if (sent == kWhenBSends) {
            asio::write(b, asio::buffer(std::string("FREQ 2e6;FREQ 2000001;*OPC?\n")));
            timer.expires_after(std::chrono::milliseconds(1));
            timer.async_wait(
                [&](std::error_code) { sentWhenTimerRan = rig.generator.sent.size(); });
        }
    };
    rig.start();
    asio::write(a, asio::buffer(longMessage));
    EXPECT_EQ(readLine(b), "1");
    EXPECT_EQ(readLine(a), "1");
    asio::post(rig.io, [&] { rig.server.close(); });
    rig.loop.join();

    const auto& sent = rig.generator.sent;
    ASSERT_EQ(sent.size(), kLongUnits + 2);  // nothing lost
    std::size_t bAt = 0;
    for (std::size_t i = 0; i < sent.size(); ++i) {
        if (frequencyOf(sent[i]) == 2000000) {
            bAt = i;
        }
    }
    // B's message ran within a few of A's steps, and whole: its two
    // settings side by side, in order.
    EXPECT_GE(bAt, kWhenBSends);
    EXPECT_LE(bAt, kWhenBSends + 3 * scpi::kUnitsPerStep);
    ASSERT_LT(bAt + 1, sent.size());
    EXPECT_EQ(frequencyOf(sent[bAt + 1]), 2000001);
    // A's units kept their order and all reached the generator.
    std::size_t aUnits = 0;
    for (const auto& report : sent) {
        aUnits += frequencyOf(report) == 1000000 ? 1 : 0;
    }
    EXPECT_EQ(aUnits, kLongUnits);
    // The timer ran while A's message was running (on Windows a timer's
    // completion may come a few turns late: no tighter bound is asked).
    EXPECT_GT(sentWhenTimerRan.load(), kWhenBSends);
    EXPECT_LT(sentWhenTimerRan.load(), kLongUnits / 2);
}

TEST(ServeTurns, ALockedGeneratorRefusesOtherClientsSettingsButAnswersTheirQueries) {
    TurnsRig rig;
    const lock::ClientId holder = rig.lock.join("VXI-11 link 1 from 127.0.0.1:1000");
    ASSERT_TRUE(rig.lock.take(holder));
    rig.start();
    auto a = rig.connect();
    asio::write(a, asio::buffer(std::string("FREQ 2e6;*RST\nFREQ?;:SYST:ERR?\n")));
    const std::string answer = readLine(a);
    EXPECT_EQ(answer.substr(0, answer.find(';')), "125000000");
    EXPECT_NE(answer.find("-203,\"Command protected;the generator is locked by another client "
                          "(VXI-11 link 1 from 127.0.0.1:1000)\""),
              std::string::npos)
        << answer;
    // Released (its holder gone), the same client's setting goes out.
    asio::post(rig.io, [&] { rig.lock.leave(holder); });
    asio::write(a, asio::buffer(std::string("FREQ 2e6;*OPC?\n")));
    EXPECT_EQ(readLine(a), "1");
    asio::post(rig.io, [&] { rig.server.close(); });
    rig.loop.join();
    ASSERT_EQ(rig.generator.sent.size(), 1U);
    EXPECT_EQ(frequencyOf(rig.generator.sent.front()), 2000000);
}

}  // namespace
}  // namespace tpg::test
