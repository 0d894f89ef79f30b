#include "cli/SimulatedUnplug.h"

#include <csignal>
#include <ostream>

namespace tpg::cli {

#ifndef _WIN32

SimulatedUnplug::SimulatedUnplug(asio::io_context& io, SimulatedGenerators& generators,
                                 std::ostream& log)
    : signals_(io, SIGUSR1), generators_(generators), log_(log) {
    wait();
}

void SimulatedUnplug::cancel() {
    signals_.cancel();
}

void SimulatedUnplug::wait() {
    signals_.async_wait([this](std::error_code cancelled, int /*signal*/) {
        if (cancelled) {
            return;
        }
        const bool plugged = generators_.toggleShown();
        log_ << (plugged ? "simulated: plugged in " : "simulated: unplugged ")
             << generators_.shownSerial() << "\n"
             << std::flush;
        wait();
    });
}

#else

SimulatedUnplug::SimulatedUnplug(asio::io_context& /*io*/, SimulatedGenerators& generators,
                                 std::ostream& log)
    : generators_(generators), log_(log) {}

void SimulatedUnplug::cancel() {}

void SimulatedUnplug::wait() {}

#endif

}  // namespace tpg::cli
