// The selection rule of the drop-down lists, and the timer control.
#include "Rig.h"

namespace tpg::test {
namespace {

TEST(SelectionRule, WhoRunsTheHandler) {
    struct Case {
        const char* what;
        std::function<void(ui::DropDownList&)> act;
        int runs;
        int selected;
    };
    const Case cases[] = {
        {"add entries", [](ui::DropDownList& l) { l.addItem(3, "d"); }, 0, -1},
        {"remove all", [](ui::DropDownList& l) { l.clear(); }, 0, -1},
        {"select from code", [](ui::DropDownList& l) { l.setSelectedIndex(1); }, 1, 1},
        {"select the same twice",
         [](ui::DropDownList& l) {
             l.setSelectedIndex(2);
             l.setSelectedIndex(2);
         },
         2, 2},
        {"select nothing", [](ui::DropDownList& l) { l.setSelectedIndex(-1); }, 1, -1},
        {"select past the end", [](ui::DropDownList& l) { l.setSelectedIndex(7); }, 1, -1},
        {"user pick", [](ui::DropDownList& l) { l.userPicked(0); }, 1, 0},
        {"user picks the selected entry",
         [](ui::DropDownList& l) {
             l.setSelectedIndex(1);
             l.userPicked(1);
         },
         2, 1},
        {"user pick outside the entries", [](ui::DropDownList& l) { l.userPicked(9); }, 0, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ui::headless::HeadlessSkin skin;
        ui::DropDownList list(skin.listWidget(ControlId::polarity));
        int runs = 0;
        int seen = -2;
        list.setHandler([&] {
            ++runs;
            seen = list.selectedIndex();  // the handler sees the new selection
        });
        for (int i = 0; i < 3; ++i) {
            list.addItem(i, std::string(1, static_cast<char>('a' + i)));
        }
        c.act(list);
        EXPECT_EQ(runs, c.runs);
        EXPECT_EQ(list.selectedIndex(), c.selected);
        if (c.runs > 0) {
            EXPECT_EQ(seen, c.selected);
        }
        EXPECT_EQ(list.text(), c.selected >= 0 ? std::string(1, static_cast<char>('a' + c.selected))
                                               : std::string());
    }
}

TEST(SelectionRule, TimerCountsFreshIntervals) {
    ui::headless::HeadlessSkin skin;
    ui::Timer timer(skin.timerWidget(), 50);
    int ticks = 0;
    skin.clock().setTickHandler([&] { ++ticks; });
    skin.clock().advance(1000);
    EXPECT_EQ(ticks, 0);  // stopped at creation

    timer.setEnabled(true);
    skin.clock().advance(149);
    EXPECT_EQ(ticks, 2);     // 50, 100
    timer.setInterval(500);  // restarts the count
    EXPECT_EQ(skin.clock().untilNextTick(), 500);
    skin.clock().advance(1000);
    EXPECT_EQ(ticks, 4);
    timer.setEnabled(false);
    timer.setInterval(250);  // a stopped timer stays stopped
    skin.clock().advance(1000);
    EXPECT_EQ(ticks, 4);
    timer.setEnabled(true);
    EXPECT_EQ(skin.clock().untilNextTick(), 250);
}

TEST(SelectionRule, WindowAtCreationBeforeStartUp) {
    Rig rig;
    rig.plugGenerator("gen", u"G1");
    const auto& link = rig.link();
    EXPECT_FALSE(hid::isOpen(link.deviceHandle));
    EXPECT_FALSE(hid::isOpen(link.readHandle));
    EXPECT_FALSE(hid::isOpen(link.readEvent));
    EXPECT_FALSE(link.deviceAttached || link.stateLoaded || link.uiReady || link.switchingDevice);
    for (ControlId id :
         {ControlId::SerNo, ControlId::Vout, ControlId::polarity, ControlId::ext_trig_dir}) {
        EXPECT_TRUE(rig.skin.items(id).empty());
        EXPECT_EQ(rig.skin.selectedIndex(id), -1);
    }
    EXPECT_FALSE(rig.skin.clock().running());
    EXPECT_EQ(rig.window.timerInterval(), 50);
    // No handler acts before start-up.
    rig.type(ControlId::Foutput, "1000000");
    rig.press(ControlId::SetFout);
    rig.press(ControlId::Factory);
    rig.window.SerNo_Click();
    EXPECT_TRUE(rig.takeSent().empty());
    EXPECT_EQ(rig.bench.totalCalls(), 0);
    EXPECT_EQ(rig.skin.timesShown(), 0);
}

TEST(SelectionRule, StartUpShowsTheWindowBeforeAnyDeviceWork) {
    struct ShowSpy : ui::headless::HeadlessSkin {
        explicit ShowSpy(const SimulatedBench& b) : bench(b) {}
        void show() override {
            callsWhenShown = bench.totalCalls();
            HeadlessSkin::show();
        }
        const SimulatedBench& bench;
        long callsWhenShown = -1;
    };
    SimulatedBench bench;
    bench.plug(hid::sim::generatorSpec("/dev/hid/gen", u"G1"));
    ShowSpy skin(bench);
    ui::MainWindow window(bench, skin);
    window.Form_Load();
    EXPECT_EQ(skin.callsWhenShown, 0);
    EXPECT_GT(bench.totalCalls(), 0);
    EXPECT_TRUE(window.linkState().deviceAttached);
    EXPECT_TRUE(skin.clock().running());  // started last
}

TEST(SelectionRule, TickDuringAMessageBoxWaitsForTheHandler) {
    // A message box runs an event loop of its own, in which the timer's tick
    // may fall due: it must not run inside the handler that opened the box.
    struct TickingBox : ui::headless::HeadlessSkin {
        ui::MainWindow* window = nullptr;
        SimulatedBench* bench = nullptr;
        int probesInsideBox = -1;
        void messageBox(const std::string& text, const std::string& title) override {
            HeadlessSkin::messageBox(text, title);
            const int before = bench->callCount(Op::ReadInputReport);
            window->timerTick();
            window->timerTick();  // two ticks while open: one runs afterwards
            probesInsideBox = bench->callCount(Op::ReadInputReport) - before;
        }
    };
    SimulatedBench bench;
    bench.plug(hid::sim::generatorSpec("/dev/hid/gen", u"G1"));
    TickingBox skin;
    ui::MainWindow window(bench, skin);
    skin.window = &window;
    skin.bench = &bench;
    window.Form_Load();

    skin.type(ControlId::Foutput, "fast");
    window.buttonPressed(ControlId::SetFout);
    EXPECT_EQ(skin.probesInsideBox, 0);
    EXPECT_EQ(bench.callCount(Op::ReadInputReport), 1);  // the held tick, after the handler
    EXPECT_EQ(skin.focused(), ControlId::Foutput);       // the handler ended first

    // A stopped timer delivers nothing, inside a box or after it.
    window.Timer.setEnabled(false);
    window.buttonPressed(ControlId::SetFout);
    EXPECT_EQ(bench.callCount(Op::ReadInputReport), 1);
}

}  // namespace
}  // namespace tpg::test
