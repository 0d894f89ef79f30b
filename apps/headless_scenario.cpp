// Runs the tool's window with no toolkit over a bench of two simulated
// generators and prints what the window would show: start-up, a setting, a
// switch, unplug and replug.
#include <iostream>

#include "hid/sim/SimulatedBench.h"
#include "ui/MainWindow.h"
#include "ui/headless/HeadlessSkin.h"

namespace {

using tpg::ui::ControlId;
using tpg::ui::ControlKind;

void printWindow(const tpg::ui::headless::HeadlessSkin& skin, const char* heading) {
    std::cout << "--- " << heading << " ---\n";
    for (const auto& r : tpg::ui::kControlTable) {
        if (r.kind == ControlKind::Timer || r.kind == ControlKind::Frame || !r.visible ||
            r.id == ControlId::lblSerialNumber) {
            continue;
        }
        if (r.kind == ControlKind::Label || r.kind == ControlKind::Button) {
            continue;  // fixed captions
        }
        std::cout << "  " << r.name << (skin.isUsable(r.id) ? "" : " (disabled)") << ": \""
                  << skin.text(r.id) << "\"";
        if (r.kind == ControlKind::DropDownList) {
            std::cout << " of " << skin.items(r.id).size() << " entries";
        }
        std::cout << "\n";
    }
}

void printSent(tpg::hid::sim::SimulatedBench& bench) {
    for (const auto& report : bench.sentReports()) {
        std::cout << "  sent to " << report.path << ":";
        for (std::size_t i = 0; i < 8 && i < report.bytes.size(); ++i) {
            static const char* hex = "0123456789ABCDEF";
            std::cout << ' ' << hex[report.bytes[i] >> 4] << hex[report.bytes[i] & 15];
        }
        std::cout << " ...\n";
    }
    bench.clearSentReports();
}

}  // namespace

int main() {
    using namespace tpg;
    hid::sim::SimulatedBench bench;
    bench.plug(hid::sim::foreignSpec("/dev/hid/keyboard", 0x046D, 0xC31C));
    bench.plug(hid::sim::generatorSpec("/dev/hid/gen-a", u"TPG350-00417"));
    bench.plug(hid::sim::generatorSpec("/dev/hid/gen-b", u"TPG350-01022"));

    ui::headless::HeadlessSkin skin;
    ui::MainWindow window(bench, skin);
    skin.clock().setTickHandler([&] { window.timerTick(); });

    window.Form_Load();
    printWindow(skin, "start-up with two generators: the last one is open");

    skin.type(ControlId::Foutput, "125000000");
    window.buttonPressed(ControlId::SetFout);
    std::cout << "--- pulse frequency 125000000 Hz sent ---\n";
    printSent(bench);

    window.userPicked(ControlId::SerNo, 0);
    printWindow(skin, "switched to the first generator");

    bench.unplug("/dev/hid/gen-a");
    skin.clock().advance(*skin.clock().untilNextTick());
    printWindow(skin, "first generator unplugged: the other one is opened");

    bench.unplug("/dev/hid/gen-b");
    skin.clock().advance(*skin.clock().untilNextTick());
    printWindow(skin, "both unplugged: searching");

    bench.plug(hid::sim::generatorSpec("/dev/hid/gen-a", u"TPG350-00417"));
    skin.clock().advance(*skin.clock().untilNextTick());
    printWindow(skin, "first generator plugged in again");

    window.Form_Unload();
    std::cout << "--- closed; device handles still open: " << bench.openDeviceHandles() << " ---\n";
    return 0;
}
