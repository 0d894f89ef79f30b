// trelvix-pulse-demo.exe: the tool's window over a bench of simulated
// generators, for trying the window without one, and beside it a bench
// window to unplug, plug in and add generators.
#include <windows.h>

#include "apps/win32/BenchWindow.h"
#include "hid/sim/DemoBench.h"
#include "hid/sim/SimulatedBench.h"
#include "ui/win32/RunWindow.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/,
                    int /*show*/) {
    tpg::hid::sim::SimulatedBench bench;
    tpg::hid::sim::DemoBench generators(bench);
    generators.plugStartingGenerators();
    tpg::demo::win32::BenchWindow benchWindow(generators, instance);
    return tpg::ui::win32::runWindow(bench, instance);
}
