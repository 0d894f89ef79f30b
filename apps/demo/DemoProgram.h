// Everything the demo runs: the simulated bench with its generators, the
// tool's window in the Qt skin over it, and the bench window beside it.
// A QApplication must exist before one is made.
#pragma once

#include "apps/demo/BenchWindow.h"
#include "hid/sim/DemoBench.h"
#include "hid/sim/SimulatedBench.h"
#include "ui/MainWindow.h"
#include "ui/qt/QtSkin.h"

namespace tpg::demo {

using hid::sim::DemoBench;

class DemoProgram {
  public:
    DemoProgram();
    DemoProgram(const DemoProgram&) = delete;
    DemoProgram& operator=(const DemoProgram&) = delete;
    ~DemoProgram();

    // Plugs the starting generators, loads the tool's window (which shows
    // itself and fills from the last generator listed) and shows the bench
    // window to its right.
    void start();

    hid::sim::SimulatedBench& bench() { return bench_; }
    ui::qt::QtSkin& skin() { return skin_; }
    ui::MainWindow& window() { return window_; }
    BenchWindow& benchWindow() { return benchWindow_; }

  private:
    hid::sim::SimulatedBench bench_;
    DemoBench generators_{bench_};
    ui::qt::QtSkin skin_;
    ui::MainWindow window_{bench_, skin_};
    BenchWindow benchWindow_{generators_};
};

}  // namespace tpg::demo
