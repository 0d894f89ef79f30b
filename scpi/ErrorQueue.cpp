#include "scpi/ErrorQueue.h"

#include <utility>

namespace tpg::scpi {

bool ErrorQueue::push(Error error) {
    if (entries_.size() < kCapacity) {
        entries_.push_back(std::move(error));
        return true;
    }
    if (entries_.back().code != ErrorCode::QueueOverflow) {
        entries_.back() = makeError(ErrorCode::QueueOverflow);
    }
    return false;
}

std::optional<Error> ErrorQueue::pop() {
    if (entries_.empty()) {
        return std::nullopt;
    }
    Error oldest = std::move(entries_.front());
    entries_.pop_front();
    return oldest;
}

}  // namespace tpg::scpi
