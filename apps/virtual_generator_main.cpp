// trelvix-pulse-virtual: makes one or more generators that exist only in
// software, so that the tool can be tried without the instrument: through
// the kernel's uhid driver, or with --usb as USB devices on the USB/IP
// virtual host controller, driven by usbhid like the instrument itself.
// Runs until interrupted; prints every report that reaches a generator.
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "hid/linux/uhid/VirtualGenerator.h"
#include "hid/linux/usbip/UsbVirtualGenerator.h"

namespace {

volatile sig_atomic_t stopRequested = 0;
void onSignal(int /*signal*/) {
    stopRequested = 1;
}

constexpr std::size_t kMaxSerialBytes = 63;  // the kernel keeps 64 with the terminator
constexpr std::size_t kMaxNameBytes = 127;
constexpr unsigned long kMaxReportLength = 4096;

const char* const kUsage =
    "usage: trelvix-pulse-virtual [--usb] [--name TEXT] [--input-length N]\n"
    "                             [--feature-length N] SERIAL [SERIAL...]\n"
    "       trelvix-pulse-virtual --help | --version\n"
    "Creates one virtual generator per serial number and keeps them until\n"
    "interrupted (Ctrl+C). Report lengths count the report ID byte (default 65);\n"
    "a length of 1 leaves that report out.\n"
    "Without --usb the generators are uhid devices: needs write access to\n"
    "/dev/uhid (usually root) and the uhid module (modprobe uhid).\n"
    "With --usb they are full-speed USB devices (maker \"Trelvix\", version 1.03,\n"
    "TEXT as product name) on the USB/IP virtual host controller: needs root,\n"
    "the vhci-hcd and usbhid modules (modprobe vhci-hcd) and the loopback\n"
    "network interface up.\n";

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

using tpg::hid::uhid::VirtualGenerator;
using tpg::hid::uhid::VirtualGeneratorSpec;
using tpg::hid::usbip::UsbVirtualGenerator;

void waitForStop(const std::function<void()>& report) {
    std::cout << "running; Ctrl+C removes the generators" << std::endl;
    while (stopRequested == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        report();
    }
}

bool runUhid(const VirtualGeneratorSpec& common, const std::vector<std::string>& serials) {
    std::vector<std::unique_ptr<VirtualGenerator>> generators;
    for (const auto& serial : serials) {
        VirtualGeneratorSpec config = common;
        config.serialNumber = serial;
        std::string error;
        auto generator = VirtualGenerator::create(config, error);
        if (!generator) {
            std::cerr << "trelvix-pulse-virtual: " << error << "\n";
            return false;  // the generators made so far are destroyed on the way out
        }
        std::cout << generator->node() << ": virtual generator, serial number " << serial
                  << std::endl;
        generators.push_back(std::move(generator));
    }
    waitForStop([&] {
        for (const auto& generator : generators) {
            for (const auto& report : generator->takeReceivedReports()) {
                std::cout << generator->config().serialNumber << " received " << hex(report, 8)
                          << (report.size() > 8 ? " ..." : "") << " (" << report.size() << " bytes)"
                          << std::endl;
            }
        }
    });
    return true;
}

bool runUsb(const VirtualGeneratorSpec& common, const std::vector<std::string>& serials) {
    std::vector<std::unique_ptr<UsbVirtualGenerator>> generators;
    for (const auto& serial : serials) {
        tpg::hid::usbip::UsbGeneratorSpec spec;
        spec.product = common.name;
        spec.serialNumber = serial;
        spec.inputReportByteLength = common.inputReportByteLength;
        spec.featureReportByteLength = common.featureReportByteLength;
        std::string error;
        auto generator = UsbVirtualGenerator::create(spec, error);
        if (!generator) {
            std::cerr << "trelvix-pulse-virtual: " << error << "\n";
            return false;  // those plugged in so far are unplugged on the way out
        }
        std::cout << generator->node() << ": virtual USB generator at USB/IP port "
                  << generator->port() << ", serial number " << serial << std::endl;
        generators.push_back(std::move(generator));
    }
    // Each control request with its setup packet, as it came over the wire.
    waitForStop([&] {
        for (const auto& generator : generators) {
            for (const auto& request : generator->device().takeRequests()) {
                const std::vector<std::uint8_t> setup(request.setup.begin(), request.setup.end());
                const bool report = (setup[0] == 0x21 && setup[1] == 0x09) ||
                                    (setup[0] == 0xA1 && setup[1] == 0x01);
                if (!report) {
                    continue;  // what the enumeration asks
                }
                std::cout << generator->spec().serialNumber << " received "
                          << (setup[1] == 0x09 ? "SET_REPORT " : "GET_REPORT ") << hex(setup, 8);
                if (!request.data.empty()) {
                    std::cout << ": " << hex(request.data, 8)
                              << (request.data.size() > 8 ? " ..." : "") << " ("
                              << request.data.size() << " bytes)";
                }
                std::cout << std::endl;
            }
        }
    });
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    VirtualGeneratorSpec common;
    std::vector<std::string> serials;
    bool usb = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (arg == "--version") {
            std::cout << "trelvix-pulse-virtual " TPG_VERSION_TEXT "\n";
            return 0;
        }
        if (arg == "--usb") {
            usb = true;
        } else if (arg == "--name" && hasValue) {
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

    const bool made = usb ? runUsb(common, serials) : runUhid(common, serials);
    if (!made) {
        return 1;
    }
    std::cout << "removing the virtual generators" << std::endl;
    return 0;
}
