// What the Qt window costs: a read-back through the real widgets (the 511
// amplitude entries included) and the demo's start-up to the first paint of
// the tool's window. Runs on Qt's offscreen platform unless another is set.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <chrono>

#include "apps/demo/DemoProgram.h"
#include "hid/sim/SimulatedBench.h"
#include "ui/MainWindow.h"
#include "ui/qt/QtSkin.h"

namespace {

using tpg::ui::ControlId;

// Notes the first paint of the widget it watches.
class FirstPaint : public QObject {
  public:
    bool painted = false;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            painted = true;
        }
        return QObject::eventFilter(watched, event);
    }
};

void RefreshDeviceStateQt(benchmark::State& state) {
    const bool repaint = state.range(0) != 0;
    tpg::hid::sim::SimulatedBench bench;
    bench.plug(tpg::hid::sim::generatorSpec("/dev/hidraw3", u"TPG35-20417"));
    tpg::ui::qt::QtSkin skin;
    tpg::ui::MainWindow window(bench, skin);
    skin.attach(window);
    window.Form_Load();
    window.Timer.setEnabled(false);  // no monitor ticks between the runs
    QApplication::processEvents();
    const auto* vout = qobject_cast<QComboBox*>(skin.widget(ControlId::Vout));
    for (auto _ : state) {
        (void)_;
        window.RefreshDeviceState();
        if (repaint) {
            QApplication::processEvents();
        }
    }
    if (vout->count() != 511 || vout->currentIndex() != 339 || !bench.sentReports().empty()) {
        state.SkipWithError("the read-back did not fill the window as expected");
    }
    state.counters["amplitude entries"] = vout->count();
    skin.detach();
}
BENCHMARK(RefreshDeviceStateQt)->ArgName("repaint")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void DemoStartupToFirstPaint(benchmark::State& state) {
    for (auto _ : state) {
        (void)_;
        const auto begin = std::chrono::steady_clock::now();
        {
            tpg::demo::DemoProgram demo;
            FirstPaint watcher;
            demo.skin().window().installEventFilter(&watcher);
            demo.start();
            while (!watcher.painted) {
                QApplication::processEvents(QEventLoop::AllEvents, 5);
            }
            const auto end = std::chrono::steady_clock::now();
            state.SetIterationTime(std::chrono::duration<double>(end - begin).count());
            demo.skin().window().removeEventFilter(&watcher);
            demo.skin().window().close();
            demo.benchWindow().close();
        }
        QApplication::processEvents();
    }
}
BENCHMARK(DemoStartupToFirstPaint)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
