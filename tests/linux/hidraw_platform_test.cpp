#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <string>
#include <vector>

#include "SysfsFixture.h"
#include "hid/linux/HidrawPlatform.h"
#include "link/DescriptorString.h"
#include "link/DeviceLink.h"
#include "ui/MainWindow.h"
#include "ui/headless/HeadlessSkin.h"

namespace tpg::test {
namespace {

using hid::Handle;
using hid::OpenMode;
using hid::StringKind;
using hid::hidraw::HidrawPlatform;

constexpr std::uint16_t kVendor = link::kGeneratorVendorId;
constexpr std::uint16_t kProduct = link::kGeneratorProductId;

// A machine with a keyboard (hidraw0), a generator on USB (hidraw2), a
// foreign device with the generator's vendor but another product (hidraw3),
// a virtual generator with no USB parent (hidraw10) and a foreign virtual
// device (hidraw4).
struct Machine {
    SysfsFixture fs;
    HidrawPlatform platform{hid::hidraw::HidrawConfig{
        .sysfsRoot = fs.sysfsRoot(), .devRoot = fs.devRoot(), .openable = {{kVendor, kProduct}}}};

    Machine() {
        fs.addUsb(0, 0x1234, 0x0001, {"Keys Inc", "Keyboard", std::nullopt, "0110"}, {});
        fs.addUsb(2, kVendor, kProduct, {"Trelvix", "Pulse Generator 350", "TPG350-00417", "0103"},
                  generatorDescriptorBytes());
        fs.addUsb(3, kVendor, 0x0002, {"Trelvix", "Other", "X1", "0100"}, {});
        fs.addVirtual(10, kVendor, kProduct, "Virtual Generator", "TPG-V-7",
                      generatorDescriptorBytes());
        fs.addVirtual(4, 0x4321, 0x0042, "Some Pad", "PAD", {});
    }

    std::string string(Handle handle, StringKind kind, hid::Result& result) {
        std::array<std::uint8_t, 201> buffer{};
        result = platform.getString(handle, kind, std::span(buffer).first(100));
        return link::DescriptorStringToText(buffer);
    }
};

TEST(HidrawPlatform, ListsEveryNodeInNumberOrder) {
    Machine m;
    std::vector<std::string> paths;
    EXPECT_EQ(m.platform.listInterfaces(paths), 1);
    EXPECT_EQ(paths, (std::vector<std::string>{m.fs.devPath(0), m.fs.devPath(2), m.fs.devPath(3),
                                               m.fs.devPath(4), m.fs.devPath(10)}));
}

TEST(HidrawPlatform, OpensOnlyGeneratorsAndReadsTheirIdentity) {
    struct Expect {
        int number;
        bool opens;
        std::uint16_t version = 0;
        std::string manufacturer, product, serial;
    };
    const std::vector<Expect> table = {
        {0, false, 0, {}, {}, {}},
        {2, true, 0x0103, "Trelvix", "Pulse Generator 350", "TPG350-00417"},
        {3, false, 0, {}, {}, {}},
        {4, false, 0, {}, {}, {}},
        {10, true, 0, "Virtual Generator", "Virtual Generator", "TPG-V-7"},
    };
    Machine m;
    std::vector<std::string> paths;
    m.platform.listInterfaces(paths);
    for (const auto& e : table) {
        SCOPED_TRACE("hidraw" + std::to_string(e.number));
        for (const auto mode : {OpenMode::Plain, OpenMode::Overlapped}) {
            const Handle h = m.platform.open(m.fs.devPath(e.number), mode, {});
            // The foreign nodes are plain files here: opening them would
            // succeed, so a refusal means the layer never tried.
            ASSERT_EQ(hid::isOpen(h), e.opens);
            if (!e.opens) {
                continue;
            }
            hid::Attributes attributes;
            EXPECT_EQ(m.platform.getAttributes(h, attributes), 1);
            EXPECT_EQ(attributes.vendorId, kVendor);
            EXPECT_EQ(attributes.productId, kProduct);
            EXPECT_EQ(attributes.versionNumber, e.version);
            hid::Result r = 0;
            EXPECT_EQ(m.string(h, StringKind::Manufacturer, r), e.manufacturer);
            EXPECT_EQ(r, 1);
            EXPECT_EQ(m.string(h, StringKind::Product, r), e.product);
            EXPECT_EQ(r, 1);
            EXPECT_EQ(m.string(h, StringKind::SerialNumber, r), e.serial);
            EXPECT_EQ(r, 1);
            hid::Capabilities caps;
            EXPECT_EQ(m.platform.getCapabilities(h, caps), 1);
            EXPECT_EQ(caps.inputReportByteLength, 65);
            EXPECT_EQ(caps.featureReportByteLength, 65);
            EXPECT_EQ(m.platform.close(h), 1);
        }
    }
    EXPECT_EQ(m.platform.openNodeCount(), 0U);
}

TEST(HidrawPlatform, MissingStringsAndBadDescriptorsFail) {
    SysfsFixture fs;
    fs.addUsb(0, kVendor, kProduct, {std::nullopt, "P", std::nullopt, "zz"}, {0x75, 0x08, 0x96});
    fs.addVirtual(1, kVendor, kProduct, "", "", {0xB4});
    HidrawPlatform platform(
        {.sysfsRoot = fs.sysfsRoot(), .devRoot = fs.devRoot(), .openable = {{kVendor, kProduct}}});
    std::array<std::uint8_t, 100> buffer{};
    for (int n : {0, 1}) {
        SCOPED_TRACE(n);
        const Handle h = platform.open(fs.devPath(n), OpenMode::Plain, {});
        ASSERT_TRUE(hid::isOpen(h));
        EXPECT_EQ(platform.getString(h, StringKind::SerialNumber, buffer), 0);
        EXPECT_EQ(platform.getString(h, StringKind::Manufacturer, buffer), 0);
        EXPECT_EQ(platform.getString(h, StringKind::Product, buffer), n == 0 ? 1 : 0);
        std::array<std::uint8_t, 99> shortBuffer{};
        EXPECT_EQ(platform.getString(h, StringKind::Product, shortBuffer), 0);
        hid::Attributes attributes;
        EXPECT_EQ(platform.getAttributes(h, attributes), 1);
        EXPECT_EQ(attributes.versionNumber, 0) << "unreadable bcdDevice gives 0";
        hid::Capabilities caps{.inputReportByteLength = 7};
        EXPECT_EQ(platform.getCapabilities(h, caps), 0);
        EXPECT_EQ(caps.inputReportByteLength, 7) << "left as it was";
        EXPECT_EQ(platform.close(h), 1);
    }
}

TEST(HidrawPlatform, UnpluggedNodeFailsAndStillCloses) {
    Machine m;
    std::vector<std::string> paths;
    m.platform.listInterfaces(paths);
    const Handle h = m.platform.open(m.fs.devPath(2), OpenMode::Plain, {});
    ASSERT_TRUE(hid::isOpen(h));
    m.fs.remove(2);
    hid::Attributes attributes;
    std::array<std::uint8_t, 100> buffer{};
    EXPECT_EQ(m.platform.getAttributes(h, attributes), 0);
    EXPECT_EQ(m.platform.getString(h, StringKind::SerialNumber, buffer), 0);
    EXPECT_EQ(m.platform.close(h), 1);
    EXPECT_EQ(m.platform.openNodeCount(), 0U);
    // Listed before the unplug, gone now: the open fails.
    EXPECT_FALSE(hid::isOpen(m.platform.open(m.fs.devPath(2), OpenMode::Plain, {})));
    m.platform.listInterfaces(paths);
    EXPECT_EQ(paths.size(), 4U);
}

TEST(HidrawPlatform, ANodeNumberTakenByAnotherDeviceIsReadAfresh) {
    // The listing keeps what it read of a node while the node stays the same
    // entry; an unplug and a new device under the same name must not be
    // answered from what the old one said.
    struct Case {
        std::string what;
        std::uint16_t vendorId;
        std::string serial;
        bool opens;
    };
    const std::vector<Case> table = {
        {"a foreign device", 0x1234, "X", false},
        {"another generator", kVendor, "TPG350-99999", true},
    };
    for (const auto& c : table) {
        SCOPED_TRACE(c.what);
        Machine m;
        std::vector<std::string> paths;
        m.platform.listInterfaces(paths);
        hid::Result r = 0;
        Handle h = m.platform.open(m.fs.devPath(2), OpenMode::Plain, {});
        ASSERT_TRUE(hid::isOpen(h));
        EXPECT_EQ(m.string(h, StringKind::SerialNumber, r), "TPG350-00417");
        m.platform.close(h);

        m.fs.remove(2);
        m.fs.addUsb(2, c.vendorId, kProduct, {"Other", "Thing", c.serial, "0200"},
                    generatorDescriptorBytes());
        m.platform.listInterfaces(paths);
        h = m.platform.open(m.fs.devPath(2), OpenMode::Plain, {});
        ASSERT_EQ(hid::isOpen(h), c.opens);
        if (c.opens) {
            EXPECT_EQ(m.string(h, StringKind::SerialNumber, r), c.serial);
            hid::Attributes attributes;
            EXPECT_EQ(m.platform.getAttributes(h, attributes), 1);
            EXPECT_EQ(attributes.versionNumber, 0x0200);
            m.platform.close(h);
        }
    }
}

TEST(HidrawPlatform, WalksOpenNoDescriptor) {
    // Listing and searching answer from sysfs; the capability query opens
    // the generator found, and the overlapped open holds the probe's
    // descriptor from the start.
    Machine m;
    ui::headless::HeadlessSkin skin;
    ui::MainWindow window(m.platform, skin);
    link::DeviceLink& deviceLink = window.deviceLink();
    deviceLink.Scan_USB_devices();
    EXPECT_EQ(m.platform.descriptorsOpened(), 0U) << "the list rebuild opened a node";
    EXPECT_TRUE(deviceLink.FindTheHid());
    EXPECT_EQ(m.platform.descriptorsOpened(), 2U);
    EXPECT_EQ(m.platform.openDescriptorCount(), 2U);
    deviceLink.closeDevice();
    EXPECT_EQ(m.platform.openDescriptorCount(), 0U);
    EXPECT_EQ(m.platform.openNodeCount(), 0U);
}

TEST(HidrawPlatform, HandlesItDidNotMakeAreLeftAlone) {
    Machine m;
    const int other = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    hid::Attributes attributes;
    std::array<std::uint8_t, 65> report{};
    hid::ReadOverlapped overlapped;
    for (const Handle h : {static_cast<Handle>(other), hid::kNoHandle, Handle{12345}}) {
        EXPECT_EQ(m.platform.getAttributes(h, attributes), 0);
        EXPECT_EQ(m.platform.getFeature(h, report), 0);
        EXPECT_EQ(m.platform.setFeature(h, report), 0);
        EXPECT_EQ(m.platform.readInputReport(h, report, overlapped), 0);
        EXPECT_EQ(m.platform.close(h), 0);
    }
    EXPECT_EQ(::fcntl(other, F_GETFD), FD_CLOEXEC) << "the foreign descriptor is still open";
    ::close(other);

    const Handle event = m.platform.createEvent({});
    EXPECT_TRUE(hid::isOpen(event));
    EXPECT_EQ(m.platform.close(event), 1);
    EXPECT_EQ(m.platform.close(event), 0);
}

TEST(HidrawPlatform, AGeneratorThatMayNotBeWrittenIsSkipped) {
    // hidraw2 is read-only for everyone. Root may write anything, so the
    // check runs in a child that has given up root for "nobody".
    Machine m;
    m.fs.setModes({2});
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
            ::_exit(3);
        }
        const bool refused = !hid::isOpen(m.platform.open(m.fs.devPath(2), OpenMode::Plain, {}));
        ui::headless::HeadlessSkin skin;
        ui::MainWindow window(m.platform, skin);
        window.Form_Load();
        const bool listedOther =
            skin.items(ui::ControlId::SerNo) == std::vector<std::string>{"TPG-V-7"};
        window.Form_Unload();
        ::_exit(refused && listedOther && m.platform.openNodeCount() == 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the read-only generator was opened or listed";
}

TEST(HidrawPlatform, TheWindowOverFixtureNodes) {
    // The core over this layer: both generators listed in node order, the
    // last opened; identity shown. The nodes are plain files, so the state
    // read fails and the window stays as after a failed read.
    Machine m;
    ui::headless::HeadlessSkin skin;
    ui::MainWindow window(m.platform, skin);
    window.Form_Load();
    EXPECT_EQ(skin.items(ui::ControlId::SerNo),
              (std::vector<std::string>{"TPG350-00417", "TPG-V-7"}));
    EXPECT_TRUE(window.linkState().deviceAttached);
    EXPECT_EQ(skin.text(ui::ControlId::lblProduct), " Virtual Generator");
    EXPECT_EQ(skin.text(ui::ControlId::lblVersion), " 0.00");
    EXPECT_EQ(m.platform.openNodeCount(), 2U);

    // The virtual one goes; the probe (an empty file reads nothing) fails and
    // the same tick opens the generator on USB.
    m.fs.remove(10);
    skin.clock().setTickHandler([&] { window.timerTick(); });
    skin.clock().advance(50);
    EXPECT_EQ(skin.items(ui::ControlId::SerNo), (std::vector<std::string>{"TPG350-00417"}));
    EXPECT_TRUE(window.linkState().deviceAttached);
    EXPECT_EQ(skin.text(ui::ControlId::lblManuf), " Trelvix");
    EXPECT_EQ(skin.text(ui::ControlId::lblVersion), " 1.03");
    EXPECT_EQ(window.linkState().capabilities.featureReportByteLength, 65);
    EXPECT_EQ(m.platform.openNodeCount(), 2U);

    window.Form_Unload();
    EXPECT_EQ(m.platform.openNodeCount(), 0U);
}

}  // namespace
}  // namespace tpg::test
