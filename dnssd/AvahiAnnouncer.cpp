// The Linux backend: the Avahi daemon through its client library, on the
// library's own thread (a threaded poll), so that serve's network loop never
// waits on D-Bus. Every call from serve's thread takes the poll's lock; the
// callbacks run on the poll's thread with the lock held. The client is made
// with AVAHI_CLIENT_NO_FAIL: with no daemon it waits for one, and when the
// daemon goes away it is made afresh to wait for the next.

#include <ostream>
#include <utility>

#include <avahi-client/client.h>
#include <avahi-client/publish.h>
#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <avahi-common/strlst.h>
#include <avahi-common/thread-watch.h>

#include "dnssd/Announcer.h"

namespace tpg::dnssd {
namespace {

constexpr int kMaxRenames = 20;  // names tried for one announcement

class AvahiAnnouncer final : public Announcer {
  public:
    AvahiAnnouncer() {
        poll_ = avahi_threaded_poll_new();
        if (poll_ == nullptr) {
            news_.emplace_back("not announced on the network: no memory for the Avahi client");
            return;
        }
        connect();
        if (avahi_threaded_poll_start(poll_) < 0) {
            news_.emplace_back(
                "not announced on the network: the Avahi client's thread did not "
                "start");
            freeClient();
        }
    }
    AvahiAnnouncer(const AvahiAnnouncer&) = delete;
    AvahiAnnouncer& operator=(const AvahiAnnouncer&) = delete;

    ~AvahiAnnouncer() override {
        if (poll_ == nullptr) {
            return;
        }
        avahi_threaded_poll_stop(poll_);
        freeClient();  // the daemon takes back the client's services
        avahi_threaded_poll_free(poll_);
    }

    void announce(const ServiceSet& set) override {
        Lock lock(poll_);
        wanted_ = set;
        name_ = set.instanceName;
        renames_ = 0;
        publish();
    }

    void withdraw() override {
        Lock lock(poll_);
        wanted_.reset();
        publish();
    }

    void report(std::ostream& log) override {
        std::vector<std::string> news;
        {
            Lock lock(poll_);
            news.swap(news_);
        }
        for (const auto& line : news) {
            log << line << "\n";
        }
        if (!news.empty()) {
            log << std::flush;
        }
    }

  private:
    // The poll's lock, for calls from serve's thread.
    class Lock {
      public:
        explicit Lock(AvahiThreadedPoll* poll) : poll_(poll) {
            if (poll_ != nullptr) {
                avahi_threaded_poll_lock(poll_);
            }
        }
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;
        ~Lock() {
            if (poll_ != nullptr) {
                avahi_threaded_poll_unlock(poll_);
            }
        }

      private:
        AvahiThreadedPoll* poll_;
    };

    void connect() {
        int error = 0;
        client_ = avahi_client_new(avahi_threaded_poll_get(poll_), AVAHI_CLIENT_NO_FAIL,
                                   &AvahiAnnouncer::onClient, this, &error);
        if (client_ == nullptr) {
            news_.push_back(std::string("not announced on the network: no way to the Avahi "
                                        "daemon (") +
                            avahi_strerror(error) + ")");
        }
    }

    void freeClient() {
        if (client_ != nullptr) {
            avahi_client_free(client_);  // frees the group too
        }
        client_ = nullptr;
        group_ = nullptr;
    }

    static void onClient(AvahiClient* client, AvahiClientState state, void* self) {
        static_cast<AvahiAnnouncer*>(self)->clientState(client, state);
    }

    void clientState(AvahiClient* client, AvahiClientState state) {
        client_ = client;  // the first call comes before avahi_client_new returns
        switch (state) {
            case AVAHI_CLIENT_S_RUNNING:
                if (missing_) {
                    news_.emplace_back("avahi-daemon is running: announcing on the network");
                    missing_ = false;
                }
                publish();
                break;
            case AVAHI_CLIENT_S_COLLISION:
            case AVAHI_CLIENT_S_REGISTERING:
                // The host name is being chosen again: the records wait.
                if (group_ != nullptr) {
                    avahi_entry_group_reset(group_);
                }
                break;
            case AVAHI_CLIENT_CONNECTING:
                tellMissing();
                break;
            case AVAHI_CLIENT_FAILURE: {
                const int error = avahi_client_errno(client);
                tellMissing();
                // The daemon (or the bus) went away; a new client waits
                // for it to return.
                freeClient();
                if (error == AVAHI_ERR_DISCONNECTED) {
                    connect();
                } else {
                    news_.push_back(std::string("not announced on the network: ") +
                                    avahi_strerror(error));
                }
                break;
            }
        }
    }

    void tellMissing() {
        group_ = nullptr;
        if (!missing_ && !toldMissing_) {
            news_.emplace_back(
                "not announced on the network: avahi-daemon is not running "
                "(serving on; announced once it runs)");
            toldMissing_ = true;
        }
        missing_ = true;
    }

    static void onGroup(AvahiEntryGroup* group, AvahiEntryGroupState state, void* self) {
        static_cast<AvahiAnnouncer*>(self)->groupState(group, state);
    }

    void groupState(AvahiEntryGroup* group, AvahiEntryGroupState state) {
        if (group != group_) {
            return;
        }
        switch (state) {
            case AVAHI_ENTRY_GROUP_ESTABLISHED:
                news_.push_back("announced on the network as \"" + name_ + "\"");
                break;
            case AVAHI_ENTRY_GROUP_COLLISION:
                rename();
                publish();
                break;
            case AVAHI_ENTRY_GROUP_FAILURE:
                news_.push_back(std::string("not announced on the network: ") +
                                avahi_strerror(avahi_client_errno(client_)));
                break;
            case AVAHI_ENTRY_GROUP_UNCOMMITED:
            case AVAHI_ENTRY_GROUP_REGISTERING:
                break;
        }
    }

    // Another instance on the network has the name: the next of
    // "NAME #2", "NAME #3"... (Avahi keeps it within one label).
    void rename() {
        char* next = avahi_alternative_service_name(name_.c_str());
        news_.push_back("the name \"" + name_ + "\" is taken on the network; trying \"" + next +
                        "\"");
        name_ = next;
        avahi_free(next);
        ++renames_;
    }

    // Makes the daemon's records those of wanted_ (none when withdrawn).
    void publish() {
        if (client_ == nullptr || avahi_client_get_state(client_) != AVAHI_CLIENT_S_RUNNING) {
            return;  // published when the client runs
        }
        if (!wanted_) {
            if (group_ != nullptr) {
                avahi_entry_group_reset(group_);
            }
            return;
        }
        if (group_ == nullptr) {
            group_ = avahi_entry_group_new(client_, &AvahiAnnouncer::onGroup, this);
            if (group_ == nullptr) {
                fail("avahi_entry_group_new");
                return;
            }
        }
        AvahiStringList* txt = nullptr;
        for (auto entry = wanted_->txt.rbegin(); entry != wanted_->txt.rend(); ++entry) {
            txt = avahi_string_list_add(txt, entry->c_str());  // adds in front
        }
        int result = AVAHI_ERR_COLLISION;
        while (result == AVAHI_ERR_COLLISION && renames_ <= kMaxRenames) {
            avahi_entry_group_reset(group_);
            result = AVAHI_OK;
            for (const auto& service : wanted_->services) {
                result = avahi_entry_group_add_service_strlst(
                    group_, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, AvahiPublishFlags{}, name_.c_str(),
                    service.type.c_str(), nullptr, nullptr, service.port, txt);
                if (result < 0) {
                    break;
                }
            }
            if (result == AVAHI_ERR_COLLISION) {
                rename();
            }
        }
        avahi_string_list_free(txt);
        if (result < 0) {
            avahi_entry_group_reset(group_);
            fail("adding the services");
            return;
        }
        if (avahi_entry_group_commit(group_) < 0) {
            fail("avahi_entry_group_commit");
        }
    }

    void fail(const char* what) {
        news_.push_back(std::string("not announced on the network: ") + what + ": " +
                        avahi_strerror(avahi_client_errno(client_)));
    }

    AvahiThreadedPoll* poll_ = nullptr;
    AvahiClient* client_ = nullptr;
    AvahiEntryGroup* group_ = nullptr;
    std::optional<ServiceSet> wanted_;
    std::string name_;  // the instance name in use, after any rename
    int renames_ = 0;
    bool missing_ = false;      // the daemon is not there now
    bool toldMissing_ = false;  // said once per run
    std::vector<std::string> news_;
};

}  // namespace

std::unique_ptr<Announcer> systemAnnouncer() {
    return std::make_unique<AvahiAnnouncer>();
}

}  // namespace tpg::dnssd
