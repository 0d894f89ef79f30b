// VXI-11 on the network: the core channel (links, each its own SCPI
// instrument over the served generator) and the abort channel, on TCP
// record streams, on one thread with the other protocols' clients.
//
// A link's messages run through the shared Turns a step at a time, as the
// socket's do; device_write is answered once its messages have run. Calls
// that wait (a read for its answer up to io_timeout, a write or lock for
// the generator's lock up to lock_timeout) wait asynchronously: the other
// clients are served meanwhile, and device_abort on the abort channel ends
// the wait. The lock is the one GeneratorLock every protocol shares; a
// link's lock goes with the link, its connection, or its client.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <asio.hpp>

#include "lock/GeneratorLock.h"
#include "oncrpc/Xdr.h"
#include "rpcnet/RecordServer.h"
#include "scpi/Generator.h"
#include "server/Turns.h"
#include "vxi11/Link.h"

namespace tpg::rpcnet {

struct Vxi11Limits {
    std::size_t maxLinks = 32;
    std::size_t maxLinksPerConnection = 8;
    std::uint32_t maxRecvSize = 64 * 1024;  // a write's data, and a read's reply
    std::size_t maxConnections = 16;
    vxi11::LinkLimits link;
};

class Vxi11Server : private RecordHandler {
  public:
    // Listens for the core channel on address:corePort (0: any free port)
    // and for the abort channel on a free port of the same address; throws
    // asio::system_error when it cannot. deviceNames: the names
    // create_link accepts (compared without case), "inst0" first.
    Vxi11Server(asio::io_context& io, const asio::ip::address& address, std::uint16_t corePort,
                scpi::Generator& served, lock::GeneratorLock& lock, server::Turns& turns,
                std::vector<std::string> deviceNames, std::ostream& log, Vxi11Limits limits = {});
    Vxi11Server(const Vxi11Server&) = delete;
    Vxi11Server& operator=(const Vxi11Server&) = delete;
    ~Vxi11Server() override;

    std::uint16_t corePort() const { return core_.localEndpoint().port(); }
    std::uint16_t abortPort() const { return abort_.localEndpoint().port(); }
    std::size_t linkCount() const { return links_.size(); }
    std::size_t connectionCount() const { return core_.connectionCount(); }
    void close();

  private:
    struct LinkEntry {
        std::unique_ptr<vxi11::Link> link;
        RecordConnection* owner = nullptr;
        bool queued = false;  // in the turns
    };
    // A call that waits: attempt gives its reply once it can; fail gives
    // the reply with an error (the timeout's, or abort's).
    struct Waiting {
        std::uint32_t xid = 0;
        std::int32_t link = 0;
        bool abortable = false;
        std::int32_t timeoutError = 0;
        std::function<std::optional<std::string>()> attempt;
        std::function<std::string(std::int32_t)> fail;
        std::unique_ptr<asio::steady_timer> timer;
    };
    class AbortChannel;

    void opened(RecordConnection& connection) override;
    void record(RecordConnection& connection, std::string record) override;
    void closed(RecordConnection& connection) override;

    std::optional<std::string> serve(RecordConnection& connection, std::uint32_t xid,
                                     std::uint32_t procedure, std::string_view arguments);
    std::optional<std::string> createLink(RecordConnection& connection, std::uint32_t xid,
                                          oncrpc::XdrReader& in);
    std::optional<std::string> write(RecordConnection& connection, std::uint32_t xid,
                                     oncrpc::XdrReader& in);
    std::optional<std::string> read(RecordConnection& connection, std::uint32_t xid,
                                    oncrpc::XdrReader& in);
    std::optional<std::string> lockLink(RecordConnection& connection, std::uint32_t xid,
                                        oncrpc::XdrReader& in);
    // Waits for attempt up to timeout milliseconds (none: for as long as
    // it takes); the reply goes out when it is ready.
    std::optional<std::string> wait(RecordConnection& connection, Waiting waiting,
                                    std::optional<std::uint32_t> timeout);
    void finishWaiting(RecordConnection* connection, const std::string& results);
    // Tries the waiting calls again (after a release, a step, a clear).
    void poke();
    void schedule(std::int32_t id);
    LinkEntry* linkOf(RecordConnection& connection, std::int32_t id);
    void destroyLink(std::int32_t id);
    std::string abortLink(std::int32_t id);

    asio::io_context& io_;
    scpi::Generator& served_;
    lock::GeneratorLock& lock_;
    server::Turns& turns_;
    std::vector<std::string> deviceNames_;
    std::ostream& log_;
    Vxi11Limits limits_;
    std::unique_ptr<AbortChannel> abortHandler_;
    RecordServer core_;
    RecordServer abort_;
    std::map<std::int32_t, LinkEntry> links_;
    std::int32_t nextLink_ = 1;
    std::map<RecordConnection*, Waiting> waiting_;
    std::size_t lockWatch_ = 0;
    bool pokePosted_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace tpg::rpcnet
