// trelvix-pulse-tango: the Tango device server of the generators, class
// TrelvixPulseGenerator, over hidraw or, with --simulate, over the demo's
// simulated generators. Everything after our own options is Tango's: the
// instance name, -v, -nodb -dlist ..., -ORBendPoint ...
#include <tango.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/SimulatedGenerators.h"
#include "hid/linux/HidrawPlatform.h"
#include "link/DeviceLink.h"
#include "tango/Backend.h"
#include "tango/GeneratorClass.h"
#include "tango/GeneratorDevice.h"

void Tango::DServer::class_factory() {
    add_class(tpg::tango::GeneratorClass::init(tpg::tango::kClassName));
}

namespace {

class Errno : public tpg::cli::SystemError {
  public:
    void clear() override { errno = 0; }
    std::string text() const override {
        const int error = errno;
        return error == 0 ? std::string() : std::strerror(error);
    }
};

constexpr const char* kHelp =
    "Usage: trelvix-pulse-tango [--simulate] INSTANCE [TANGO OPTIONS]\n"
    "\n"
    "The Tango device server of the Trelvix Pulse Generator: one device of the\n"
    "class TrelvixPulseGenerator per generator, registered in the Tango database\n"
    "under the server trelvix-pulse-tango/INSTANCE. Its device property\n"
    "SerialNumber names the generator (empty: the only one present), PollingPeriod\n"
    "how often, in milliseconds, the generator is read for change events (1000).\n"
    "\n"
    "  --simulate  the demo's simulated generators in place of the HID devices\n"
    "              (and the commands SimulateUnplug and SimulatePlug)\n"
    "  --help      this text; --version its release\n"
    "\n"
    "Tango's own options follow the instance: -v4 (trace), -nodb -dlist a/b/c\n"
    "(without a database), -ORBendPoint giop:tcp:HOST:PORT.\n";

}  // namespace

int main(int argc, char** argv) {
    std::vector<char*> tangoArgs{argv[0]};
    bool simulate = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--simulate") {
            simulate = true;
        } else if (arg == "--help" || arg == "-h") {
            std::cout << kHelp;
            return 0;
        } else if (arg == "--version") {
            std::cout << "trelvix-pulse-tango " << TPG_VERSION_TEXT << "\n";
            return 0;
        } else {
            tangoArgs.push_back(argv[i]);
        }
    }
    if (tangoArgs.size() < 2) {
        std::cerr << kHelp;
        return 2;
    }
    tangoArgs.push_back(nullptr);

    Errno errors;
    tpg::hid::hidraw::HidrawPlatform devices(tpg::hid::hidraw::HidrawConfig{
        .openable = {{tpg::link::kGeneratorVendorId, tpg::link::kGeneratorProductId}}});
    std::optional<tpg::cli::SimulatedGenerators> simulated;
    auto& backend = tpg::tango::backend();
    backend.errors = &errors;
    if (simulate) {
        backend.platform = &simulated.emplace().platform();
        backend.simulated = &simulated->generators();
        backend.defaultSerial = simulated->shownSerial();
    } else {
        backend.platform = &devices;
    }

    int tangoArgc = static_cast<int>(tangoArgs.size()) - 1;
    char** tangoArgv = tangoArgs.data();
    try {
        Tango::Util* util = Tango::Util::init(tangoArgc, tangoArgv);
        util->server_init(false);
        std::cout << "Ready to accept request" << std::endl;
        util->server_run();
        util->server_cleanup();
    } catch (const std::bad_alloc&) {
        std::cerr << "trelvix-pulse-tango: out of memory\n";
        return 1;
    } catch (const CORBA::Exception& failure) {
        Tango::Except::print_exception(failure);
        return 1;
    }
    return 0;
}
