// The device side of one USB/IP connection: a thread of its own reads the
// host's CMD_SUBMIT and CMD_UNLINK from a connected stream socket and answers
// them for a UsbGenerator. Endpoint 0 carries control transfers; endpoint 1
// IN is the interrupt endpoint, whose pending transfer is completed with the
// device's input report one polling interval after the last. A transfer the
// host unlinks while it is pending is answered by RET_UNLINK alone, never by
// a RET_SUBMIT as well.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "hid/linux/usbip/UsbGenerator.h"

namespace tpg::hid::usbip {

class UsbipServer {
  public:
    // Serves socket, which it owns from now on.
    UsbipServer(int socket, UsbGenerator& device);
    UsbipServer(const UsbipServer&) = delete;
    UsbipServer& operator=(const UsbipServer&) = delete;
    // Stops serving and closes the socket: for the host, the device is gone.
    ~UsbipServer();

    // False once the host has closed the connection or broke the protocol.
    bool connected() const { return connected_.load(); }
    // Waits until the connection has ended; false when it has not in time.
    bool waitDisconnected(std::chrono::milliseconds timeout) const;

    // How often the host began and stopped polling the interrupt endpoint:
    // usbhid polls exactly while someone has the device open.
    int pollingStarts() const { return pollingStarts_.load(); }
    int pollingStops() const { return pollingStops_.load(); }
    bool polling() const { return polling_.load(); }
    int inputReportsSent() const { return inputReportsSent_.load(); }
    int unlinks() const { return unlinks_.load(); }

  private:
    using Clock = std::chrono::steady_clock;
    struct Pending {
        std::uint32_t seqnum = 0;
        bool interrupt = false;
        Clock::time_point due;
        std::uint32_t bufferLength = 0;
        std::int32_t status = 0;  // a delayed control reply's
        std::vector<std::uint8_t> data;
        bool deviceToHost = true;
    };

    void run();
    bool handleMessage();
    bool submit(const CmdSubmit& command);
    bool unlink(const CmdUnlink& command);
    bool complete(const Pending& pending);
    bool sendReply(std::uint32_t seqnum, std::int32_t status, std::uint32_t actualLength,
                   std::span<const std::uint8_t> data);
    void stopPollingIfIdle(Clock::time_point now);

    int socket_;
    int wakeFd_;
    UsbGenerator& device_;
    std::vector<Pending> pending_;  // the server thread's own
    Clock::time_point lastInput_{};
    std::atomic<bool> connected_{true};
    std::atomic<bool> polling_{false};
    std::atomic<int> pollingStarts_{0};
    std::atomic<int> pollingStops_{0};
    std::atomic<int> inputReportsSent_{0};
    std::atomic<int> unlinks_{0};
    std::thread thread_;
};

}  // namespace tpg::hid::usbip
