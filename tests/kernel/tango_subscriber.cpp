// A Tango client in the test guest, subscribed to the change events of a
// trelvix-pulse-tango device that serves the same uhid generator as
// trelvix-pulse-cli serve. It plugs the generator itself (the virtual
// generator program, started and stopped by this program) and checks, each
// within two polling periods: State turns ON when the generator appears; a
// frequency set through serve's socket reaches its Frequency subscription;
// State turns FAULT, with a Status naming the serial number awaited, when the
// generator is unplugged, and ON again when it returns, with no restart of
// the device server. Prints "guest: tango: ..." lines; exits 1 when a check
// failed.
//   tpg_tango_subscriber DEVICE_URL POLLING_MS SCPI_PORT SERIAL
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <tango.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
int failures = 0;

double millisecondsSince(Clock::time_point begin) {
    return std::chrono::duration<double, std::milli>(Clock::now() - begin).count();
}

void check(bool holds, const std::string& what) {
    std::printf("guest: tango: %s %s\n", holds ? "ok" : "FAILED", what.c_str());
    std::fflush(stdout);
    failures += holds ? 0 : 1;
}

// What the subscriptions delivered: every State and Frequency event in the
// order it came, each printed with its time since the start.
class Events : public Tango::CallBack {
  public:
    void push_event(Tango::EventData* event) override {
        const std::lock_guard<std::mutex> lock(mutex_);
        // The full name, lower-case, with the device's address and, without
        // a database, a "#dbase=no" after it.
        const std::string name = event->attr_name.substr(0, event->attr_name.find('#'));
        const auto slash = name.rfind('/');
        const std::string attribute = slash == std::string::npos ? name : name.substr(slash + 1);
        Seen seen;
        seen.attribute = attribute;
        seen.error = event->err || event->attr_value == nullptr;
        if (seen.error) {
            seen.reason = event->errors.length() > 0 ? event->errors[0].reason.in() : "error";
        } else if (attribute == "state") {
            Tango::DevState state{};
            *event->attr_value >> state;
            seen.value = static_cast<double>(state);
        } else {
            *event->attr_value >> seen.value;
        }
        std::string shown = seen.reason;
        if (!seen.error) {
            shown = attribute == "state" ? Tango::DevStateName[static_cast<int>(seen.value)]
                                         : std::to_string(std::llround(seen.value));
        }
        std::printf("guest: tango: event %s %s at %.0f ms\n", attribute.c_str(), shown.c_str(),
                    millisecondsSince(begin_));
        std::fflush(stdout);
        seen_.push_back(seen);
        changed_.notify_all();
    }

    // How many events came so far: a mark for await.
    std::size_t mark() {
        const std::lock_guard<std::mutex> lock(mutex_);
        return seen_.size();
    }

    // Waits up to limit for an event of the attribute with the value among
    // those that came after the mark; the milliseconds since start, or
    // nothing.
    std::optional<double> await(std::size_t mark, const std::string& attribute, double value,
                                Clock::time_point start, std::chrono::milliseconds limit) {
        std::unique_lock<std::mutex> lock(mutex_);
        const bool came = changed_.wait_for(lock, limit, [&] {
            for (std::size_t i = mark; i < seen_.size(); ++i) {
                if (!seen_[i].error && seen_[i].attribute == attribute && seen_[i].value == value) {
                    return true;
                }
            }
            return false;
        });
        return came ? std::optional<double>(millisecondsSince(start)) : std::nullopt;
    }

    int errors() {
        const std::lock_guard<std::mutex> lock(mutex_);
        int count = 0;
        for (const auto& seen : seen_) {
            count += seen.error ? 1 : 0;
        }
        return count;
    }

    double sinceStart() const { return millisecondsSince(begin_); }

  private:
    struct Seen {
        std::string attribute;
        bool error = false;
        std::string reason;
        double value = 0;
    };

    const Clock::time_point begin_ = Clock::now();
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Seen> seen_;
};

// The virtual generator program with the serial number, through uhid.
pid_t plug(const std::string& serial) {
    const pid_t pid = fork();
    if (pid == 0) {
        execl("/bin/trelvix-pulse-virtual", "trelvix-pulse-virtual", serial.c_str(), nullptr);
        _exit(127);
    }
    return pid;
}

bool unplug(pid_t pid) {
    int status = 0;
    return kill(pid, SIGTERM) == 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

// Sends one line to serve's socket on loopback and returns its answer line.
std::string ask(int port, const std::string& line) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        return "(no socket)";
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const timeval limit{.tv_sec = 10, .tv_usec = 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    std::string answer = "(no connection)";
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        const std::string message = line + "\n";
        answer.clear();
        char c = 0;
        if (write(fd, message.data(), message.size()) == static_cast<ssize_t>(message.size())) {
            while (read(fd, &c, 1) == 1 && c != '\n') {
                answer += c;
            }
        }
    }
    close(fd);
    return answer;
}

// "in 123 ms", or "not at all".
std::string ms(std::optional<double> taken) {
    return taken ? "in " + std::to_string(std::lround(*taken)) + " ms" : "not at all";
}

// State's value in an event, as Events keeps it.
double stateValue(Tango::DevState state) {
    return static_cast<double>(state);
}

void scenario(Tango::DeviceProxy& device, Events& events, long pollingMs, int scpiPort,
              const std::string& serial) {
    const auto period = std::chrono::milliseconds(pollingMs);
    const double bound = 2.0 * static_cast<double>(pollingMs);
    const auto generous = 10 * period;
    // ZeroMQ joins a subscriber a moment after subscribe_event returns, and
    // an event pushed before that is lost to it: nothing changes until a
    // polling period has passed.
    auto mark = events.mark();
    auto start = Clock::now();
    const int stateId = device.subscribe_event("State", Tango::CHANGE_EVENT, &events);
    check(events.await(mark, "state", stateValue(Tango::FAULT), start, generous).has_value(),
          "State is FAULT before the generator is plugged");
    std::this_thread::sleep_for(period);

    mark = events.mark();
    start = Clock::now();
    pid_t generator = plug(serial);
    auto taken = events.await(mark, "state", stateValue(Tango::ON), start, generous);
    check(taken && *taken <= bound, "State turns ON once plugged " + ms(taken));

    const int frequencyId = device.subscribe_event("Frequency", Tango::CHANGE_EVENT, &events);
    std::this_thread::sleep_for(period);
    double before = 0;
    device.read_attribute("Frequency") >> before;
    const double wanted = before == 2000000 ? 3000000 : 2000000;
    mark = events.mark();
    start = Clock::now();
    const std::string answer =
        ask(scpiPort, "FREQ " + std::to_string(static_cast<long>(wanted)) + ";*OPC?");
    check(answer == "1", "serve takes the frequency (answer \"" + answer + "\")");
    taken = events.await(mark, "frequency", wanted, start, generous);
    check(taken && *taken <= bound,
          "the frequency set through serve reaches the subscriber " + ms(taken));

    mark = events.mark();
    start = Clock::now();
    check(unplug(generator), "the virtual generator ends on SIGTERM");
    taken = events.await(mark, "state", stateValue(Tango::FAULT), start, generous);
    check(taken && *taken <= bound, "State turns FAULT on the unplug " + ms(taken));
    const std::string status = device.status();
    check(status.find(serial) != std::string::npos,
          "the Status names the serial number awaited: \"" + status + "\"");

    mark = events.mark();
    start = Clock::now();
    generator = plug(serial);
    taken = events.await(mark, "state", stateValue(Tango::ON), start, generous);
    check(taken && *taken <= bound, "State turns ON when it returns " + ms(taken));
    check(device.state() == Tango::ON, "the device reads ON without a restart");
    unplug(generator);

    device.unsubscribe_event(frequencyId);
    device.unsubscribe_event(stateId);
    // Without a database, Tango 9.3's client and server name the server's
    // heartbeat differently: about ten seconds after the first
    // subscription the client reports API_EventTimeout for every
    // subscription and, re-subscribing, fails. The scenario ends before.
    const int errors = events.errors();
    check(errors == 0, "no event came as an error (" + std::to_string(errors) + ") in the " +
                           std::to_string(std::lround(events.sinceStart())) + " ms subscribed");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr,
                     "usage: tpg_tango_subscriber DEVICE_URL POLLING_MS SCPI_PORT SERIAL\n");
        return 2;
    }
    try {
        Tango::DeviceProxy device(argv[1]);
        Events events;
        scenario(device, events, std::stol(argv[2]), std::stoi(argv[3]), argv[4]);
    } catch (const Tango::DevFailed& failure) {
        std::printf("guest: tango: FAILED with Tango's error: %s\n",
                    failure.errors.length() > 0 ? failure.errors[0].desc.in() : "(none)");
        return 1;
    } catch (const std::exception& failure) {
        std::printf("guest: tango: FAILED: %s\n", failure.what());
        return 1;
    }
    return failures == 0 ? 0 : 1;
}
