#include "hid/linux/uhid/UhidDevice.h"

#include <fcntl.h>
#include <linux/uhid.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "hid/linux/SysfsHidraw.h"

namespace tpg::hid::uhid {

namespace {

std::atomic<unsigned> nextDeviceNumber{0};

bool writeEvent(int fd, const uhid_event& event) {
    ssize_t n = 0;
    do {
        n = ::write(fd, &event, sizeof(event));
    } while (n < 0 && errno == EINTR);
    return n == static_cast<ssize_t>(sizeof(event));
}

void copyText(std::uint8_t* destination, std::size_t capacity, const std::string& text) {
    const std::size_t n = std::min(text.size(), capacity - 1);
    std::memcpy(destination, text.data(), n);
    destination[n] = 0;
}

}  // namespace

std::unique_ptr<UhidDevice> UhidDevice::create(const UhidSpec& config, UhidHandler& handler,
                                               std::chrono::milliseconds inputPeriod,
                                               std::string& error, const std::string& uhidPath) {
    if (config.descriptor.empty() || config.descriptor.size() > HID_MAX_DESCRIPTOR_SIZE) {
        error = "report descriptor of " + std::to_string(config.descriptor.size()) + " bytes";
        return nullptr;
    }
    const int fd = ::open(uhidPath.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        const int reason = errno;
        error = "cannot open " + uhidPath + ": " + std::strerror(reason);
        if (reason == ENOENT || reason == ENODEV || reason == ENXIO) {
            error += " (modprobe uhid)";  // the module makes the node
        } else if (reason == EACCES || reason == EPERM) {
            error += " (it is root's: run as root)";
        }
        return nullptr;
    }
    const int wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0) {
        error = std::string("eventfd: ") + std::strerror(errno);
        ::close(fd);
        return nullptr;
    }
    const std::string phys = "tpg-virtual/" + std::to_string(::getpid()) + "/" +
                             std::to_string(nextDeviceNumber.fetch_add(1));

    auto event = std::make_unique<uhid_event>();
    std::memset(event.get(), 0, sizeof(uhid_event));
    event->type = UHID_CREATE2;
    auto& create = event->u.create2;
    copyText(create.name, sizeof(create.name), config.name);
    copyText(create.phys, sizeof(create.phys), phys);
    copyText(create.uniq, sizeof(create.uniq), config.uniq);
    create.rd_size = static_cast<std::uint16_t>(config.descriptor.size());
    create.bus = config.bus;
    create.vendor = config.vendorId;
    create.product = config.productId;
    create.version = config.version;
    std::memcpy(create.rd_data, config.descriptor.data(), config.descriptor.size());
    if (!writeEvent(fd, *event)) {
        error = std::string("uhid refused the device: ") + std::strerror(errno);
        ::close(wakeFd);
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<UhidDevice>(new UhidDevice(fd, wakeFd, handler, inputPeriod, phys));
}

UhidDevice::UhidDevice(int fd, int wakeFd, UhidHandler& handler,
                       std::chrono::milliseconds inputPeriod, std::string phys)
    : fd_(fd),
      wakeFd_(wakeFd),
      handler_(handler),
      inputPeriod_(inputPeriod),
      phys_(std::move(phys)),
      thread_([this] { run(); }) {}

UhidDevice::~UhidDevice() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto ignored = ::write(wakeFd_, &one, sizeof(one));
    thread_.join();
    uhid_event event{};
    event.type = UHID_DESTROY;
    writeEvent(fd_, event);
    ::close(fd_);
    ::close(wakeFd_);
}

void UhidDevice::run() {
    using Clock = std::chrono::steady_clock;
    auto nextInput = Clock::now() + inputPeriod_;
    while (true) {
        const auto now = Clock::now();
        if (now >= nextInput) {
            if (started_ && opens_ > closes_) {
                if (const auto report = handler_.inputReport()) {
                    sendInput(*report);
                }
            }
            nextInput = now + inputPeriod_;
        }
        const auto wait =
            std::chrono::duration_cast<std::chrono::milliseconds>(nextInput - Clock::now());
        std::array<pollfd, 2> fds{pollfd{fd_, POLLIN, 0}, pollfd{wakeFd_, POLLIN, 0}};
        const int ready =
            ::poll(fds.data(), fds.size(),
                   static_cast<int>(std::max<long>(0, static_cast<long>(wait.count()))));
        if (ready < 0 && errno != EINTR) {
            return;
        }
        if (fds[1].revents != 0) {
            return;  // the owner is destroying the device
        }
        if ((fds[0].revents & (POLLERR | POLLHUP)) != 0) {
            return;
        }
        if ((fds[0].revents & POLLIN) != 0 && !handleEvent()) {
            return;
        }
    }
}

bool UhidDevice::handleEvent() {
    auto event = std::make_unique<uhid_event>();
    std::memset(event.get(), 0, sizeof(uhid_event));
    const ssize_t n = ::read(fd_, event.get(), sizeof(uhid_event));
    if (n < 0) {
        return errno == EINTR || errno == EAGAIN;
    }
    if (n == 0) {
        return false;
    }
    switch (event->type) {
        case UHID_START:
            started_ = true;
            break;
        case UHID_STOP:
            started_ = false;
            break;
        case UHID_OPEN:
            ++opens_;
            break;
        case UHID_CLOSE:
            ++closes_;
            break;
        case UHID_GET_REPORT: {
            const auto request = event->u.get_report;
            const auto report =
                handler_.getReport(request.rnum, static_cast<ReportType>(request.rtype));
            std::memset(event.get(), 0, sizeof(uhid_event));
            event->type = UHID_GET_REPORT_REPLY;
            event->u.get_report_reply.id = request.id;
            if (report && report->size() <= UHID_DATA_MAX) {
                event->u.get_report_reply.size = static_cast<std::uint16_t>(report->size());
                std::memcpy(event->u.get_report_reply.data, report->data(), report->size());
            } else {
                event->u.get_report_reply.err = EIO;
            }
            return writeEvent(fd_, *event);
        }
        case UHID_SET_REPORT: {
            const auto& request = event->u.set_report;
            const std::size_t size = std::min<std::size_t>(request.size, UHID_DATA_MAX);
            const bool ok = handler_.setReport(request.rnum, static_cast<ReportType>(request.rtype),
                                               std::span(request.data, size));
            const auto id = request.id;
            std::memset(event.get(), 0, sizeof(uhid_event));
            event->type = UHID_SET_REPORT_REPLY;
            event->u.set_report_reply.id = id;
            event->u.set_report_reply.err = ok ? 0 : EIO;
            return writeEvent(fd_, *event);
        }
        default:
            break;  // output reports: the generator has none
    }
    return true;
}

bool UhidDevice::sendInput(std::span<const std::uint8_t> data) {
    if (data.empty() || data.size() > UHID_DATA_MAX) {
        return false;
    }
    auto event = std::make_unique<uhid_event>();
    std::memset(event.get(), 0, sizeof(uhid_event));
    event->type = UHID_INPUT2;
    event->u.input2.size = static_cast<std::uint16_t>(data.size());
    std::memcpy(event->u.input2.data, data.data(), data.size());
    return writeEvent(fd_, *event);
}

std::string UhidDevice::waitForNode(std::chrono::milliseconds timeout, const std::string& sysfsRoot,
                                    const std::string& devRoot) const {
    const hidraw::SysfsHidraw sysfs(sysfsRoot, devRoot);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
        for (const auto& node : sysfs.listNodes()) {
            const auto uevent = sysfs.readUevent(node.name);
            if (uevent && hidraw::ueventValue(*uevent, "HID_PHYS") == phys_ &&
                ::access(node.devPath.c_str(), F_OK) == 0) {
                return node.devPath;
            }
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return {};
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

}  // namespace tpg::hid::uhid
