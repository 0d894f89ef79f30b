#include "cli/ServedGenerator.h"

#include <ostream>
#include <utility>

#include "link/DeviceLink.h"

namespace tpg::cli {

ServedGenerator::ServedGenerator(hid::HidPlatform& platform, SystemError& errors,
                                 std::optional<std::string> serial, std::ostream& log)
    : checked_(platform, errors), session_(checked_), serial_(std::move(serial)), log_(log) {}

int ServedGenerator::tick() {
    if (open_) {
        if (!session_.monitor()) {
            lost();
        }
    } else {
        ensureOpen();
    }
    return open_ ? link::kLinkAliveInterval : link::kLinkLostInterval;
}

void ServedGenerator::close() {
    session_.close();
    open_ = false;
    taken_.reset();
}

std::optional<scpi::Identity> ServedGenerator::takenIdentity() {
    if (!open_) {
        return std::nullopt;
    }
    if (!taken_) {
        // A string that cannot be read stays empty, as in *IDN?.
        GeneratorIdentity identity;
        std::vector<PlatformFailure> unread;
        session_.readIdentityStrings(identity, unread);
        taken_ = scpi::Identity{identity.maker.value_or(""), identity.product.value_or(""),
                                identity.serial, identity.versionNumber};
    }
    return taken_;
}

bool ServedGenerator::ensureOpen() {
    if (open_) {
        return true;
    }
    session_.close();
    if (auto failure = session_.open(serial_)) {
        session_.close();
        if (failure->message != waitingFor_) {
            log_ << "waiting for a generator: " << failure->message << "\n" << std::flush;
            waitingFor_ = failure->message;
        }
        return false;
    }
    open_ = true;
    waitingFor_.clear();
    log_ << "serving the generator " << session_.identity().serial << " ("
         << session_.identity().path << ")\n"
         << std::flush;
    return true;
}

void ServedGenerator::lost() {
    log_ << "the generator " << session_.identity().serial << " is gone or does not answer\n"
         << std::flush;
    session_.close();
    open_ = false;
    taken_.reset();
}

template <typename Call>
std::optional<scpi::Fault> ServedGenerator::attempt(Call call) {
    if (!ensureOpen()) {
        return scpi::Fault{true, {}};
    }
    if (!call()) {
        return std::nullopt;
    }
    lost();
    if (!ensureOpen()) {
        return scpi::Fault{true, {}};
    }
    const auto failure = call();
    if (!failure) {
        return std::nullopt;
    }
    const auto& failures = checked_.failures();
    return scpi::Fault{false, failures.empty() ? failure->message : failures.back().describe()};
}

std::optional<scpi::Fault> ServedGenerator::identity(scpi::Identity& out) {
    GeneratorIdentity identity;
    // A string the generator does not have stays empty; neither string read
    // is a failed call (a generator gone, or not answering).
    const auto readStrings = [&]() -> std::optional<Failure> {
        std::vector<PlatformFailure> unread;
        session_.readIdentityStrings(identity, unread);
        if (unread.size() < 2) {
            return std::nullopt;
        }
        return Failure{kPlatformFailed,
                       "reading the maker and product failed: " + unread.back().describe()};
    };
    if (auto fault = attempt(readStrings)) {
        return fault;
    }
    out.maker = identity.maker.value_or("");
    out.product = identity.product.value_or("");
    out.serial = identity.serial;
    out.versionNumber = identity.versionNumber;
    return std::nullopt;
}

std::optional<scpi::Fault> ServedGenerator::readState(protocol::DeviceState& out) {
    return attempt([&] { return session_.readState(out); });
}

std::optional<scpi::Fault> ServedGenerator::send(const settings::SettingReport& report) {
    return attempt([&] { return session_.send({report}); });
}

}  // namespace tpg::cli
