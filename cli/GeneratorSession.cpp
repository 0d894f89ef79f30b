#include "cli/GeneratorSession.h"

#include <array>

#include "link/DescriptorString.h"

namespace tpg::cli {
namespace {

const char* nameOf(protocol::ReportCommand command) {
    switch (command) {
        case protocol::ReportCommand::SetPulseFrequency:
            return "SetPulseFrequency";
        case protocol::ReportCommand::SetAmplitude:
            return "SetAmplitude";
        case protocol::ReportCommand::SetPolarity:
            return "SetPolarity";
        case protocol::ReportCommand::SetTriggerSyncFunction:
            return "SetTriggerSyncFunction";
        case protocol::ReportCommand::SetSyncFrequency:
            return "SetSyncFrequency";
    }
    return "?";
}

std::string describe(const std::optional<PlatformFailure>& failure) {
    return failure ? failure->describe() : std::string("the platform gave no reason");
}

std::string present(const std::vector<GeneratorIdentity>& generators) {
    std::string text;
    for (const auto& g : generators) {
        text += "\n  " + g.serial + "\t" + g.path;
    }
    return text;
}

}  // namespace

GeneratorSession::GeneratorSession(CheckedPlatform& platform)
    : platform_(platform), link_(platform, state_, *this) {}

GeneratorSession::~GeneratorSession() {
    close();
}

std::optional<std::string> GeneratorSession::readString(hid::StringKind kind, hid::Handle handle,
                                                        std::optional<PlatformFailure>& failure) {
    std::array<std::uint8_t, 2 * hid::kStringQueryBytes + 1> buffer{};
    platform_.forget();
    state_.lastResult = platform_.getString(handle, kind, buffer);
    if (state_.lastResult == 0) {
        failure = platform_.failureOf("getString");
        return std::nullopt;
    }
    return link::DescriptorStringToText(buffer);
}

void GeneratorSession::readMakerAndProduct(hid::Handle handle, GeneratorIdentity& identity,
                                           std::vector<PlatformFailure>& unreadStrings) {
    for (const auto kind : {hid::StringKind::Manufacturer, hid::StringKind::Product}) {
        std::optional<PlatformFailure> failure;
        auto text = readString(kind, handle, failure);
        if (failure) {
            unreadStrings.push_back(*failure);
        }
        (kind == hid::StringKind::Manufacturer ? identity.maker : identity.product) =
            std::move(text);
    }
}

std::optional<Failure> GeneratorSession::list(std::vector<GeneratorIdentity>& out, bool identities,
                                              std::vector<PlatformFailure>& unreadStrings) {
    out.clear();
    refused_.clear();
    platform_.forget();
    // The open that failed is the latest failure when the walk tells of it.
    const auto refused = [&](const std::string& path, bool accessDenied) {
        const auto failure = platform_.failureOf("open");
        refused_.push_back(
            {path, failure && failure->path == path ? failure->systemText : "", accessDenied});
    };
    link_.WalkHidInterfaces(
        [&](hid::Handle probe, const std::string& path, const std::string& serial) {
            GeneratorIdentity g;
            g.path = path;
            g.serial = serial;
            g.versionNumber = state_.attributes.versionNumber;
            if (identities) {
                readMakerAndProduct(probe, g, unreadStrings);
            }
            out.push_back(std::move(g));
            state_.lastResult = platform_.close(probe);
        },
        nullptr, refused);
    if (const auto failure = platform_.failureOf("listInterfaces")) {
        out.clear();
        refused_.clear();
        return Failure{kPlatformFailed,
                       "listing the HID interfaces failed: " + failure->describe()};
    }
    return std::nullopt;
}

std::optional<Failure> GeneratorSession::open(const std::optional<std::string>& serial) {
    std::vector<GeneratorIdentity> generators;
    std::vector<PlatformFailure> unused;
    if (auto failure = list(generators, false, unused)) {
        return failure;
    }
    if (serial) {
        bool found = false;
        for (const auto& g : generators) {
            found = found || g.serial == *serial;
        }
        if (!found) {
            std::string message = "no generator with the serial number \"" + *serial + "\"";
            if (!generators.empty()) {
                message += "; present are:" + present(generators);
            } else if (refused_.empty()) {
                message += "; none is present";
            }
            if (!refused_.empty()) {
                message += "; these could not be opened:" + refusalLines(refused_);
            }
            return Failure{kNoGenerator, message};
        }
        chosen_.serial = *serial;
    } else if (generators.empty()) {
        return Failure{kNoGenerator,
                       refused_.empty() ? std::string("no generator found")
                                        : "no generator could be opened:" + refusalLines(refused_)};
    } else if (generators.size() + refused_.size() > 1) {
        return Failure{kBadUsage, "several generators are present; choose one with --serial:" +
                                      present(generators) + refusalLines(refused_)};
    } else {
        chosen_.serial = generators.front().serial;
    }

    platform_.forget();
    state_.deviceAttached = link_.FindTheHid();
    if (const auto failure = platform_.failureOf("getCapabilities")) {
        return Failure{kPlatformFailed,
                       "reading the report lengths failed: " + failure->describe()};
    }
    if (!state_.deviceAttached) {
        return Failure{kNoGenerator, "the generator with the serial number \"" + chosen_.serial +
                                         "\" could not be opened; it may have been unplugged"};
    }
    identity_ = GeneratorIdentity{};
    identity_.path = platform_.pathOf(state_.deviceHandle);
    identity_.serial = chosen_.serial;
    identity_.versionNumber = state_.attributes.versionNumber;
    return std::nullopt;
}

void GeneratorSession::readIdentityStrings(GeneratorIdentity& identity,
                                           std::vector<PlatformFailure>& unreadStrings) {
    identity = identity_;
    readMakerAndProduct(state_.readHandle, identity, unreadStrings);
}

std::optional<Failure> GeneratorSession::readState(protocol::DeviceState& device) {
    const std::size_t length = state_.capabilities.featureReportByteLength;
    if (length < protocol::kStateReportLength) {
        return Failure{kPlatformFailed, "the generator's feature reports are " +
                                            std::to_string(length) +
                                            " bytes long, too short for the state report (" +
                                            std::to_string(protocol::kStateReportLength) + ")"};
    }
    std::vector<std::uint8_t> report(length, 0);
    platform_.forget();
    state_.lastResult = platform_.getFeature(state_.deviceHandle, report);
    if (state_.lastResult == 0) {
        return Failure{kPlatformFailed, "reading the state report failed: " +
                                            describe(platform_.failureOf("getFeature"))};
    }
    const auto received = static_cast<std::size_t>(state_.lastResult);
    const auto parsed = protocol::parseStateReport(std::span(report).first(received));
    if (!parsed) {
        return Failure{kPlatformFailed,
                       "reading the state report failed: the generator answered with " +
                           std::to_string(received) + " bytes, fewer than the " +
                           std::to_string(protocol::kStateReportLength) +
                           " that hold the settings"};
    }
    device = *parsed;
    return std::nullopt;
}

std::optional<Failure> GeneratorSession::send(const std::vector<settings::SettingReport>& reports) {
    const std::size_t length = state_.capabilities.featureReportByteLength;
    std::vector<std::vector<std::uint8_t>> built;
    for (const auto& r : reports) {
        auto bytes = protocol::buildCommand(r.command, r.value, length);
        if (!bytes) {
            return Failure{kPlatformFailed, "the generator's feature reports are " +
                                                std::to_string(length) +
                                                " bytes long, too short for " + nameOf(r.command) +
                                                "; nothing was sent"};
        }
        built.push_back(std::move(*bytes));
    }
    for (std::size_t i = 0; i < built.size(); ++i) {
        platform_.forget();
        state_.lastResult = platform_.setFeature(state_.deviceHandle, built[i]);
        if (state_.lastResult == 0) {
            return Failure{kPlatformFailed,
                           std::string("sending ") + nameOf(reports[i].command) + " (report " +
                               std::to_string(i + 1) + " of " + std::to_string(built.size()) +
                               ") failed: " + describe(platform_.failureOf("setFeature")) + "; " +
                               std::to_string(i) + " sent before it"};
        }
    }
    return std::nullopt;
}

bool GeneratorSession::monitor() {
    platform_.forget();
    link_.CheckConnection();
    if (state_.deviceAttached) {
        identity_.path = platform_.pathOf(state_.deviceHandle);
        identity_.versionNumber = state_.attributes.versionNumber;
    }
    return state_.deviceAttached;
}

void GeneratorSession::close() {
    link_.closeDevice();
    state_.deviceAttached = false;
    if (hid::isOpen(state_.readEvent)) {
        state_.lastResult = platform_.close(state_.readEvent);
        state_.readEvent = hid::kNoHandle;
    }
}

}  // namespace tpg::cli
