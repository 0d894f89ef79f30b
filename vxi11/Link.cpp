#include "vxi11/Link.h"

#include <algorithm>
#include <utility>

#include "vxi11/Messages.h"

namespace tpg::vxi11 {

Link::Link(scpi::Generator& served, lock::GeneratorLock& lock, std::string name, LinkLimits limits)
    : lock_(lock),
      client_(lock.join(std::move(name))),
      generator_(served, lock, client_),
      instrument_(generator_),
      limits_(limits) {}

Link::~Link() {
    lock_.leave(client_);
}

void Link::write(std::string_view data, bool end) {
    while (!data.empty()) {
        const auto lf = data.find('\n');
        const std::string_view part = data.substr(0, lf);
        if (!discarding_) {
            if (input_.size() + part.size() > limits_.maxMessageBytes) {
                discarding_ = true;
                input_.clear();
                instrument_.inputOverrun();
            } else {
                input_.append(part);
            }
        }
        if (lf == std::string_view::npos) {
            break;
        }
        data.remove_prefix(lf + 1);
        if (!discarding_) {
            queueMessage(std::move(input_));
        }
        input_.clear();
        discarding_ = false;
    }
    if (end) {
        if (!discarding_ && !input_.empty()) {
            queueMessage(std::move(input_));
        }
        input_.clear();
        discarding_ = false;
    }
}

void Link::queueMessage(std::string message) {
    if (messages_.size() >= limits_.maxQueuedMessages) {
        instrument_.inputOverrun();
        return;
    }
    messages_.push_back(std::move(message));
}

bool Link::step() {
    if (!instrument_.running()) {
        if (messages_.empty()) {
            return false;
        }
        instrument_.begin(messages_.front());
        messages_.pop_front();
    }
    if (auto response = instrument_.step()) {
        if (output_.size() + response->size() > limits_.maxUnreadOutput) {
            output_.clear();  // a client that does not read loses its oldest answers
        }
        output_.append(*response);
    }
    return busy();
}

std::optional<Link::Read> Link::read(std::size_t requestSize, std::optional<char> termChar) {
    if (output_.empty()) {
        return std::nullopt;
    }
    Read result;
    std::size_t size = std::min(std::max<std::size_t>(requestSize, 1), output_.size());
    if (termChar) {
        const auto at = output_.find(*termChar);
        if (at != std::string::npos && at < size) {
            size = at + 1;
            result.reason |= kReasonTermChar;
        }
    }
    result.data = output_.substr(0, size);
    output_.erase(0, size);
    if (output_.empty()) {
        result.reason |= kReasonEnd;
    } else if (result.reason == 0) {
        result.reason = kReasonRequestCount;
    }
    return result;
}

void Link::clear() {
    input_.clear();
    discarding_ = false;
    messages_.clear();
    output_.clear();
    instrument_.clear();
}

}  // namespace tpg::vxi11
