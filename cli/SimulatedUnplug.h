// serve --simulate on Linux: SIGUSR1 unplugs the simulated generator served
// (the first of the demo's), and the next SIGUSR1 plugs it in again, so that
// a script (and the tests) can see how serve and its clients meet an
// unplug. Handled on serve's thread, like the monitor. Nothing on Windows.
#pragma once

#include <iosfwd>

#include <asio/io_context.hpp>
#ifndef _WIN32
#include <asio/signal_set.hpp>
#endif

#include "cli/SimulatedGenerators.h"

namespace tpg::cli {

class SimulatedUnplug {
  public:
    SimulatedUnplug(asio::io_context& io, SimulatedGenerators& generators, std::ostream& log);
    // No longer waits for the signal, so the io_context can run out of work.
    void cancel();

  private:
    void wait();

#ifndef _WIN32
    asio::signal_set signals_;
#endif
    SimulatedGenerators& generators_;
    std::ostream& log_;
};

}  // namespace tpg::cli
