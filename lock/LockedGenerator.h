// One client's view of the served generator: what it reads passes through;
// a setting is refused, and nothing sent, while another client holds the
// generator's lock.
#pragma once

#include "lock/GeneratorLock.h"
#include "scpi/Generator.h"

namespace tpg::lock {

class LockedGenerator : public scpi::Generator {
  public:
    LockedGenerator(scpi::Generator& served, GeneratorLock& lock, ClientId client)
        : served_(served), lock_(lock), client_(client) {}

    std::optional<scpi::Fault> identity(scpi::Identity& out) override {
        return served_.identity(out);
    }
    std::optional<scpi::Fault> readState(protocol::DeviceState& out) override {
        return served_.readState(out);
    }
    std::optional<scpi::Fault> send(const settings::SettingReport& report) override {
        if (lock_.lockedAgainst(client_)) {
            return scpi::Fault{false, lock_.refusal(), true};
        }
        return served_.send(report);
    }
    bool isOpen() const override { return served_.isOpen(); }

  private:
    scpi::Generator& served_;
    GeneratorLock& lock_;
    ClientId client_;
};

}  // namespace tpg::lock
