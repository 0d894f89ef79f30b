// trelvix-pulse-cli on Linux: the command line over the hidraw layer. Only
// the generator's nodes are ever opened, as by the window.
#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "hid/linux/HidrawPlatform.h"
#include "link/DeviceLink.h"

namespace {

class Errno : public tpg::cli::SystemError {
  public:
    void clear() override { errno = 0; }
    std::string text() const override {
        const int error = errno;
        return error == 0 ? std::string() : std::strerror(error);
    }
};

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    tpg::hid::hidraw::HidrawPlatform platform(tpg::hid::hidraw::HidrawConfig{
        .openable = {{tpg::link::kGeneratorVendorId, tpg::link::kGeneratorProductId}}});
    Errno errors;
    return tpg::cli::run(args, platform, errors, {std::cin, std::cout, std::cerr});
}
