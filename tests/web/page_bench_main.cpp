// trelvix-pulse-cli serve over the demo's simulated bench, with the bench's
// first generator unplugged and plugged in again as standard input asks
// ("unplug", "plug", one a line): the browser test's bench, on which the
// page must empty and fill again. The requests are taken up by the serving
// thread at its next platform call, so the bench is only ever touched there.
#include <atomic>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/Commands.h"
#include "hid/sim/DemoBench.h"

namespace {

using namespace tpg::hid;

class Errno : public tpg::cli::SystemError {
  public:
    void clear() override { errno = 0; }
    std::string text() const override { return errno == 0 ? std::string() : std::strerror(errno); }
};

enum Request { None, Unplug, Plug };

class SwitchedBench : public HidPlatform {
  public:
    // One generator, so that serve takes it without --serial.
    SwitchedBench() {
        demo_.plugStartingGenerators();
        demo_.unplug(1);
    }
    void request(Request r) { pending_ = r; }

    Result listInterfaces(std::vector<std::string>& paths) override {
        apply();
        return bench_.listInterfaces(paths);
    }
    Handle open(const std::string& path, OpenMode mode, const SecurityAttributes& s) override {
        apply();
        return bench_.open(path, mode, s);
    }
    Result getAttributes(Handle h, Attributes& a) override {
        apply();
        return bench_.getAttributes(h, a);
    }
    Result getString(Handle h, StringKind k, std::span<std::uint8_t> b) override {
        apply();
        return bench_.getString(h, k, b);
    }
    Result getCapabilities(Handle h, Capabilities& c) override {
        apply();
        return bench_.getCapabilities(h, c);
    }
    Result setFeature(Handle h, std::span<const std::uint8_t> r) override {
        apply();
        return bench_.setFeature(h, r);
    }
    Result getFeature(Handle h, std::span<std::uint8_t> r) override {
        apply();
        return bench_.getFeature(h, r);
    }
    Handle createEvent(const SecurityAttributes& s) override { return bench_.createEvent(s); }
    Result readInputReport(Handle h, std::span<std::uint8_t> b, ReadOverlapped& o) override {
        apply();
        return bench_.readInputReport(h, b, o);
    }
    Result close(Handle h) override { return bench_.close(h); }

  private:
    void apply() {
        switch (pending_.exchange(None)) {
            case Unplug:
                if (demo_.isPlugged(0)) {
                    demo_.unplug(0);
                }
                break;
            case Plug:
                if (!demo_.isPlugged(0)) {
                    demo_.plug(0);
                }
                break;
            case None:
                break;
        }
    }

    sim::SimulatedBench bench_;
    sim::DemoBench demo_{bench_, sim::DemoBench::Maker::MarkedSimulated};
    std::atomic<Request> pending_{None};
};

}  // namespace

int main(int argc, char** argv) {
    SwitchedBench bench;
    std::thread([&bench] {
        std::string line;
        while (std::getline(std::cin, line)) {
            bench.request(line == "unplug" ? Unplug : line == "plug" ? Plug : None);
        }
    }).detach();
    Errno errors;
    std::istringstream nothing;
    return tpg::cli::run(std::vector<std::string>(argv + 1, argv + argc), bench, errors,
                         {nothing, std::cout, std::cerr});
}
