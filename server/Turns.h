// Fair turns between the clients of every protocol served on one io_context:
// each client with work to do runs one step per turn, in the order they
// queued, and each turn is a handler of its own, so that reads, timers (the
// generator's monitor) and the stop signals run between any two steps. A
// client's long message thus costs the others at most one step per turn.
#pragma once

#include <deque>
#include <functional>

#include <asio/io_context.hpp>

namespace tpg::server {

class Turns {
  public:
    explicit Turns(asio::io_context& io) : io_(io) {}
    Turns(const Turns&) = delete;
    Turns& operator=(const Turns&) = delete;

    // Queues a client's work: step runs once a turn, after the steps queued
    // before it, and is queued again at the back for as long as it returns
    // true. A client queues itself once, while it has work.
    void queue(std::function<bool()> step);

    // Drops every queued step (the server is stopping).
    void clear() { queue_.clear(); }

  private:
    void post();
    void turn();

    asio::io_context& io_;
    std::deque<std::function<bool()>> queue_;
    bool posted_ = false;
};

}  // namespace tpg::server
