#include "server/Turns.h"

#include <utility>

#include <asio/post.hpp>

namespace tpg::server {

void Turns::queue(std::function<bool()> step) {
    queue_.push_back(std::move(step));
    post();
}

void Turns::post() {
    if (posted_ || queue_.empty()) {
        return;
    }
    posted_ = true;
    asio::post(io_, [this] { turn(); });
}

void Turns::turn() {
    posted_ = false;
    if (queue_.empty()) {
        return;
    }
    auto step = std::move(queue_.front());
    queue_.pop_front();
    if (step()) {
        queue_.push_back(std::move(step));
    }
    post();
}

}  // namespace tpg::server
