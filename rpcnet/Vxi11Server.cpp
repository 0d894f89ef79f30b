#include "rpcnet/Vxi11Server.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <ostream>
#include <utility>

#include "oncrpc/Rpc.h"
#include "vxi11/Messages.h"

namespace tpg::rpcnet {

using oncrpc::XdrReader;
namespace v = vxi11;

namespace {

constexpr std::size_t kMaxDeviceName = 256;

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

// device_abort, on a connection of its own so that it is heard while the
// core channel's call waits.
class Vxi11Server::AbortChannel : public RecordHandler {
  public:
    explicit AbortChannel(Vxi11Server& server) : server_(server) {}
    void opened(RecordConnection&) override {}
    void closed(RecordConnection&) override {}
    void record(RecordConnection& connection, std::string record) override {
        const std::array<oncrpc::ProgramVersions, 1> programs = {
            {{v::kAbortProgram, v::kVersion, v::kVersion}}};
        const auto screened = oncrpc::screenCall(record, programs);
        if (!screened.call) {
            connection.finish(screened.reply);
            return;
        }
        const auto& call = *screened.call;
        XdrReader in(call.arguments);
        std::int32_t link = 0;
        if (call.procedure == 0) {
            connection.finish(oncrpc::successReply(call.xid, {}));
        } else if (call.procedure != v::kDeviceAbort) {
            connection.finish(
                oncrpc::errorReply(call.xid, oncrpc::AcceptStat::ProcedureUnavailable));
        } else if (!v::decodeLink(in, link)) {
            connection.finish(oncrpc::errorReply(call.xid, oncrpc::AcceptStat::GarbageArguments));
        } else {
            connection.finish(oncrpc::successReply(call.xid, server_.abortLink(link)));
        }
    }

  private:
    Vxi11Server& server_;
};

Vxi11Server::Vxi11Server(asio::io_context& io, const asio::ip::address& address,
                         std::uint16_t corePort, scpi::Generator& served, lock::GeneratorLock& lock,
                         server::Turns& turns, std::vector<std::string> deviceNames,
                         std::ostream& log, Vxi11Limits limits)
    : io_(io),
      served_(served),
      lock_(lock),
      turns_(turns),
      deviceNames_(std::move(deviceNames)),
      log_(log),
      limits_(limits),
      abortHandler_(std::make_unique<AbortChannel>(*this)),
      core_(io, {address, corePort}, *this, log, "VXI-11",
            RecordLimits{limits.maxConnections, limits.maxRecvSize + std::size_t{1024}, 4}),
      abort_(io, {address, 0}, *abortHandler_, log, "VXI-11 abort channel",
             RecordLimits{limits.maxConnections, 1024, 2}) {
    lockWatch_ = lock_.watch([this] { poke(); });
}

Vxi11Server::~Vxi11Server() {
    *alive_ = false;
    lock_.unwatch(lockWatch_);
    try {
        close();
    } catch (...) {
        // Nothing more can be done for the clients of a server going away.
    }
}

void Vxi11Server::close() {
    core_.close();
    abort_.close();
    waiting_.clear();
    links_.clear();
}

void Vxi11Server::opened(RecordConnection&) {}

void Vxi11Server::closed(RecordConnection& connection) {
    waiting_.erase(&connection);
    std::vector<std::int32_t> owned;
    for (const auto& [id, entry] : links_) {
        if (entry.owner == &connection) {
            owned.push_back(id);
        }
    }
    for (const auto id : owned) {
        destroyLink(id);
    }
}

void Vxi11Server::record(RecordConnection& connection, std::string record) {
    const std::array<oncrpc::ProgramVersions, 1> programs = {
        {{v::kCoreProgram, v::kVersion, v::kVersion}}};
    const auto screened = oncrpc::screenCall(record, programs);
    if (!screened.call) {
        connection.finish(screened.reply);
        return;
    }
    const auto& call = *screened.call;
    if (auto reply = serve(connection, call.xid, call.procedure, call.arguments)) {
        connection.finish(std::move(reply));
    }
}

Vxi11Server::LinkEntry* Vxi11Server::linkOf(RecordConnection& connection, std::int32_t id) {
    const auto found = links_.find(id);
    if (found == links_.end() || found->second.owner != &connection) {
        return nullptr;
    }
    return &found->second;
}

// The reply to a call, or nothing when the call waits (its reply goes out
// later).
std::optional<std::string> Vxi11Server::serve(RecordConnection& connection, std::uint32_t xid,
                                              std::uint32_t procedure, std::string_view arguments) {
    XdrReader in(arguments);
    const auto garbage = oncrpc::errorReply(xid, oncrpc::AcceptStat::GarbageArguments);
    const auto ok = [xid](const std::string& results) {
        return oncrpc::successReply(xid, results);
    };
    switch (procedure) {
        case 0:
            return ok({});
        case v::kCreateLink:
            return createLink(connection, xid, in);
        case v::kDeviceWrite:
            return write(connection, xid, in);
        case v::kDeviceRead:
            return read(connection, xid, in);
        case v::kDeviceLock:
            return lockLink(connection, xid, in);
        case v::kDeviceReadStb:
        case v::kDeviceTrigger:
        case v::kDeviceClear:
        case v::kDeviceRemote:
        case v::kDeviceLocal: {
            v::GenericParms parms;
            if (!v::decodeGeneric(in, parms)) {
                return garbage;
            }
            LinkEntry* entry = linkOf(connection, parms.link);
            if (entry == nullptr) {
                return ok(procedure == v::kDeviceReadStb ? v::readStbReply(v::kInvalidLink, 0)
                                                         : v::errorOnly(v::kInvalidLink));
            }
            if (procedure == v::kDeviceReadStb) {
                return ok(v::readStbReply(v::kNoError, entry->link->statusByte()));
            }
            if (lock_.lockedAgainst(entry->link->client())) {
                return ok(v::errorOnly(v::kLockedByAnother));
            }
            if (procedure == v::kDeviceTrigger) {
                return ok(v::errorOnly(v::kNotSupported));  // no trigger to give
            }
            if (procedure == v::kDeviceClear) {
                entry->link->clear();
                poke();
            }
            return ok(v::errorOnly(v::kNoError));
        }
        case v::kDeviceUnlock:
        case v::kDestroyLink: {
            std::int32_t id = 0;
            if (!v::decodeLink(in, id)) {
                return garbage;
            }
            LinkEntry* entry = linkOf(connection, id);
            if (entry == nullptr) {
                return ok(v::errorOnly(v::kInvalidLink));
            }
            if (procedure == v::kDestroyLink) {
                destroyLink(id);
                return ok(v::errorOnly(v::kNoError));
            }
            return ok(
                v::errorOnly(lock_.release(entry->link->client()) ? v::kNoError : v::kNoLockHeld));
        }
        case v::kDeviceEnableSrq: {
            std::int32_t id = 0;
            bool enable = false;
            if (!v::decodeLink(in, id) || !in.boolean(enable) || !in.skipOpaque(40)) {
                return garbage;
            }
            // Accepted; without an interrupt channel no SRQ is ever sent.
            return ok(v::errorOnly(linkOf(connection, id) ? v::kNoError : v::kInvalidLink));
        }
        case v::kDeviceDoCmd:
            return ok(v::errorOnly(v::kNotSupported));  // no bus commands behind this device
        case v::kCreateIntrChan:
        case v::kDestroyIntrChan:
            return ok(v::errorOnly(v::kChannelNotEstablished));  // service requests not sent
        default:
            return oncrpc::errorReply(xid, oncrpc::AcceptStat::ProcedureUnavailable);
    }
}

std::optional<std::string> Vxi11Server::createLink(RecordConnection& connection, std::uint32_t xid,
                                                   XdrReader& in) {
    v::CreateLinkParms parms;
    if (!v::decode(in, parms, kMaxDeviceName)) {
        return oncrpc::errorReply(xid, oncrpc::AcceptStat::GarbageArguments);
    }
    const auto results = [this](std::int32_t error, std::int32_t id) {
        return v::createLinkReply(error, id, abortPort(), limits_.maxRecvSize);
    };
    const auto reply = [xid, results](std::int32_t error, std::int32_t id) {
        return oncrpc::successReply(xid, results(error, id));
    };
    if (std::none_of(deviceNames_.begin(), deviceNames_.end(),
                     [&](const std::string& name) { return sameName(name, parms.device); })) {
        return reply(v::kDeviceNotAccessible, 0);
    }
    const auto owned = std::count_if(links_.begin(), links_.end(), [&](const auto& entry) {
        return entry.second.owner == &connection;
    });
    if (links_.size() >= limits_.maxLinks ||
        static_cast<std::size_t>(owned) >= limits_.maxLinksPerConnection) {
        return reply(v::kOutOfResources, 0);
    }
    const std::int32_t id = nextLink_++;
    const std::string name = "VXI-11 link " + std::to_string(id) + " from " + connection.peer();
    auto& entry = links_[id];
    entry.link = std::make_unique<v::Link>(served_, lock_, name, limits_.link);
    entry.owner = &connection;
    log_ << name << " created\n";
    if (!parms.lockDevice) {
        return reply(v::kNoError, id);
    }
    const auto client = entry.link->client();
    Waiting waiting;
    waiting.xid = xid;
    waiting.link = id;
    waiting.timeoutError = v::kLockedByAnother;
    waiting.attempt = [this, client, results, id]() -> std::optional<std::string> {
        if (!lock_.take(client)) {
            return std::nullopt;
        }
        return results(v::kNoError, id);
    };
    waiting.fail = [this, results, id](std::int32_t error) {
        destroyLink(id);
        return results(error, 0);
    };
    return wait(connection, std::move(waiting), parms.lockTimeout);
}

std::optional<std::string> Vxi11Server::write(RecordConnection& connection, std::uint32_t xid,
                                              XdrReader& in) {
    v::WriteParms parms;
    if (!v::decode(in, parms, limits_.maxRecvSize)) {
        return oncrpc::errorReply(xid, oncrpc::AcceptStat::GarbageArguments);
    }
    LinkEntry* entry = linkOf(connection, parms.link);
    if (entry == nullptr) {
        return oncrpc::successReply(xid, v::writeReply(v::kInvalidLink, 0));
    }
    const std::int32_t id = parms.link;
    const auto size = static_cast<std::uint32_t>(parms.data.size());
    const bool end = (parms.flags & v::kFlagEnd) != 0;
    // Once the lock allows, the data is taken and the call answered when
    // its messages have run.
    auto accepted = std::make_shared<bool>(false);
    Waiting waiting;
    waiting.xid = xid;
    waiting.link = id;
    waiting.timeoutError = v::kLockedByAnother;
    waiting.attempt = [this, id, size, end, accepted,
                       data = std::move(parms.data)]() -> std::optional<std::string> {
        auto& link = *links_.at(id).link;
        if (!*accepted) {
            if (lock_.lockedAgainst(link.client())) {
                return std::nullopt;
            }
            *accepted = true;
            link.write(data, end);
            schedule(id);
        }
        if (link.busy()) {
            return std::nullopt;
        }
        return v::writeReply(v::kNoError, size);
    };
    waiting.fail = [accepted](std::int32_t error) { return v::writeReply(error, 0); };
    // Waits for the lock only when asked to; a write taken runs to its end.
    const bool waitLock = (parms.flags & v::kFlagWaitLock) != 0;
    if (!waitLock && lock_.lockedAgainst(entry->link->client())) {
        return oncrpc::successReply(xid, v::writeReply(v::kLockedByAnother, 0));
    }
    auto result = wait(connection, std::move(waiting), std::nullopt);
    if (!result && !*accepted) {
        // Waiting for the lock: bounded by lock_timeout.
        auto& waiter = waiting_.at(&connection);
        waiter.abortable = true;
        waiter.timer = std::make_unique<asio::steady_timer>(io_);
        waiter.timer->expires_after(std::chrono::milliseconds(parms.lockTimeout));
        waiter.timer->async_wait(
            [this, conn = &connection, accepted, alive = alive_](std::error_code error) {
                if (error || !*alive || *accepted) {
                    return;  // the write was taken: it is answered when it has run
                }
                const auto found = waiting_.find(conn);
                if (found != waiting_.end()) {
                    finishWaiting(conn, found->second.fail(found->second.timeoutError));
                }
            });
    }
    return result;
}

std::optional<std::string> Vxi11Server::read(RecordConnection& connection, std::uint32_t xid,
                                             XdrReader& in) {
    v::ReadParms parms;
    if (!v::decode(in, parms)) {
        return oncrpc::errorReply(xid, oncrpc::AcceptStat::GarbageArguments);
    }
    if (linkOf(connection, parms.link) == nullptr) {
        return oncrpc::successReply(xid, v::readReply(v::kInvalidLink, 0, {}));
    }
    const std::int32_t id = parms.link;
    const std::size_t size = std::min<std::size_t>(parms.requestSize, limits_.maxRecvSize);
    const std::optional<char> termChar =
        (parms.flags & v::kFlagTermChar) != 0 ? std::optional<char>(parms.termChar) : std::nullopt;
    Waiting waiting;
    waiting.xid = xid;
    waiting.link = id;
    waiting.abortable = true;
    waiting.timeoutError = v::kIoTimeout;
    waiting.attempt = [this, id, size, termChar]() -> std::optional<std::string> {
        auto read = links_.at(id).link->read(size, termChar);
        if (!read) {
            return std::nullopt;
        }
        return v::readReply(v::kNoError, read->reason, read->data);
    };
    waiting.fail = [](std::int32_t error) { return v::readReply(error, 0, {}); };
    return wait(connection, std::move(waiting), parms.ioTimeout);
}

std::optional<std::string> Vxi11Server::lockLink(RecordConnection& connection, std::uint32_t xid,
                                                 XdrReader& in) {
    v::GenericParms parms;
    if (!v::decodeLock(in, parms)) {
        return oncrpc::errorReply(xid, oncrpc::AcceptStat::GarbageArguments);
    }
    LinkEntry* entry = linkOf(connection, parms.link);
    if (entry == nullptr) {
        return oncrpc::successReply(xid, v::errorOnly(v::kInvalidLink));
    }
    const auto client = entry->link->client();
    Waiting waiting;
    waiting.xid = xid;
    waiting.link = parms.link;
    waiting.abortable = true;
    waiting.timeoutError = v::kLockedByAnother;
    waiting.attempt = [this, client]() -> std::optional<std::string> {
        if (!lock_.take(client)) {
            return std::nullopt;
        }
        return v::errorOnly(v::kNoError);
    };
    waiting.fail = [](std::int32_t error) { return v::errorOnly(error); };
    const bool waitLock = (parms.flags & v::kFlagWaitLock) != 0;
    return wait(connection, std::move(waiting), waitLock ? parms.lockTimeout : std::uint32_t{0});
}

std::optional<std::string> Vxi11Server::wait(RecordConnection& connection, Waiting waiting,
                                             std::optional<std::uint32_t> timeout) {
    if (auto results = waiting.attempt()) {
        return oncrpc::successReply(waiting.xid, *results);
    }
    if (timeout && *timeout == 0) {
        return oncrpc::successReply(waiting.xid, waiting.fail(waiting.timeoutError));
    }
    auto& stored = waiting_[&connection];
    stored = std::move(waiting);
    if (timeout) {
        stored.timer = std::make_unique<asio::steady_timer>(io_);
        stored.timer->expires_after(std::chrono::milliseconds(*timeout));
        stored.timer->async_wait([this, conn = &connection, alive = alive_](std::error_code error) {
            if (error || !*alive) {
                return;
            }
            const auto found = waiting_.find(conn);
            if (found != waiting_.end()) {
                finishWaiting(conn, found->second.fail(found->second.timeoutError));
            }
        });
    }
    return std::nullopt;
}

void Vxi11Server::finishWaiting(RecordConnection* connection, const std::string& results) {
    const auto found = waiting_.find(connection);
    if (found == waiting_.end()) {
        return;
    }
    const std::uint32_t xid = found->second.xid;
    waiting_.erase(found);  // cancels its timer
    connection->finish(oncrpc::successReply(xid, results));
}

void Vxi11Server::poke() {
    if (pokePosted_) {
        return;
    }
    pokePosted_ = true;
    asio::post(io_, [this, alive = alive_] {
        if (!*alive) {
            return;
        }
        pokePosted_ = false;
        std::vector<RecordConnection*> connections;
        for (const auto& [connection, waiting] : waiting_) {
            connections.push_back(connection);
        }
        for (auto* connection : connections) {
            const auto found = waiting_.find(connection);
            if (found == waiting_.end()) {
                continue;
            }
            if (auto results = found->second.attempt()) {
                finishWaiting(connection, *results);
            }
        }
    });
}

void Vxi11Server::schedule(std::int32_t id) {
    auto& entry = links_.at(id);
    if (entry.queued) {
        return;
    }
    entry.queued = true;
    turns_.queue([this, id, alive = alive_]() -> bool {
        if (!*alive) {
            return false;
        }
        const auto found = links_.find(id);
        if (found == links_.end()) {
            return false;
        }
        const bool more = found->second.link->step();
        found->second.queued = more;
        poke();
        return more;
    });
}

void Vxi11Server::destroyLink(std::int32_t id) {
    const auto found = links_.find(id);
    if (found == links_.end()) {
        return;
    }
    log_ << "VXI-11 link " << id << " destroyed\n";
    links_.erase(found);  // leaves the lock: waiting links try again
    poke();
}

std::string Vxi11Server::abortLink(std::int32_t id) {
    if (links_.find(id) == links_.end()) {
        return v::errorOnly(v::kInvalidLink);
    }
    for (auto& [connection, waiting] : waiting_) {
        if (waiting.link == id && waiting.abortable) {
            auto* target = connection;
            finishWaiting(target, waiting.fail(v::kAborted));
            break;
        }
    }
    return v::errorOnly(v::kNoError);
}

}  // namespace tpg::rpcnet
