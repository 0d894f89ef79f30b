// trelvix-pulse-cli as a function: one command line over a platform seam,
// with the streams it reads and writes. The executables supply the real
// backend and the system's error texts; the tests a simulated bench.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "cli/SystemError.h"
#include "hid/HidPlatform.h"

namespace tpg::cli {

struct Streams {
    std::istream& in;
    std::ostream& out;
    std::ostream& err;
};

// Runs the command line (the arguments after the program name) and returns
// the exit status (cli/Failure.h). Everything the command opened is closed
// again when it returns.
int run(const std::vector<std::string>& args, hid::HidPlatform& platform, SystemError& errors,
        Streams streams);

}  // namespace tpg::cli
