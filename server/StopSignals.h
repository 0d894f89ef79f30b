// The ways a server is told to end: SIGINT and SIGTERM on Linux; Ctrl+C,
// Ctrl+Break, closing the console, logging off and shutting down on Windows.
// Each runs the stop action once on the io_context's thread. Windows ends a
// process soon after its console handler returns from a close, so the
// handler waits (up to five seconds) until finished() says that the device
// and the sockets are closed.
#pragma once

#include <functional>

#include <asio/io_context.hpp>
#ifndef _WIN32
#include <asio/signal_set.hpp>
#endif

namespace tpg::server {

class StopSignals {
  public:
    StopSignals(asio::io_context& io, std::function<void()> stop);
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;
    ~StopSignals();

    // No longer waits for a signal, so the io_context can run out of work.
    void cancel();
    // Everything is closed: a console close may let the process end.
    void finished();

  private:
#ifndef _WIN32
    asio::signal_set signals_;
#endif
    std::function<void()> stop_;
};

}  // namespace tpg::server
