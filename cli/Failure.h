// How a command ends when it cannot do what was asked: the exit status and
// the message for standard error.
#pragma once

#include <string>

namespace tpg::cli {

// The exit statuses of the program.
inline constexpr int kDone = 0;
inline constexpr int kBadUsage = 1;        // bad usage or value; nothing was sent
inline constexpr int kNoGenerator = 2;     // no generator, or the serial number not found
inline constexpr int kPlatformFailed = 3;  // a platform call failed

struct Failure {
    int status;
    std::string message;
};

}  // namespace tpg::cli
