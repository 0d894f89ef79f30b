// trelvix-pulse-demo.exe: the tool's window over a bench of simulated
// devices, for trying the window without a generator: two generators and a
// keyboard that the tool must leave alone.
#include <windows.h>

#include "hid/sim/SimulatedBench.h"
#include "ui/win32/RunWindow.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/,
                    int /*show*/) {
    using namespace tpg::hid::sim;
    SimulatedBench bench;
    bench.plug(foreignSpec("\\\\?\\hid#vid_046d&pid_c31c#keyboard", 0x046D, 0xC31C));
    bench.plug(generatorSpec("\\\\?\\hid#vid_6c3a&pid_4e19#gen-a", u"TPG350-00417"));
    bench.plug(generatorSpec("\\\\?\\hid#vid_6c3a&pid_4e19#gen-b", u"TPG350-01022"));
    return tpg::ui::win32::runWindow(bench, instance);
}
