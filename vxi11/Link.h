// One VXI-11 link: its own SCPI instrument over the served generator (seen
// through the generator's lock), the bytes written to it and the answers
// not yet read. Pure: the network loop decides when it runs (step) and
// when a call waits.
//
// A program message ends at a write with the END flag or at an LF, so that
// a client that sends several messages, or one long message without END,
// in one write is served as a socket client would be. A message longer
// than the limit is dropped up to its end, and the instrument told (-363).
// Answers wait for device_read up to a limit; past it the oldest unread
// answers are dropped, as a client that never reads must not grow the
// server.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

#include "lock/GeneratorLock.h"
#include "lock/LockedGenerator.h"
#include "scpi/Instrument.h"

namespace tpg::vxi11 {

struct LinkLimits {
    std::size_t maxMessageBytes = std::size_t{64} * 1024;
    std::size_t maxUnreadOutput = std::size_t{1024} * 1024;
    std::size_t maxQueuedMessages = 64;
};

class Link {
  public:
    // Joins the lock under name; leaves it (releasing it if held) when
    // destroyed.
    Link(scpi::Generator& served, lock::GeneratorLock& lock, std::string name,
         LinkLimits limits = {});
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;
    ~Link();

    lock::ClientId client() const { return client_; }

    // device_write's data: the messages it completes are queued to run.
    void write(std::string_view data, bool end);
    // Runs one step of the queued messages; true while work remains.
    bool step();
    // Messages queued or running.
    bool busy() const { return instrument_.running() || !messages_.empty(); }

    struct Read {
        std::string data;
        std::int32_t reason = 0;
    };
    // device_read: up to requestSize bytes of the answers (stopping after
    // termChar when given); nothing when no answer is waiting.
    std::optional<Read> read(std::size_t requestSize, std::optional<char> termChar);
    bool answerWaiting() const { return !output_.empty(); }

    std::uint8_t statusByte() const { return instrument_.statusByte(!output_.empty()); }

    // device_clear: input, queued messages and unread answers emptied; the
    // instrument waits for a new message.
    void clear();

  private:
    void queueMessage(std::string message);

    lock::GeneratorLock& lock_;
    lock::ClientId client_;
    lock::LockedGenerator generator_;
    scpi::Instrument instrument_;
    LinkLimits limits_;
    std::string input_;
    bool discarding_ = false;  // the message in input_ passed the limit
    std::deque<std::string> messages_;
    std::string output_;
};

}  // namespace tpg::vxi11
