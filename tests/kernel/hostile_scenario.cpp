// Devices that break the rules, on a real kernel: generators whose feature
// report is 1, 7, 19 or 4096 bytes long, devices with the generator's IDs
// and a random report descriptor, a USB generator whose serial
// number is 126 code units with lone and reversed surrogates, and a
// generator that disappears while the tool waits in a feature ioctl. The
// tool keeps running, sends nothing it must not, shows what the rules say,
// and leaves no descriptor open.
#include <fcntl.h>
#include <linux/uhid.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <random>
#include <thread>

#include "GuestGenerators.h"
#include "hid/linux/Utf16.h"
#include "hid/linux/uhid/VirtualGenerator.h"
#include "hid/linux/usbip/UsbVirtualGenerator.h"
#include "link/DescriptorString.h"

namespace tpg::guest {

namespace {

using hid::uhid::VirtualGenerator;
using hid::uhid::VirtualGeneratorSpec;

// A window started over a well-behaved generator, switched by the user to
// the one under test: the setting handlers stay open even when the second
// one's state cannot be read.
void featureLength(std::uint16_t length) {
    const std::string k = "hostile: feature report of " + std::to_string(length) + " bytes: ";
    VirtualGeneratorSpec oddSpec;
    oddSpec.serialNumber = "TPG-L-" + std::to_string(length);
    oddSpec.featureReportByteLength = length;
    VirtualGeneratorSpec goodSpec;
    goodSpec.serialNumber = "TPG-L-GOOD";
    std::string error;
    auto odd = VirtualGenerator::create(oddSpec, error);
    auto good = odd ? VirtualGenerator::create(goodSpec, error) : nullptr;
    check(good != nullptr, k + "generators made", error);
    if (!good) {
        return;
    }
    const Descriptors before = openDescriptors();
    auto w = std::make_unique<Window>();
    w->window.Form_Load();
    w->window.userPicked(ControlId::SerNo, 0);
    const auto& link = w->window.linkState();
    checkEqual(w->text(ControlId::SerNo), oddSpec.serialNumber, k + "switched to it");
    check(link.deviceAttached && link.uiReady, k + "open, the handlers still open");
    // A feature report of one byte is only its ID: the descriptor has none.
    checkEqual(link.capabilities.featureReportByteLength,
               static_cast<std::uint16_t>(length > 1 ? length : 0), k + "its length read");
    const bool readable = length >= protocol::kStateReportLength;
    checkEqual(odd->getReportCount(), readable ? 1 : 0,
               k + (readable ? "its state read once" : "its state never asked for"));
    checkEqual(w->skin.items(ControlId::Vout).size(), std::size_t{readable ? 511U : 0U},
               k + (readable ? "the window filled" : "the amplitude list empty"));

    // A 16-bit and a 32-bit command: sent at the device's length when it
    // holds them, not at all when it does not.
    w->window.userPicked(ControlId::polarity, 0);
    w->skin.type(ControlId::Foutput, "12345678");
    w->window.buttonPressed(ControlId::SetFout);
    std::vector<Bytes> expected;
    if (length >= 5) {
        expected.push_back(
            *protocol::buildCommand(protocol::ReportCommand::SetPolarity, 0, length));
    }
    if (length >= 7) {
        expected.push_back(
            *protocol::buildCommand(protocol::ReportCommand::SetPulseFrequency, 12345678, length));
    }
    const auto got = odd->takeReceivedReports();
    check(got == expected, k + std::to_string(expected.size()) + " reports of its length sent",
          std::to_string(got.size()) + " arrived");
    checkEqual(good->takeReceivedReports().size(), std::size_t{0}, k + "none to the other");

    w->tick();
    check(link.deviceAttached, k + "the tool runs on with it");
    w->window.Form_Unload();
    checkEqual(openDescriptors().total, before.total, k + "descriptors back where they began");
}

// Answers nothing; counts every report request.
class Silent : public hid::uhid::UhidHandler {
  public:
    std::optional<Bytes> getReport(std::uint8_t, hid::uhid::ReportType) override {
        ++gets;
        return std::nullopt;
    }
    bool setReport(std::uint8_t, hid::uhid::ReportType, std::span<const std::uint8_t>) override {
        ++sets;
        return false;
    }
    std::optional<Bytes> inputReport() override { return std::nullopt; }
    std::atomic<int> gets{0};
    std::atomic<int> sets{0};
};

// Random bytes after a real beginning, which the kernel's own parser
// mostly refuses, or items of every kind with random values, which it
// mostly takes.
Bytes randomDescriptor(std::mt19937& rng, bool items) {
    Bytes d = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01};
    if (!items) {
        const std::size_t length = 8 + rng() % 56;
        while (d.size() < length) {
            d.push_back(static_cast<std::uint8_t>(rng()));
        }
        return d;
    }
    int open = 1;
    const int count = 4 + static_cast<int>(rng() % 16);
    for (int i = 0; i < count; ++i) {
        const auto value = static_cast<std::uint8_t>(1 + rng() % 40);
        switch (rng() % 8) {
            case 0:
                d.insert(d.end(), {0x75, value});  // Report Size
                break;
            case 1:
                d.insert(d.end(), {0x96, static_cast<std::uint8_t>(rng()), 0x00});  // Report Count
                break;
            case 2:
                d.insert(d.end(), {0x85, value});  // Report ID
                break;
            case 3:
                d.insert(d.end(), {0x09, value, 0x15, 0x00, 0x26, 0xFF, 0x00});
                break;
            case 4:
                d.insert(d.end(), {0xA1, 0x00});  // Collection (Physical)
                ++open;
                break;
            case 5:
                if (open > 1) {
                    d.push_back(0xC0);
                    --open;
                }
                break;
            default: {
                static constexpr std::array<std::uint8_t, 3> kMain = {0x81, 0x91, 0xB1};
                d.insert(d.end(), {kMain[rng() % 3], 0x02});  // Input, Output or Feature
                break;
            }
        }
    }
    for (; open > 0; --open) {
        d.push_back(0xC0);
    }
    return d;
}

void randomDescriptors() {
    const std::string k = "hostile: random report descriptors: ";
    std::mt19937 rng(4096);
    int made = 0;
    int refused = 0;
    int opened = 0;
    int sent = 0;
    const Descriptors before = openDescriptors();
    for (int i = 0; i < 12; ++i) {
        Silent handler;
        std::string error;
        auto device =
            hid::uhid::UhidDevice::create({.name = "Random descriptor",
                                           .uniq = "TPG-X-" + std::to_string(i),
                                           .vendorId = link::kGeneratorVendorId,
                                           .productId = link::kGeneratorProductId,
                                           .descriptor = randomDescriptor(rng, i % 3 != 0)},
                                          handler, std::chrono::milliseconds(5), error);
        if (!device || device->waitForNode(std::chrono::milliseconds(500)).empty()) {
            ++refused;  // the kernel's parser refused it: no hidraw node
            continue;
        }
        ++made;
        auto w = std::make_unique<Window>();
        w->window.Form_Load();
        opened += w->window.linkState().deviceAttached ? 1 : 0;
        w->window.userPicked(ControlId::polarity, 1);
        w->tick();
        w->window.Form_Unload();
        sent += handler.sets.load();
    }
    check(made > 0, k + std::to_string(made) + " got a hidraw node, " + std::to_string(refused) +
                        " the kernel refused; " + std::to_string(opened) +
                        " opened by the tool, which ran on");
    checkEqual(sent, 0, k + "no report sent to any of them");
    checkEqual(openDescriptors().total, before.total, k + "descriptors back where they began");
}

// 126 code units, the most a string descriptor holds: ASCII, a lone high
// and a lone low surrogate, a reversed pair and a real pair.
std::u16string hostileSerial() {
    std::u16string units;
    while (units.size() < 126) {
        units += u"TPG";
        units += static_cast<char16_t>(0xD800);
        units += u"-";
        units += static_cast<char16_t>(0xDC00);
        units += static_cast<char16_t>(0xDC01);
        units += static_cast<char16_t>(0xD801);
        units += u"\U0001F4C8";
    }
    units.resize(126);
    return units;
}

std::string readFirstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

void serialWithBadSurrogates() {
    const std::string k = "hostile: a 126-unit serial number with bad surrogates: ";
    hid::usbip::UsbGeneratorSpec spec;
    spec.serialUnits = hostileSerial();
    std::string error;
    auto generator = hid::usbip::UsbVirtualGenerator::create(spec, error);
    check(generator != nullptr, k + "USB generator plugged in", error);
    if (!generator) {
        return;
    }
    // What the kernel made of it, and so what the string query hands the
    // core: at most 50 code units of it.
    std::string sysfs;
    for (int port = 1; port < 20 && sysfs.empty(); ++port) {
        for (const char* bus : {"/sys/bus/usb/devices/1-", "/sys/bus/usb/devices/2-"}) {
            const std::string base = bus + std::to_string(port);
            if (readFirstLine(base + "/idVendor") == "6c3a") {
                sysfs = readFirstLine(base + "/serial");
            }
        }
    }
    check(!sysfs.empty(), k + "the kernel keeps a serial number for it", sysfs);
    std::array<std::uint8_t, 2 * hid::kStringQueryBytes + 1> buffer{};
    hid::hidraw::writeUtf16le(sysfs, std::span(buffer).first(hid::kStringQueryBytes));
    const std::string expected = link::DescriptorStringToText(buffer);

    const Descriptors before = openDescriptors();
    auto w = std::make_unique<Window>();
    w->window.Form_Load();
    checkEqual(join(w->skin.items(ControlId::SerNo)), expected, k + "listed as the rules say");
    check(w->window.linkState().deviceAttached, k + "and opened by that text");
    checkEqual(w->skin.items(ControlId::Vout).size(), std::size_t{511}, k + "the window filled");
    w->tick();
    w->window.Form_Unload();
    checkEqual(openDescriptors().total, before.total, k + "descriptors back where they began");
}

// A uhid generator of its own making that, asked for a report, does not
// answer but destroys itself while the tool waits in the ioctl.
class Vanishing {
  public:
    explicit Vanishing(const std::string& uniq) : phys_("tpg-vanishing/" + uniq) {
        fd_ = ::open("/dev/uhid", O_RDWR | O_CLOEXEC);
        auto event = std::make_unique<uhid_event>();
        std::memset(event.get(), 0, sizeof(uhid_event));
        event->type = UHID_CREATE2;
        auto& c = event->u.create2;
        std::strncpy(reinterpret_cast<char*>(c.name), "Vanishing generator", sizeof(c.name) - 1);
        std::strncpy(reinterpret_cast<char*>(c.phys), phys_.c_str(), sizeof(c.phys) - 1);
        std::strncpy(reinterpret_cast<char*>(c.uniq), uniq.c_str(), sizeof(c.uniq) - 1);
        const Bytes descriptor = hid::uhid::generatorDescriptor(65, 65);
        c.rd_size = static_cast<std::uint16_t>(descriptor.size());
        std::memcpy(c.rd_data, descriptor.data(), descriptor.size());
        c.bus = 0x03;
        c.vendor = link::kGeneratorVendorId;
        c.product = link::kGeneratorProductId;
        made_ = fd_ >= 0 && ::write(fd_, event.get(), sizeof(uhid_event)) ==
                                static_cast<ssize_t>(sizeof(uhid_event));
        if (made_) {
            thread_ = std::thread([this] { run(); });
        }
    }
    ~Vanishing() {
        stop_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
        if (fd_ >= 0) {
            destroy();
        }
    }
    bool made() const { return made_; }
    bool asked() const { return asked_.load(); }
    // Waits for the hidraw node, as the kernel makes it a little later.
    bool waitForNode() const {
        const hid::hidraw::SysfsHidraw sysfs("/sys", "/dev");
        for (int i = 0; i < 200; ++i) {
            for (const auto& node : sysfs.listNodes()) {
                const auto uevent = sysfs.readUevent(node.name);
                if (uevent && hid::hidraw::ueventValue(*uevent, "HID_PHYS") == phys_) {
                    return true;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }

  private:
    void run() {
        auto event = std::make_unique<uhid_event>();
        while (!stop_) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) {
                continue;
            }
            if (::read(fd_, event.get(), sizeof(uhid_event)) <= 0) {
                return;
            }
            if (event->type == UHID_GET_REPORT || event->type == UHID_SET_REPORT) {
                asked_ = true;
                // Long enough for the ioctl to be waiting for the answer.
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                destroy();
                return;
            }
        }
    }
    void destroy() {
        uhid_event event{};
        event.type = UHID_DESTROY;
        [[maybe_unused]] const auto written = ::write(fd_, &event, sizeof(event));
        ::close(fd_);
        fd_ = -1;
    }

    std::string phys_;
    int fd_ = -1;
    bool made_ = false;
    std::atomic<bool> asked_{false};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

void vanishesDuringFeatureIoctl() {
    const std::string k = "hostile: a generator gone in the middle of a feature ioctl: ";
    const Descriptors before = openDescriptors();
    auto generator = std::make_unique<Vanishing>("TPG-V-0030");
    check(generator->made() && generator->waitForNode(), k + "made");
    if (!generator->made()) {
        return;
    }
    auto w = std::make_unique<Window>();
    w->window.Form_Load();  // the state read waits, then fails
    check(generator->asked(), k + "the state read reached it");
    check(w->skin.items(ControlId::Vout).empty(), k + "the read failed: the window stays empty");
    w->tick();
    check(!w->window.linkState().deviceAttached, k + "the next tick drops it, the tool runs on");
    checkEqual(openDescriptors().hidraw, 0, k + "no hidraw descriptor left open");
    w->window.Form_Unload();
    generator.reset();
    checkEqual(openDescriptors().total, before.total, k + "descriptors back where they began");
}

}  // namespace

void runHostileDevices() {
    for (const std::uint16_t length : {1, 7, 19, 4096}) {
        featureLength(length);
    }
    randomDescriptors();
    vanishesDuringFeatureIoctl();
}

void runHostileUsbDevices() {
    serialWithBadSurrogates();
}

}  // namespace tpg::guest
