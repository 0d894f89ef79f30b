// trelvix-pulse-virtual: makes one or more generators that exist only in
// software, through the kernel's uhid driver, so that the tool can be tried
// without the instrument. Runs until interrupted; prints every report that
// reaches a generator.
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "hid/linux/uhid/VirtualGenerator.h"

namespace {

volatile sig_atomic_t stopRequested = 0;
void onSignal(int /*signal*/) {
    stopRequested = 1;
}

constexpr std::size_t kMaxSerialBytes = 63;  // the kernel keeps 64 with the terminator
constexpr std::size_t kMaxNameBytes = 127;
constexpr unsigned long kMaxReportLength = 4096;

const char* const kUsage =
    "usage: trelvix-pulse-virtual [--name TEXT] [--input-length N] [--feature-length N]\n"
    "                             SERIAL [SERIAL...]\n"
    "Creates one virtual generator per serial number through /dev/uhid and keeps\n"
    "them until interrupted (Ctrl+C). Report lengths count the report ID byte\n"
    "(default 65); a length of 1 leaves that report out. Needs write access to\n"
    "/dev/uhid (usually root) and the uhid module (modprobe uhid).\n";

bool parseLength(const char* text, std::uint16_t& length) {
    char* end = nullptr;
    errno = 0;
    const unsigned long value = std::strtoul(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || text[0] == '-' || value < 1 ||
        value > kMaxReportLength) {
        return false;
    }
    length = static_cast<std::uint16_t>(value);
    return true;
}

std::string hex(const std::vector<std::uint8_t>& bytes, std::size_t count) {
    std::string out;
    for (std::size_t i = 0; i < bytes.size() && i < count; ++i) {
        char part[4];
        std::snprintf(part, sizeof(part), "%s%02X", i == 0 ? "" : " ", bytes[i]);
        out += part;
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    using tpg::hid::uhid::VirtualGenerator;
    using tpg::hid::uhid::VirtualGeneratorSpec;

    VirtualGeneratorSpec common;
    std::vector<std::string> serials;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (arg == "--name" && hasValue) {
            common.name = argv[++i];
            if (common.name.empty() || common.name.size() > kMaxNameBytes) {
                std::cerr << "trelvix-pulse-virtual: the name must have 1 to " << kMaxNameBytes
                          << " bytes\n";
                return 2;
            }
        } else if ((arg == "--input-length" || arg == "--feature-length") && hasValue) {
            std::uint16_t& target = arg == "--input-length" ? common.inputReportByteLength
                                                            : common.featureReportByteLength;
            if (!parseLength(argv[++i], target)) {
                std::cerr << "trelvix-pulse-virtual: " << arg << " takes a whole number from 1 to "
                          << kMaxReportLength << ", not \"" << argv[i] << "\"\n";
                return 2;
            }
        } else if (!arg.empty() && arg[0] == '-') {
            std::cerr << "trelvix-pulse-virtual: unknown option or missing value: " << arg << "\n"
                      << kUsage;
            return 2;
        } else {
            if (arg.size() > kMaxSerialBytes) {
                std::cerr << "trelvix-pulse-virtual: serial number \"" << arg
                          << "\" is longer than " << kMaxSerialBytes << " bytes\n";
                return 2;
            }
            serials.push_back(arg);
        }
    }
    if (serials.empty()) {
        std::cerr << "trelvix-pulse-virtual: give at least one serial number\n" << kUsage;
        return 2;
    }

    struct sigaction action {};
    action.sa_handler = onSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    std::vector<std::unique_ptr<VirtualGenerator>> generators;
    for (const auto& serial : serials) {
        VirtualGeneratorSpec config = common;
        config.serialNumber = serial;
        std::string error;
        auto generator = VirtualGenerator::create(config, error);
        if (!generator) {
            std::cerr << "trelvix-pulse-virtual: " << error << "\n";
            return 1;  // the generators made so far are destroyed on the way out
        }
        std::cout << generator->node() << ": virtual generator, serial number " << serial
                  << std::endl;
        generators.push_back(std::move(generator));
    }
    std::cout << "running; Ctrl+C removes the generators" << std::endl;

    while (stopRequested == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        for (const auto& generator : generators) {
            for (const auto& report : generator->takeReceivedReports()) {
                std::cout << generator->config().serialNumber << " received " << hex(report, 8)
                          << (report.size() > 8 ? " ..." : "") << " (" << report.size() << " bytes)"
                          << std::endl;
            }
        }
    }
    std::cout << "removing the virtual generators" << std::endl;
    return 0;
}
