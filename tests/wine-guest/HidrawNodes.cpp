#include "HidrawNodes.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <set>
#include <system_error>
#include <vector>

namespace tpg::guestbench {

namespace {

bool isHidrawName(const std::string& name) {
    return name.rfind("hidraw", 0) == 0 && name.size() > 6 &&
           name.find_first_not_of("0123456789", 6) == std::string::npos;
}

// "MAJOR:MINOR" from the device's dev file.
bool readDevNumber(const std::filesystem::path& file, dev_t& number) {
    std::ifstream in(file);
    unsigned major = 0;
    unsigned minor = 0;
    char colon = 0;
    if (!(in >> major >> colon >> minor) || colon != ':') {
        return false;
    }
    number = makedev(major, minor);
    return true;
}

}  // namespace

HidrawNodes::HidrawNodes(std::filesystem::path sysClass, std::filesystem::path dev)
    : sysClass_(std::move(sysClass)), dev_(std::move(dev)) {}

HidrawNodes::~HidrawNodes() {
    stop_ = true;
    if (thread_.joinable()) {
        thread_.join();
    }
}

int HidrawNodes::sync(std::string& error) {
    int changes = 0;
    std::error_code ec;
    std::set<std::string> present;
    for (const auto& entry : std::filesystem::directory_iterator(sysClass_, ec)) {
        const std::string name = entry.path().filename().string();
        if (!isHidrawName(name)) {
            continue;
        }
        present.insert(name);
        const std::string device = std::filesystem::canonical(entry.path(), ec).string();
        const auto node = dev_ / name;
        const auto made = madeFor_.find(name);
        if (made != madeFor_.end() && made->second == device &&
            std::filesystem::exists(std::filesystem::symlink_status(node, ec))) {
            continue;
        }
        dev_t number = 0;
        if (!readDevNumber(entry.path() / "dev", number)) {
            continue;  // the device is still being made, or going
        }
        // An earlier device's node goes first, in an event of its own.
        if (std::filesystem::remove(node, ec)) {
            ++changes;
        }
        const auto hidden = dev_ / ("." + name + ".new");
        std::filesystem::remove(hidden, ec);
        if (::mknod(hidden.c_str(), S_IFCHR | 0600, number) != 0 ||
            std::rename(hidden.c_str(), node.c_str()) != 0) {
            error = "cannot make " + node.string() + ": " +
                    std::error_code(errno, std::generic_category()).message();
            continue;
        }
        madeFor_[name] = device;
        ++changes;
    }
    std::vector<std::string> gone;
    for (const auto& entry : std::filesystem::directory_iterator(dev_, ec)) {
        const std::string name = entry.path().filename().string();
        if (isHidrawName(name) && present.count(name) == 0) {
            gone.push_back(name);
        }
    }
    for (const auto& name : gone) {
        std::filesystem::remove(dev_ / name, ec);
        madeFor_.erase(name);
        ++changes;
    }
    return changes;
}

void HidrawNodes::keep(std::chrono::milliseconds period) {
    thread_ = std::thread([this, period] {
        while (!stop_) {
            std::string error;
            sync(error);
            if (!error.empty()) {
                std::cerr << "hidraw nodes: " << error << std::endl;
            }
            std::this_thread::sleep_for(period);
        }
    });
}

}  // namespace tpg::guestbench
