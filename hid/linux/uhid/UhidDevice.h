// One HID device made by user space through the kernel's uhid driver. A
// thread of its own answers the kernel's requests (GET_REPORT, SET_REPORT)
// while the process that opened the hidraw node waits in its ioctl, and
// sends an input report at a fixed period while the device is open.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace tpg::hid::uhid {

struct UhidSpec {
    std::string name;
    std::string uniq;          // the serial number the HID layer reports
    std::uint16_t bus = 0x03;  // USB
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint32_t version = 0;
    std::vector<std::uint8_t> descriptor;
};

// Kinds of report in a request, as the uhid driver numbers them.
enum class ReportType : std::uint8_t { Feature = 0, Output = 1, Input = 2 };

// What the device does; called on the device's own thread.
class UhidHandler {
  public:
    virtual ~UhidHandler() = default;
    // The report to answer a GET_REPORT with, exactly as it goes back to the
    // kernel; nothing fails the request.
    virtual std::optional<std::vector<std::uint8_t>> getReport(std::uint8_t reportNumber,
                                                               ReportType type) = 0;
    // Acts on a SET_REPORT; false fails the request.
    virtual bool setReport(std::uint8_t reportNumber, ReportType type,
                           std::span<const std::uint8_t> data) = 0;
    // The next input report (without report ID for unnumbered reports);
    // nothing sends none this period.
    virtual std::optional<std::vector<std::uint8_t>> inputReport() = 0;
};

class UhidDevice {
  public:
    UhidDevice(const UhidDevice&) = delete;
    UhidDevice& operator=(const UhidDevice&) = delete;
    // Destroys the device: the kernel removes its hidraw node.
    ~UhidDevice();

    // Creates the device through uhidPath. Nothing (and a reason in error)
    // when uhid cannot be opened or refuses the device.
    static std::unique_ptr<UhidDevice> create(const UhidSpec& config, UhidHandler& handler,
                                              std::chrono::milliseconds inputPeriod,
                                              std::string& error,
                                              const std::string& uhidPath = "/dev/uhid");

    // The device node of this device ("/dev/hidraw3"), waited for: the kernel
    // acknowledges a creation before the hidraw node exists. Empty when it
    // has not appeared within the timeout.
    std::string waitForNode(std::chrono::milliseconds timeout,
                            const std::string& sysfsRoot = "/sys",
                            const std::string& devRoot = "/dev") const;

    // How often the kernel opened and closed the device (the first opener of
    // its hidraw node opens it, the last closer closes it).
    int opens() const { return opens_.load(); }
    int closes() const { return closes_.load(); }

    // The physical path given to the kernel, unique per device of the process.
    const std::string& phys() const { return phys_; }

  private:
    UhidDevice(int fd, int wakeFd, UhidHandler& handler, std::chrono::milliseconds inputPeriod,
               std::string phys);
    void run();
    bool handleEvent();
    bool sendInput(std::span<const std::uint8_t> data);

    int fd_;
    int wakeFd_;
    UhidHandler& handler_;
    std::chrono::milliseconds inputPeriod_;
    std::string phys_;
    std::atomic<int> opens_{0};
    std::atomic<int> closes_{0};
    std::atomic<bool> started_{false};
    std::thread thread_;
};

}  // namespace tpg::hid::uhid
