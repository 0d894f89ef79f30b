#include "GuestCheck.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <iostream>

namespace tpg::guest {

namespace {
int passed = 0;
int failed = 0;
}  // namespace

void check(bool ok, const std::string& what, const std::string& detail) {
    (ok ? passed : failed)++;
    std::cout << (ok ? "ok " : "not ok ") << (passed + failed) << " - " << what;
    if (!ok && !detail.empty()) {
        std::cout << " (" << detail << ")";
    }
    std::cout << std::endl;
}

int passedChecks() {
    return passed;
}
int failedChecks() {
    return failed;
}

int settled(const std::function<int()>& value, int expected) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    int now = value();
    while (now != expected && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        now = value();
    }
    return now;
}

std::string hex(const Bytes& bytes) {
    std::string out;
    for (const auto b : bytes) {
        std::array<char, 4> part{};
        std::snprintf(part.data(), part.size(), "%02X ", b);
        out += part.data();
    }
    return out;
}

std::string join(const std::vector<std::string>& items) {
    std::string out;
    for (const auto& item : items) {
        out += (out.empty() ? "" : ",") + item;
    }
    return out;
}

Descriptors openDescriptors() {
    Descriptors d;
    DIR* dir = ::opendir("/proc/self/fd");
    if (dir == nullptr) {
        return {-1, -1};
    }
    const int own = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.' || std::stoi(entry->d_name) == own) {
            continue;
        }
        ++d.total;
        std::array<char, 256> target{};
        const std::string link = std::string("/proc/self/fd/") + entry->d_name;
        const ssize_t n = ::readlink(link.c_str(), target.data(), target.size() - 1);
        if (n > 0 && std::string(target.data(), static_cast<std::size_t>(n)).find("/hidraw") !=
                         std::string::npos) {
            ++d.hidraw;
        }
    }
    ::closedir(dir);
    return d;
}

Bytes report(std::initializer_list<std::uint8_t> head) {
    Bytes bytes(head);
    bytes.resize(65, 0);
    return bytes;
}

Window::Window(bool eager)
    : window(eager ? static_cast<hid::HidPlatform&>(eagerPlatform) : hidraw, skin) {
    skin.clock().setTickHandler([this] { window.timerTick(); });
}

long long Window::tick() {
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    const auto wait = skin.clock().untilNextTick();
    if (!wait) {
        return -1;
    }
    skin.clock().advance(*wait);
    return *wait;
}

double Window::blocked(const std::function<void()>& fn) {
    const auto start = std::chrono::steady_clock::now();
    fn();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

void checkShows(const Window& w, const protocol::DeviceState& s, const std::string& who) {
    checkEqual(w.text(ControlId::Foutput), std::to_string(s.pulseFrequency),
               who + ": pulse frequency read back");
    checkEqual(w.skin.selectedIndex(ControlId::Vout), s.amplitudeIndex,
               who + ": amplitude index read back");
    checkEqual(w.skin.selectedIndex(ControlId::polarity), s.polarityIndex,
               who + ": polarity read back");
    checkEqual(w.skin.selectedIndex(ControlId::ext_trig_dir), s.triggerSyncFunction,
               who + ": trigger/sync function read back");
    checkEqual(w.text(ControlId::ext_sync_freq), std::to_string(s.syncFrequency),
               who + ": sync frequency read back");
}

Blocking measure(int times, const std::function<double()>& once) {
    std::vector<double> ms;
    ms.reserve(static_cast<std::size_t>(times));
    for (int i = 0; i < times; ++i) {
        ms.push_back(once());
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.back()};
}

std::string describe(const Blocking& b) {
    std::array<char, 64> text{};
    std::snprintf(text.data(), text.size(), "%.1f ms (max %.1f)", b.median, b.max);
    return text.data();
}

}  // namespace tpg::guest
