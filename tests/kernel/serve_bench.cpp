// What one setting costs on a USB generator, measured in the test guest in
// one run, three ways: through trelvix-pulse-cli serve (FREQ followed by
// *OPC?, one round trip over loopback each), trelvix-pulse-cli set as one
// process per setting, and a loop that holds the hidraw node open and sends
// the reports (the floor). Checks on the way that the server answered every
// *OPC?, that the last setting is the generator's, and that serve ends with
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
#include <string>
#include <vector>

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

double serverPerSetting(const std::string& serial, int settings) {
    int out = -1;
    const pid_t server = start({"--serial", serial, "--listen", "127.0.0.1:0", "serve"}, &out);
    const std::string listening = readLine(out);
    const std::string prefix = "listening on 127.0.0.1:";
    check(listening.starts_with(prefix), "serve said \"" + listening + "\"");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port =
        htons(static_cast<std::uint16_t>(std::atoi(listening.c_str() + prefix.size())));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
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
    check(exchange("*OPC?") == "1", "the first *OPC?");  // the generator is open
    const auto begin = std::chrono::steady_clock::now();
    int answered = 0;
    for (int i = 0; i < settings; ++i) {
        answered += exchange("FREQ " + std::to_string(frequency(i)) + ";*OPC?") == "1" ? 1 : 0;
    }
    const double ms = millisecondsSince(begin) / settings;
    check(answered == settings, std::to_string(answered) + " of the *OPC? answered");
    check(
        exchange("FREQ?;:SYST:ERR?") == std::to_string(frequency(settings - 1)) + ";0,\"No error\"",
        "the last setting read back");
    close(client);
    kill(server, SIGINT);
    check(finish(server) == 0, "serve's exit status after SIGINT");
    close(out);
    return ms;
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
    constexpr int kProcesses = 10;
    const double floor = floorPerSetting(node, kLoopSettings);
    const double served = serverPerSetting(serial, kLoopSettings);
    const double perProcess = processPerSetting(serial, kProcesses);
    std::printf("guest: bench: one setting on a USB generator (usbhid), this run:\n");
    std::printf("guest: bench:   device held open, reports in a loop (floor): %.3f ms (%d)\n",
                floor, kLoopSettings);
    std::printf(
        "guest: bench:   through serve, FREQ + *OPC? round trip: %.3f ms (%d), %.0f "
        "settings/s, %.2f times the floor\n",
        served, kLoopSettings, 1000.0 / served, served / floor);
    std::printf(
        "guest: bench:   trelvix-pulse-cli set, a process each: %.1f ms (%d), %.0f "
        "times the server's\n",
        perProcess, kProcesses, perProcess / served);
    return failures == 0 ? 0 : 1;
}
