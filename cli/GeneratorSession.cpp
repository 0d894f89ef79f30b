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

std::optional<Failure> GeneratorSession::list(std::vector<GeneratorIdentity>& out, bool identities,
                                              std::vector<PlatformFailure>& unreadStrings) {
    out.clear();
    platform_.forget();
    link_.WalkHidInterfaces(
        [&](hid::Handle probe, const std::string& path, const std::string& serial) {
            GeneratorIdentity g;
            g.path = path;
            g.serial = serial;
            g.versionNumber = state_.attributes.versionNumber;
            if (identities) {
                for (const auto kind : {hid::StringKind::Manufacturer, hid::StringKind::Product}) {
                    std::optional<PlatformFailure> failure;
                    auto text = readString(kind, probe, failure);
                    if (failure) {
                        unreadStrings.push_back(*failure);
                    }
                    (kind == hid::StringKind::Manufacturer ? g.maker : g.product) = std::move(text);
                }
            }
            out.push_back(std::move(g));
            state_.lastResult = platform_.close(probe);
        },
        nullptr);
    if (const auto failure = platform_.failureOf("listInterfaces")) {
        out.clear();
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
            return Failure{kNoGenerator,
                           "no generator with the serial number \"" + *serial + "\"" +
                               (generators.empty() ? std::string("; none is present")
                                                   : "; present are:" + present(generators))};
        }
        chosen_.serial = *serial;
    } else if (generators.empty()) {
        return Failure{kNoGenerator, "no generator found"};
    } else if (generators.size() > 1) {
        return Failure{kBadUsage, "several generators are present; choose one with --serial:" +
                                      present(generators)};
    } else {
        chosen_.serial = generators.front().serial;
    }

    platform_.forget();
    state_.deviceAttached = link_.FindTheHid();
    if (!state_.deviceAttached) {
        return Failure{kNoGenerator, "the generator with the serial number \"" + chosen_.serial +
                                         "\" could not be opened; it may have been unplugged"};
    }
    if (const auto failure = platform_.failureOf("getCapabilities")) {
        return Failure{kPlatformFailed,
                       "reading the report lengths failed: " + failure->describe()};
    }
    identity_ = GeneratorIdentity{};
    identity_.path = platform_.pathOf(state_.deviceHandle);
    identity_.serial = chosen_.serial;
    identity_.versionNumber = state_.attributes.versionNumber;
    return std::nullopt;
}

std::optional<Failure> GeneratorSession::readIdentityStrings(GeneratorIdentity& identity) {
    identity = identity_;
    for (const auto kind : {hid::StringKind::Manufacturer, hid::StringKind::Product}) {
        std::optional<PlatformFailure> failure;
        auto text = readString(kind, state_.readHandle, failure);
        if (!text) {
            const char* which = kind == hid::StringKind::Manufacturer ? "maker" : "product";
            return Failure{kPlatformFailed,
                           std::string("reading the ") + which + " failed: " + describe(failure)};
        }
        (kind == hid::StringKind::Manufacturer ? identity.maker : identity.product) =
            std::move(text);
    }
    return std::nullopt;
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
    device = *protocol::parseStateReport(report);
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
