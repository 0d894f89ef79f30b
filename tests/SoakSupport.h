// What the soaks over the served generator share: a system-error source
// that says nothing, the count of open descriptors (which must not grow)
// and their lengths and seeds from the environment.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "cli/SystemError.h"

namespace tpg::test {

class NoSystemText : public cli::SystemError {
  public:
    void clear() override {}
    std::string text() const override { return {}; }
};

// Descriptors open in this process, where the system tells (Linux).
inline std::optional<long> openDescriptors() {
#ifdef __linux__
    long count = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count;
#else
    return std::nullopt;
#endif
}

// A number from the environment (e.g. TPG_SOAK_SEED), or otherwise.
inline unsigned long long fromEnvironment(const char* name, unsigned long long otherwise) {
    const char* text = std::getenv(name);
    return text != nullptr ? std::strtoull(text, nullptr, 10) : otherwise;
}

}  // namespace tpg::test
