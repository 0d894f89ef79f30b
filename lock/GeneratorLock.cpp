#include "lock/GeneratorLock.h"

#include <utility>
#include <vector>

namespace tpg::lock {

ClientId GeneratorLock::join(std::string name) {
    const ClientId client = next_++;
    names_.emplace(client, std::move(name));
    return client;
}

void GeneratorLock::leave(ClientId client) {
    names_.erase(client);
    if (holder_ == client && client != 0) {
        holder_ = 0;
        released();
    }
}

bool GeneratorLock::take(ClientId client) {
    if (client == 0 || lockedAgainst(client)) {
        return false;
    }
    holder_ = client;
    return true;
}

bool GeneratorLock::release(ClientId client) {
    if (client == 0 || holder_ != client) {
        return false;
    }
    holder_ = 0;
    released();
    return true;
}

std::string GeneratorLock::refusal() const {
    const auto name = names_.find(holder_);
    return "the generator is locked by another client" +
           (name == names_.end() || name->second.empty() ? std::string()
                                                         : " (" + name->second + ")");
}

std::size_t GeneratorLock::watch(Listener listener) {
    const std::size_t token = nextListener_++;
    listeners_.emplace(token, std::move(listener));
    return token;
}

void GeneratorLock::unwatch(std::size_t token) {
    listeners_.erase(token);
}

void GeneratorLock::released() {
    // A listener may take the lock, watch or unwatch: call a copy, and
    // skip those unwatched meanwhile.
    std::vector<std::pair<std::size_t, Listener>> listeners(listeners_.begin(), listeners_.end());
    for (auto& [token, listener] : listeners) {
        if (listeners_.count(token) != 0 && holder_ == 0) {
            listener();
        }
    }
}

}  // namespace tpg::lock
