// A connection's error queue: first in, first out, 16 entries; when it is
// full the newest entry becomes -350 "Queue overflow" and further errors are
// dropped until one is read.
#pragma once

#include <cstddef>
#include <deque>
#include <optional>

#include "scpi/Errors.h"

namespace tpg::scpi {

class ErrorQueue {
  public:
    static constexpr std::size_t kCapacity = 16;

    // Adds an error; returns false when the queue was full (the error was
    // replaced by or dropped after -350).
    bool push(Error error);
    // The oldest error, taken out; nothing when the queue is empty.
    std::optional<Error> pop();
    std::size_t size() const { return entries_.size(); }
    void clear() { entries_.clear(); }

  private:
    std::deque<Error> entries_;
};

}  // namespace tpg::scpi
