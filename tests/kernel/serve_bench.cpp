// What one setting costs on a USB generator, measured in the test guest in
// one run, four ways: through trelvix-pulse-cli serve's socket (FREQ followed
// by *OPC?, one round trip over loopback each) and over VXI-11 (the same
// message by device_write, its answer by device_read: two round trips), in
// alternating rounds on one serve; trelvix-pulse-cli set as one process per
// setting; and a loop that holds the hidraw node open and sends the reports
// (the floor). Checks on the way that the server answered every *OPC? on
// both, that the last setting is the generator's, and that serve ends with
// status 0 on SIGINT. Prints "guest: bench: ..." lines; exits 1 when a check
// failed.
//   tpg_serve_bench SERIAL
#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/hidraw.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "Vxi11Client.h"
#include "protocol/FeatureReports.h"

namespace {

constexpr const char* kCli = "/bin/trelvix-pulse-cli";
constexpr int kReportLength = 65;
int failures = 0;

void check(bool holds, const std::string& what) {
    if (!holds) {
        std::printf("guest: bench: FAILED %s\n", what.c_str());
        ++failures;
    }
}

double millisecondsSince(std::chrono::steady_clock::time_point begin) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin)
        .count();
}

// Starts the command line with args; its standard output into *out when
// given.
pid_t start(const std::vector<std::string>& args, int* out = nullptr) {
    int pipeEnds[2] = {-1, -1};
    if (out != nullptr && pipe(pipeEnds) != 0) {
        return -1;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        if (out != nullptr) {
            dup2(pipeEnds[1], 1);
            close(pipeEnds[0]);
            close(pipeEnds[1]);
        }
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(kCli));
        for (const auto& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        execv(kCli, argv.data());
        _exit(127);
    }
    if (out != nullptr) {
        close(pipeEnds[1]);
        *out = pipeEnds[0];
    }
    return pid;
}

int finish(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string readLine(int fd) {
    std::string line;
    char c = 0;
    while (read(fd, &c, 1) == 1 && c != '\n') {
        line += c;
    }
    return line;
}

// The hidraw node of the generator, from list's fifth field.
std::string nodeOf(const std::string& serial) {
    int out = -1;
    const pid_t pid = start({"--serial", serial, "list"}, &out);
    const std::string line = readLine(out);
    close(out);
    finish(pid);
    const std::size_t tab = line.rfind('\t');
    return tab == std::string::npos ? std::string() : line.substr(tab + 1);
}

std::uint32_t frequency(int i) {
    return 1000000 + static_cast<std::uint32_t>(i) * 1000;
}

double floorPerSetting(const std::string& node, int settings) {
    const int fd = open(node.c_str(), O_RDWR);
    check(fd >= 0, "open " + node + ": " + std::strerror(errno));
    if (fd < 0) {
        return 0;
    }
    const auto begin = std::chrono::steady_clock::now();
    for (int i = 0; i < settings; ++i) {
        auto report =
            *tpg::protocol::buildCommand(tpg::protocol::ReportCommand::SetPulseFrequency,
                                         static_cast<std::int32_t>(frequency(i)), kReportLength);
        check(ioctl(fd, HIDIOCSFEATURE(kReportLength), report.data()) == kReportLength,
              "HIDIOCSFEATURE");
    }
    const double ms = millisecondsSince(begin) / settings;
    close(fd);
    return ms;
}

double processPerSetting(const std::string& serial, int settings) {
    const auto begin = std::chrono::steady_clock::now();
    for (int i = 0; i < settings; ++i) {
        const int status =
            finish(start({"--serial", serial, "set", "freq=" + std::to_string(frequency(i))}));
        check(status == 0, "trelvix-pulse-cli set exit status " + std::to_string(status));
    }
    return millisecondsSince(begin) / settings;
}

// The port after prefix at the start of line, or 0.
std::uint16_t portAfter(const std::string& line, const std::string& prefix) {
    check(line.starts_with(prefix), "serve said \"" + line + "\"");
    return line.starts_with(prefix)
               ? static_cast<std::uint16_t>(std::atoi(line.c_str() + prefix.size()))
               : 0;
}

struct Served {
    double socket = 0;  // ms per setting
    double vxi11 = 0;
};

// One serve, both protocols: rounds of settings through the socket and
// through VXI-11 in turn, so that a load on the host weighs on both alike.
Served servedPerSetting(const std::string& serial, int rounds, int perRound) {
    int out = -1;
    const pid_t server = start({"--serial", serial, "--listen", "127.0.0.1:0", "serve"}, &out);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(portAfter(readLine(out), "listening on 127.0.0.1:"));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const std::uint16_t corePort = portAfter(readLine(out), "VXI-11 core channel on 127.0.0.1:");
    const int client = socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    check(connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0, "connect");
    // One message and its answer, read as a client library reads: what
    // arrived, not a byte at a time.
    std::string received;
    const auto exchange = [&](const std::string& message) {
        const std::string line = message + "\n";
        check(write(client, line.data(), line.size()) == static_cast<ssize_t>(line.size()),
              "write");
        std::size_t end = 0;
        while ((end = received.find('\n')) == std::string::npos) {
            char buffer[256];
            const ssize_t got = read(client, buffer, sizeof buffer);
            if (got <= 0) {
                return std::string();
            }
            received.append(buffer, static_cast<std::size_t>(got));
        }
        std::string answer = received.substr(0, end);
        received.erase(0, end + 1);
        return answer;
    };
    // A VXI-11 link as a VISA library drives it: device_write of the
    // message with END, then device_read of its answer (two calls).
    std::optional<tpg::test::LinkClient> link;
    const auto linkExchange = [&](const std::string& message) {
        try {
            return link->write(message + "\n", false, 0) == 0 ? link->read() : std::string();
        } catch (const std::exception& failure) {
            check(false, std::string("VXI-11: ") + failure.what());
            return std::string();
        }
    };
    try {
        link.emplace(asio::ip::tcp::endpoint(asio::ip::address_v4::loopback(), corePort));
    } catch (const std::exception& failure) {
        check(false, std::string("VXI-11 create_link: ") + failure.what());
        close(client);
        kill(server, SIGINT);
        finish(server);
        close(out);
        return {};
    }
    check(exchange("*OPC?") == "1", "the first *OPC?");  // the generator is open
    check(linkExchange("*OPC?") == "1", "the first *OPC? over VXI-11");
    Served total;
    int answered = 0;
    int linkAnswered = 0;
    int i = 0;
    for (int round = 0; round < rounds; ++round) {
        auto begin = std::chrono::steady_clock::now();
        for (int k = 0; k < perRound; ++k, ++i) {
            answered += exchange("FREQ " + std::to_string(frequency(i)) + ";*OPC?") == "1" ? 1 : 0;
        }
        total.socket += millisecondsSince(begin);
        begin = std::chrono::steady_clock::now();
        for (int k = 0; k < perRound; ++k, ++i) {
            linkAnswered +=
                linkExchange("FREQ " + std::to_string(frequency(i)) + ";*OPC?") == "1" ? 1 : 0;
        }
        total.vxi11 += millisecondsSince(begin);
    }
    const int settings = rounds * perRound;
    check(answered == settings, std::to_string(answered) + " of the *OPC? answered");
    check(linkAnswered == settings,
          std::to_string(linkAnswered) + " of the *OPC? answered over VXI-11");
    const std::string last = std::to_string(frequency(i - 1)) + ";0,\"No error\"";
    check(exchange("FREQ?;:SYST:ERR?") == last, "the last setting read back");
    check(linkExchange("FREQ?;:SYST:ERR?") == last, "the last setting read back over VXI-11");
    link.reset();
    close(client);
    kill(server, SIGINT);
    check(finish(server) == 0, "serve's exit status after SIGINT");
    close(out);
    return {total.socket / settings, total.vxi11 / settings};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tpg_serve_bench SERIAL\n");
        return 2;
    }
    const std::string serial = argv[1];
    const std::string node = nodeOf(serial);
    check(node.starts_with("/dev/hidraw"), "the generator's node: \"" + node + "\"");
    constexpr int kLoopSettings = 500;
    constexpr int kRounds = 5;  // of 100 settings through each protocol, in turn
    constexpr int kProcesses = 10;
    const double floor = floorPerSetting(node, kLoopSettings);
    const Served served = servedPerSetting(serial, kRounds, kLoopSettings / kRounds);
    const double perProcess = processPerSetting(serial, kProcesses);
    std::printf("guest: bench: one setting on a USB generator (usbhid), this run:\n");
    std::printf("guest: bench:   device held open, reports in a loop (floor): %.3f ms (%d)\n",
                floor, kLoopSettings);
    std::printf(
        "guest: bench:   through serve, FREQ + *OPC? round trip: %.3f ms (%d), %.0f "
        "settings/s, %.2f times the floor\n",
        served.socket, kLoopSettings, 1000.0 / served.socket, served.socket / floor);
    std::printf(
        "guest: bench:   through serve over VXI-11, device_write + device_read: %.3f ms (%d), "
        "%.0f settings/s, %.2f times the floor, %.2f times the socket's\n",
        served.vxi11, kLoopSettings, 1000.0 / served.vxi11, served.vxi11 / floor,
        served.vxi11 / served.socket);
    std::printf(
        "guest: bench:   trelvix-pulse-cli set, a process each: %.1f ms (%d), %.0f "
        "times the server's\n",
        perProcess, kProcesses, perProcess / served.socket);
    return failures == 0 ? 0 : 1;
}
