#include "cli/Commands.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/Arguments.h"
#include "cli/GeneratorSession.h"
#include "cli/Serve.h"
#include "cli/SettingValues.h"
#include "cli/SetupFile.h"
#include "cli/SimulatedGenerators.h"

#ifndef TPG_VERSION_TEXT
#define TPG_VERSION_TEXT "unknown"
#endif

namespace tpg::cli {
namespace {

constexpr const char* kProgram = "trelvix-pulse-cli";

int fail(Streams& io, const Failure& failure) {
    io.err << kProgram << ": " << failure.message << "\n";
    return failure.status;
}

// A command line that could not be read: the reason and where help is.
int badUsage(Streams& io, const std::string& error) {
    io.err << kProgram << ": " << error << "\nTry '" << kProgram << " --help'.\n";
    return kBadUsage;
}

// The file apply reads (UTF-8 name), or standard input for "-".
bool readInput(const std::string& name, std::istream& in, std::string& text, std::string& error) {
    std::ostringstream contents;
    if (name == "-") {
        contents << in.rdbuf();
    } else {
        const std::u8string utf8(name.begin(), name.end());
        errno = 0;
        std::ifstream file(std::filesystem::path(utf8), std::ios::binary);
        if (!file) {
            // The C library's open under the stream tells why, on both platforms.
            error = "cannot read \"" + name + "\"";
            if (errno != 0) {
                error += std::string(": ") + std::strerror(errno);
            }
            return false;
        }
        contents << file.rdbuf();
    }
    text = contents.str();
    return true;
}

// A string a generator does not give is shown as missing; the rest is shown
// all the same, with a warning.
void warnUnread(Streams& io, const std::vector<PlatformFailure>& unread) {
    for (const auto& failure : unread) {
        io.err << kProgram << ": warning: reading a string failed: " << failure.describe() << "\n";
    }
}

int list(const Invocation& in, GeneratorSession& session, Streams& io) {
    std::vector<GeneratorIdentity> generators;
    std::vector<PlatformFailure> unread;
    if (auto failure = session.list(generators, true, unread)) {
        return fail(io, *failure);
    }
    if (in.serial) {
        std::erase_if(generators, [&](const auto& g) { return g.serial != *in.serial; });
        std::erase_if(unread, [&](const PlatformFailure& f) {
            return std::none_of(generators.begin(), generators.end(),
                                [&](const auto& g) { return g.path == f.path; });
        });
    }
    // A generator seen but not opened may have any serial: it stays listed.
    const auto& refused = session.refused();
    if (in.json) {
        io.out << toJson(listJson(generators, refused)) << "\n";
    } else {
        io.out << listText(generators);
    }
    if (generators.empty()) {
        std::string message = in.serial
                                  ? "no generator with the serial number \"" + *in.serial + "\""
                                  : std::string("no generator found");
        if (!refused.empty()) {
            message += "; these could not be opened:" + refusalLines(refused);
        }
        return fail(io, {kNoGenerator, message});
    }
    if (!refused.empty()) {
        io.err << kProgram << ": these generators could not be opened:" << refusalLines(refused)
               << "\n";
    }
    warnUnread(io, unread);
    return kDone;
}

int show(const Invocation& in, GeneratorSession& session, Streams& io) {
    if (auto failure = session.open(in.serial)) {
        return fail(io, *failure);
    }
    GeneratorIdentity identity;
    protocol::DeviceState device;
    std::vector<PlatformFailure> unread;
    session.readIdentityStrings(identity, unread);
    if (auto failure = session.readState(device)) {
        return fail(io, *failure);
    }
    if (in.json) {
        io.out << toJson(showJson(identity, device)) << "\n";
    } else {
        io.out << showText(identity, device);
    }
    warnUnread(io, unread);
    return kDone;
}

// Sends reports that were all checked before, to the generator chosen.
int sendAll(const Invocation& in, GeneratorSession& session, Streams& io,
            const std::vector<settings::SettingReport>& reports) {
    if (auto failure = session.open(in.serial)) {
        return fail(io, *failure);
    }
    if (auto failure = session.send(reports)) {
        return fail(io, *failure);
    }
    return kDone;
}

}  // namespace

int run(const std::vector<std::string>& args, hid::HidPlatform& devices, SystemError& errors,
        Streams io) {
    Invocation in;
    std::string error;
    if (!parseArguments(args, in, error)) {
        return badUsage(io, error);
    }
    if (in.help) {
        io.out << helpText(in.command);
        return kDone;
    }
    if (in.version) {
        io.out << kProgram << " " << TPG_VERSION_TEXT << "\n";
        return kDone;
    }

    // --simulate: the demo's generators instead of the devices, the one its
    // window opens when no serial number is given.
    std::optional<SimulatedGenerators> simulated;
    hid::HidPlatform& platform = in.simulate ? simulated.emplace().platform() : devices;
    if (in.simulate && !in.serial && in.command != Command::List) {
        in.serial = simulated->shownSerial();
    }
    if (in.command == Command::Serve) {
        return serve(in, platform, errors, io, simulated ? &*simulated : nullptr);
    }

    // Every value is checked before a generator is even looked for.
    std::vector<settings::SettingReport> reports;
    if (in.command == Command::Set) {
        for (const auto& operand : in.operands) {
            const auto report = parseAssignment(operand, in.exact, error);
            if (!report) {
                return fail(io, {kBadUsage, error});
            }
            reports.push_back(*report);
        }
    } else if (in.command == Command::Defaults) {
        reports = settings::restoreDefaultsReports();
    } else if (in.command == Command::Apply) {
        std::string text;
        if (!readInput(in.operands.front(), io.in, text, error)) {
            return fail(io, {kBadUsage, error});
        }
        auto setup = readSetup(text, in.exact, error);
        if (!setup) {
            return fail(io, {kBadUsage, in.operands.front() + ": " + error});
        }
        reports = std::move(*setup);
    }

    CheckedPlatform checked(platform, errors);
    GeneratorSession session(checked);
    switch (in.command) {
        case Command::List:
            return list(in, session, io);
        case Command::Show:
            return show(in, session, io);
        case Command::Set:
        case Command::Defaults:
        case Command::Apply:
            return sendAll(in, session, io, reports);
        case Command::Serve:  // served above
        case Command::None:
            break;
    }
    return fail(io, {kBadUsage, "no command given"});
}

}  // namespace tpg::cli
