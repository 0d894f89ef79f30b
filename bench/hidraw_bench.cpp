// One rescan tick of the connection monitor (the list rebuild and the search
// for the selected generator: two walks of every HID interface) over the
// hidraw layer, against a sysfs-shaped tree of 30 foreign devices and 2
// generators. Side by side: the same tick with the layer holding a descriptor
// from every open on (as it did before it opened on first use), and with
// such a layer opening every node it lists, as a walk that asks each device
// for its IDs would.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "EagerOpenPlatform.h"
#include "SysfsFixture.h"
#include "hid/linux/HidrawPlatform.h"
#include "link/DeviceLink.h"

namespace {

using tpg::hid::hidraw::DeviceId;

class BenchSerialList : public tpg::link::SerialListControl {
  public:
    void clear() override {
        items_.clear();
        selected_ = -1;
    }
    void addItem(int index, const std::string& text) override {
        items_.insert(items_.begin() + index, text);
    }
    void setSelectedIndex(int index) override { selected_ = index; }
    std::string text() const override {
        return selected_ < 0 ? std::string() : items_[static_cast<std::size_t>(selected_)];
    }
    void setEnabled(bool /*enabled*/) override {}

  private:
    std::vector<std::string> items_;
    int selected_ = -1;
};

class BenchTimer : public tpg::link::LinkTimer {
  public:
    void setEnabled(bool /*enabled*/) override {}
    void setInterval(int /*milliseconds*/) override {}
};

class BenchHost : public tpg::link::LinkHost {
  public:
    tpg::link::SerialListControl& serialList() override { return list_; }
    tpg::link::LinkTimer& linkTimer() override { return timer_; }
    void refreshDeviceState() override {}
    void showWindow() override {}

  private:
    BenchSerialList list_;
    BenchTimer timer_;
};

constexpr int kForeignDevices = 30;
constexpr std::uint16_t kForeignVendor = 0x1000;

// 30 foreign devices (half on USB, half without a USB parent), then the two
// generators.
std::string foreignSerial(int i) {
    std::string serial("F");
    serial += std::to_string(i);
    return serial;
}

void buildMachine(tpg::test::SysfsFixture& fs) {
    const auto descriptor = tpg::test::generatorDescriptorBytes();
    for (int i = 0; i < kForeignDevices; ++i) {
        const auto product = static_cast<std::uint16_t>(i + 1);
        if (i % 2 == 0) {
            fs.addUsb(i, kForeignVendor, product, {"Maker", "Device", foreignSerial(i)},
                      descriptor);
        } else {
            fs.addVirtual(i, kForeignVendor, product, "Device", foreignSerial(i), descriptor);
        }
    }
    fs.addUsb(kForeignDevices, tpg::link::kGeneratorVendorId, tpg::link::kGeneratorProductId,
              {"Trelvix", "Pulse Generator", "TPG-1"}, descriptor);
    fs.addUsb(kForeignDevices + 1, tpg::link::kGeneratorVendorId, tpg::link::kGeneratorProductId,
              {"Trelvix", "Pulse Generator", "TPG-2"}, descriptor);
}

enum class Opening { OnFirstUse, EveryGeneratorWalked, EveryNodeWalked };

void rescanTicks(benchmark::State& state, Opening opening) {
    const bool openEveryNode = opening == Opening::EveryNodeWalked;
    tpg::test::SysfsFixture fs;
    buildMachine(fs);
    std::vector<DeviceId> openable = {
        {tpg::link::kGeneratorVendorId, tpg::link::kGeneratorProductId}};
    if (openEveryNode) {
        for (int i = 0; i < kForeignDevices; ++i) {
            openable.push_back({kForeignVendor, static_cast<std::uint16_t>(i + 1)});
        }
    }
    tpg::hid::hidraw::HidrawPlatform hidraw(
        {.sysfsRoot = fs.sysfsRoot(), .devRoot = fs.devRoot(), .openable = openable});
    tpg::test::EagerOpenPlatform eager(hidraw);
    tpg::hid::HidPlatform& platform =
        opening == Opening::OnFirstUse ? static_cast<tpg::hid::HidPlatform&>(hidraw) : eager;
    tpg::link::LinkState link;
    BenchHost host;
    tpg::link::DeviceLink deviceLink(platform, link, host);

    while (state.KeepRunning()) {
        deviceLink.Scan_USB_devices();
        link.deviceAttached = deviceLink.FindTheHid();
        if (!link.deviceAttached) {
            state.SkipWithError("no generator opened");
            break;
        }
        deviceLink.closeDevice();
        link.deviceAttached = false;
    }
    state.counters["nodes"] = kForeignDevices + 2;
}

void BM_RescanTick_OpensOnFirstUse(benchmark::State& state) {
    rescanTicks(state, Opening::OnFirstUse);
}
void BM_RescanTick_OpensGeneratorsWalked(benchmark::State& state) {
    rescanTicks(state, Opening::EveryGeneratorWalked);
}
void BM_RescanTick_OpensEveryNodeWalked(benchmark::State& state) {
    rescanTicks(state, Opening::EveryNodeWalked);
}

BENCHMARK(BM_RescanTick_OpensOnFirstUse)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RescanTick_OpensGeneratorsWalked)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RescanTick_OpensEveryNodeWalked)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
