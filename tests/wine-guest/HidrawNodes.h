// udev's part for hidraw nodes in a guest without udev: keeps one node in a
// plain (tmpfs) /dev for each hidraw device the kernel lists in sysfs, and
// removes the node when the device goes.
//
// Wine's HID bus driver, without udevd, watches /dev with inotify. A node
// that devtmpfs makes is created and then has its owner and mode set, and
// Wine takes the second event for a device that went and came back: it drops
// the device it has just added. A node made here appears in one event, by a
// rename into /dev, and goes in one event.
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <thread>

namespace tpg::guestbench {

class HidrawNodes {
  public:
    HidrawNodes(std::filesystem::path sysClass, std::filesystem::path dev);
    ~HidrawNodes();
    HidrawNodes(const HidrawNodes&) = delete;
    HidrawNodes& operator=(const HidrawNodes&) = delete;

    // One pass: makes the node of every device without one (or whose node
    // belongs to an earlier device of the same name, which is removed
    // first) and removes every hidraw node whose device has gone. Returns
    // how many nodes were made or removed; failures go to error.
    int sync(std::string& error);

    // Runs sync every period on a thread of its own until destroyed.
    void keep(std::chrono::milliseconds period);

  private:
    std::filesystem::path sysClass_;
    std::filesystem::path dev_;
    // The device each node was made for: its real path in sysfs.
    std::map<std::string, std::string> madeFor_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace tpg::guestbench
