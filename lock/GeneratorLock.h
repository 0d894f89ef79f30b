// One lock over the served generator, shared by every client of every
// protocol that serves it (the SCPI socket, VXI-11 links, the web page).
// While a client holds it, no other client may change the generator;
// queries still answer. A client that goes away gives it back. Pure: no
// sockets, no timers; a protocol that lets a client wait for the lock
// watches for releases and tries again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>

namespace tpg::lock {

// A client of the lock; 0 is nobody.
using ClientId = std::uint64_t;

class GeneratorLock {
  public:
    // A new client, named for the messages of those it locks out, e.g.
    // "VXI-11 link 3 from 127.0.0.1:40112". Ids are never given twice.
    ClientId join(std::string name);
    // The client is gone: the lock is released if it held it.
    void leave(ClientId client);

    // Takes the lock when it is free; true when the client holds it now
    // (also when it held it already).
    bool take(ClientId client);
    // Gives the lock back; false when the client did not hold it.
    bool release(ClientId client);

    ClientId holder() const { return holder_; }
    // True when another client holds the lock: a change from this client
    // must be refused.
    bool lockedAgainst(ClientId client) const { return holder_ != 0 && holder_ != client; }
    // The text a refused client is told, e.g. "the generator is locked by
    // another client (VXI-11 link 3 from 127.0.0.1:40112)".
    std::string refusal() const;

    // Listeners are called after every release (by release or leave), so
    // that clients waiting for the lock may try again.
    using Listener = std::function<void()>;
    std::size_t watch(Listener listener);
    void unwatch(std::size_t token);

  private:
    void released();

    std::map<ClientId, std::string> names_;
    ClientId next_ = 1;
    ClientId holder_ = 0;
    std::map<std::size_t, Listener> listeners_;
    std::size_t nextListener_ = 1;
};

}  // namespace tpg::lock
