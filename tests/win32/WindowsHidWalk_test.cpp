// The Windows backend on the HID devices that Wine presents of its own (a
// virtual mouse and keyboard of vendor 0x845E): the walk opens, examines and
// closes them, lists no generator and leaves no handle open.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "hid/win32/WindowsHidHeaders.h"
#include "hid/win32/WindowsHidPlatform.h"
#include "link/DescriptorString.h"
#include "ui/MainWindow.h"
#include "ui/headless/HeadlessSkin.h"

namespace tpg::test {
namespace {

using hid::win32::WindowsHidPlatform;

// Wine counts no process handles (GetProcessHandleCount gives 0), so a leak
// shows in the backend's own ledger of what it opened, and each close is
// checked to have ended the handle at once, before anything can reuse it.
bool stillOpen(hid::Handle handle) {
    DWORD flags = 0;
    return GetHandleInformation(reinterpret_cast<HANDLE>(handle), &flags) != 0;
}

std::vector<std::string> presentInterfaces(WindowsHidPlatform& platform) {
    std::vector<std::string> paths;
    EXPECT_NE(platform.listInterfaces(paths), 0);
    return paths;
}

TEST(WindowsHidBackend, RecordSizesAreThoseOfThisWordSize) {
    // 28 and 5 are the 32-bit values; a 64-bit process must hand SetupAPI
    // 32 and 8, or every enumeration and detail query fails.
    if constexpr (sizeof(void*) == 8) {
        EXPECT_EQ(hid::win32::interfaceRecordSize(), 32U);
        EXPECT_EQ(hid::win32::detailRecordSize(), 8U);
    } else {
        EXPECT_EQ(hid::win32::interfaceRecordSize(), 28U);
        EXPECT_EQ(hid::win32::detailRecordSize(), 5U);
    }
}

TEST(WindowsHidBackend, ListsWinesOwnDevicesAndExaminesEach) {
    WindowsHidPlatform platform;
    const auto paths = presentInterfaces(platform);
    ASSERT_GE(paths.size(), 2U) << "Wine's virtual mouse and keyboard";

    int examined = 0;
    for (const auto& path : paths) {
        SCOPED_TRACE(path);
        EXPECT_EQ(path.rfind("\\\\?\\", 0), 0U) << "an interface path";
        const hid::Handle handle =
            platform.open(path, hid::OpenMode::Plain, hid::SecurityAttributes{});
        if (!hid::isOpen(handle)) {
            continue;  // a device may refuse read and write access
        }
        hid::Attributes attributes;
        ASSERT_NE(platform.getAttributes(handle, attributes), 0);
        EXPECT_EQ(attributes.size, 12U);
        EXPECT_NE(attributes.vendorId, 0x6C3A);
        if (attributes.vendorId == 0x845E) {
            ++examined;
            hid::Capabilities caps;
            EXPECT_NE(platform.getCapabilities(handle, caps), 0);
            EXPECT_GT(caps.inputReportByteLength, 0);
            std::array<std::uint8_t, 201> text{};
            if (platform.getString(handle, hid::StringKind::Product, text) != 0) {
                EXPECT_LE(link::DescriptorStringToText(text).size(), 50U * 3);
            }
        }
        EXPECT_TRUE(stillOpen(handle));
        EXPECT_NE(platform.close(handle), 0);
        EXPECT_FALSE(stillOpen(handle));
    }
    EXPECT_GE(examined, 2);
    EXPECT_EQ(platform.openHandleCount(), 0U);
}

TEST(WindowsHidBackend, BadCallsFailWithoutTouchingTheirRecords) {
    WindowsHidPlatform platform;
    const hid::SecurityAttributes security;
    EXPECT_EQ(platform.open("\\\\?\\hid#no_such_device#0#{4d1e55b2-f16f-11cf-88cb-001111000030}",
                            hid::OpenMode::Plain, security),
              hid::kNoHandle);
    EXPECT_EQ(platform.close(hid::kNoHandle), 0);

    hid::Capabilities caps{7, 8, 9};
    EXPECT_EQ(platform.getCapabilities(hid::kNoHandle, caps), 0);
    EXPECT_EQ(caps.featureReportByteLength, 9) << "left as it was";

    std::array<std::uint8_t, 65> buffer{};
    hid::ReadOverlapped record;
    EXPECT_EQ(platform.readInputReport(hid::kNoHandle, buffer, record), 0);
    std::array<std::uint8_t, 10> shortBuffer{};
    EXPECT_EQ(platform.getString(hid::kNoHandle, hid::StringKind::Product, shortBuffer), 0);
    EXPECT_EQ(platform.openHandleCount(), 0U);
}

TEST(WindowsHidBackend, AnOpenRefusedForWantOfAccessIsExplained) {
    // A folder named like a generator's interface: CreateFile refuses a
    // folder opened as a file with ERROR_ACCESS_DENIED, as it refuses a
    // device the user may not open.
    std::array<char, MAX_PATH> temp{};
    ASSERT_NE(GetTempPathA(static_cast<DWORD>(temp.size()), temp.data()), 0U);
    const std::string locked = std::string(temp.data()) + "hid#VID_6C3A&PID_4e19#locked";
    ASSERT_TRUE(CreateDirectoryA(locked.c_str(), nullptr) ||
                GetLastError() == ERROR_ALREADY_EXISTS);
    struct Case {
        std::string path;
        hid::Result result;
        std::uint16_t vendorId;
        std::uint16_t productId;
        bool accessDenied;
    };
    const Case cases[] = {
        {locked, 1, 0x6C3A, 0x4E19, true},
        {std::string(temp.data()) + "hid#vid_6c3a&pid_4e19#absent", 1, 0x6C3A, 0x4E19, false},
        {"\\\\?\\hid#vid_045e&pid_00db&mi_00#8&2#{4d1e55b2-f16f-11cf-88cb-001111000030}", 1, 0x045E,
         0x00DB, false},
        {"\\\\?\\hid#vid_6c3g&pid_4e19#0", 0, 0, 0, false},
        {"\\\\?\\hid#vid_6c3a&pid_4e1", 0, 0, 0, false},
        {"\\\\?\\hid#no_ids#0", 0, 0, 0, false},
    };
    WindowsHidPlatform platform;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(platform.open(c.path, hid::OpenMode::Plain, hid::SecurityAttributes{}),
                  hid::kNoHandle);
        hid::Refusal refusal;
        EXPECT_EQ(platform.explainRefusal(c.path, refusal), c.result);
        if (c.result != 0) {
            EXPECT_EQ(refusal.vendorId, c.vendorId);
            EXPECT_EQ(refusal.productId, c.productId);
            EXPECT_EQ(refusal.accessDenied, c.accessDenied);
        }
    }
    EXPECT_EQ(platform.openHandleCount(), 0U);
    RemoveDirectoryA(locked.c_str());
}

TEST(WindowsHidBackend, EventsAreUnnamedManualResetAndSignalled) {
    WindowsHidPlatform platform;
    const hid::Handle first = platform.createEvent(hid::SecurityAttributes{});
    const hid::Handle second = platform.createEvent(hid::SecurityAttributes{});
    ASSERT_TRUE(hid::isOpen(first));
    ASSERT_TRUE(hid::isOpen(second));
    const auto native = [](hid::Handle h) { return reinterpret_cast<HANDLE>(h); };
    // Signalled at creation and still after a wait: manual reset.
    EXPECT_EQ(WaitForSingleObject(native(first), 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(native(first), 0), WAIT_OBJECT_0);
    // Unnamed: the second is an object of its own, not the first opened again.
    ResetEvent(native(first));
    EXPECT_EQ(WaitForSingleObject(native(second), 0), WAIT_OBJECT_0);
    EXPECT_EQ(platform.openHandleCount(), 2U);
    EXPECT_NE(platform.close(first), 0);
    EXPECT_NE(platform.close(second), 0);
    EXPECT_FALSE(stillOpen(first));
    EXPECT_FALSE(stillOpen(second));
    EXPECT_EQ(platform.openHandleCount(), 0U);
}

TEST(WindowsHidBackend, AProbeWithNoReportWaitingIsCancelledAndAwaited) {
    WindowsHidPlatform platform;
    const hid::SecurityAttributes security;
    const hid::Handle event = platform.createEvent(security);
    int probed = 0;
    for (const auto& path : presentInterfaces(platform)) {
        const hid::Handle handle = platform.open(path, hid::OpenMode::Overlapped, security);
        if (!hid::isOpen(handle)) {
            continue;
        }
        hid::Capabilities caps;
        ASSERT_NE(platform.getCapabilities(handle, caps), 0);
        std::vector<std::uint8_t> buffer(caps.inputReportByteLength, 0xAA);
        hid::ReadOverlapped record{0, 0, event};
        // Nobody moves the virtual mouse: no report is waiting.
        EXPECT_EQ(platform.readInputReport(handle, buffer, record), 0);
        EXPECT_EQ(platform.close(handle), 1);
        ++probed;
        // The buffer is not written after the call returned and the handle closed.
        Sleep(20);
        EXPECT_EQ(buffer, std::vector<std::uint8_t>(caps.inputReportByteLength, 0xAA));
    }
    EXPECT_GE(probed, 2);
    EXPECT_EQ(platform.cancelledReads(), probed);
    EXPECT_NE(platform.close(event), 0);
    EXPECT_EQ(platform.openHandleCount(), 0U);
}

// The Windows backend with every call counted on its way through.
class CountingPlatform : public hid::HidPlatform {
  public:
    hid::Result listInterfaces(std::vector<std::string>& paths) override {
        const auto r = real.listInterfaces(paths);
        lastListed = paths.size();
        return r;
    }
    hid::Handle open(const std::string& path, hid::OpenMode mode,
                     const hid::SecurityAttributes& security) override {
        const auto h = real.open(path, mode, security);
        opened += hid::isOpen(h) ? 1 : 0;
        return h;
    }
    hid::Result getAttributes(hid::Handle h, hid::Attributes& attributes) override {
        ++attributeQueries;
        return real.getAttributes(h, attributes);
    }
    hid::Result getString(hid::Handle h, hid::StringKind kind,
                          std::span<std::uint8_t> buffer) override {
        ++stringQueries;
        return real.getString(h, kind, buffer);
    }
    hid::Result getCapabilities(hid::Handle h, hid::Capabilities& caps) override {
        return real.getCapabilities(h, caps);
    }
    hid::Result setFeature(hid::Handle h, std::span<const std::uint8_t> report) override {
        ++featureReports;
        return real.setFeature(h, report);
    }
    hid::Result getFeature(hid::Handle h, std::span<std::uint8_t> report) override {
        ++featureReports;
        return real.getFeature(h, report);
    }
    hid::Handle createEvent(const hid::SecurityAttributes& security) override {
        return real.createEvent(security);
    }
    hid::Result readInputReport(hid::Handle h, std::span<std::uint8_t> buffer,
                                hid::ReadOverlapped& overlapped) override {
        return real.readInputReport(h, buffer, overlapped);
    }
    hid::Result close(hid::Handle h) override {
        const auto r = real.close(h);
        closed += r != 0 ? 1 : 0;
        return r;
    }

    WindowsHidPlatform real;
    std::size_t lastListed = 0;
    int opened = 0;
    int closed = 0;
    int attributeQueries = 0;
    int stringQueries = 0;
    int featureReports = 0;
};

TEST(WindowsHidBackend, TheToolExaminesWinesDevicesFindsNoGeneratorAndLeavesNothingOpen) {
    CountingPlatform platform;
    ui::headless::HeadlessSkin skin;
    ui::MainWindow window(platform, skin);

    // Start-up walks the interfaces twice: the list rebuild and FindTheHid.
    window.Form_Load();
    ASSERT_GE(platform.lastListed, 2U);
    const int walked = static_cast<int>(2 * platform.lastListed);
    EXPECT_EQ(platform.opened, walked) << "every interface opened for examination";
    EXPECT_EQ(platform.attributeQueries, walked);
    EXPECT_EQ(platform.closed, walked) << "and closed again";
    EXPECT_EQ(platform.stringQueries, 0) << "no serial number asked of a foreign device";
    EXPECT_FALSE(window.linkState().deviceAttached);
    EXPECT_EQ(window.SerNo.count(), 0);
    EXPECT_FALSE(skin.isEnabled(ui::ControlId::SerNo));
    EXPECT_EQ(platform.real.openHandleCount(), 0U);

    // The connection monitor's rescans, as the timer runs them.
    skin.clock().setTickHandler([&] { window.timerTick(); });
    skin.clock().advance(150);  // three ticks of 50 ms
    EXPECT_EQ(platform.opened, 4 * walked);
    EXPECT_EQ(platform.closed, platform.opened);
    EXPECT_FALSE(window.linkState().deviceAttached);
    window.Form_Unload();
    EXPECT_EQ(platform.featureReports, 0);
    EXPECT_EQ(platform.real.openHandleCount(), 0U);
}

}  // namespace
}  // namespace tpg::test
