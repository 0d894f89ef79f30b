// The connection monitor on the virtual clock: probes, lost links, rescans.
#include "Rig.h"

namespace tpg::test {
namespace {

TEST(ConnectionMonitor, SearchesEvery50msFromAStartWithoutGenerator) {
    Rig rig;
    rig.plugForeign("kbd", 0x046D, 0xC31C);
    rig.start();
    EXPECT_TRUE(rig.skin.clock().running());
    for (int tick = 0; tick < 3; ++tick) {
        const int lists = rig.bench.callCount(Op::ListInterfaces);
        EXPECT_EQ(rig.nextTick(), 50);
        // Each rescan walks the interfaces twice: the list, then discovery.
        EXPECT_EQ(rig.bench.callCount(Op::ListInterfaces), lists + 2);
    }
    rig.plugGenerator("gen", u"G1");
    EXPECT_EQ(rig.nextTick(), 50);
    EXPECT_TRUE(rig.link().deviceAttached);
    EXPECT_EQ(rig.text(ControlId::lblManuf), " Trelvix Instruments");
    // From now on the tick probes; a good probe sets 500 ms.
    EXPECT_EQ(rig.nextTick(), 50);
    EXPECT_EQ(rig.bench.callCount(Op::ReadInputReport), 1);
    EXPECT_EQ(rig.nextTick(), 500);
    EXPECT_EQ(rig.nextTick(), 500);
    EXPECT_EQ(rig.bench.callCount(Op::ReadInputReport), 3);
}

TEST(ConnectionMonitor, UnplugEmptiesTheWindowAndReplugFillsIt) {
    Rig rig;
    rig.plugGenerator("gen", u"G1",
                      {.pulseFrequency = 123456,
                       .amplitudeIndex = 0,
                       .polarityIndex = 0,
                       .triggerSyncFunction = 0,
                       .syncFrequency = 5000000});
    rig.start();
    rig.nextTick();  // 50 ms: good probe
    ASSERT_EQ(rig.text(ControlId::Foutput), "123456");

    rig.bench.unplug(Rig::path("gen"));
    EXPECT_EQ(rig.nextTick(), 500);
    EXPECT_FALSE(rig.link().deviceAttached);
    EXPECT_FALSE(rig.link().stateLoaded);
    EXPECT_EQ(rig.bench.openDeviceHandles(), 0);
    EXPECT_EQ(rig.text(ControlId::Foutput), "");
    EXPECT_EQ(rig.text(ControlId::lblManuf), "");
    EXPECT_TRUE(rig.skin.items(ControlId::SerNo).empty());
    EXPECT_FALSE(rig.usable(ControlId::Factory));

    EXPECT_EQ(rig.nextTick(), 250);  // still searching
    rig.plugGenerator("gen", u"G1",
                      {.pulseFrequency = 654321,
                       .amplitudeIndex = 1,
                       .polarityIndex = 1,
                       .triggerSyncFunction = 1,
                       .syncFrequency = 5000000});
    EXPECT_EQ(rig.nextTick(), 250);
    EXPECT_TRUE(rig.link().deviceAttached);
    EXPECT_EQ(rig.text(ControlId::Foutput), "654321");
    EXPECT_EQ(rig.text(ControlId::Vout), "52");
    EXPECT_TRUE(rig.usable(ControlId::ext_sync_freq));
    EXPECT_EQ(rig.nextTick(), 250);  // the first probe after the reopen
    EXPECT_EQ(rig.nextTick(), 500);
    EXPECT_TRUE(rig.takeSent().empty());
}

TEST(ConnectionMonitor, LosingOneOfTwoOpensTheOtherInTheSameTick) {
    Rig rig;
    rig.plugGenerator("a", u"A");
    rig.plugGenerator("b", u"B");
    rig.start();
    rig.bench.unplug(Rig::path("b"));
    rig.nextTick();
    EXPECT_TRUE(rig.link().deviceAttached);
    EXPECT_EQ(rig.bench.openHandles(Rig::path("a")), 2);
    EXPECT_EQ(rig.skin.items(ControlId::SerNo), std::vector<std::string>{"A"});
    EXPECT_FALSE(rig.skin.isEnabled(ControlId::SerNo));
    EXPECT_EQ(rig.nextTick(), 250);
}

TEST(ConnectionMonitor, GeneratorWithNoInputReportIsReopenedAtEveryProbe) {
    Rig rig;
    rig.plugGenerator("gen", u"G1").inputReportWaiting = false;
    rig.start();
    for (int i = 0; i < 3; ++i) {
        const int opens = rig.bench.callCount(Op::Open, Rig::path("gen"));
        rig.nextTick();
        EXPECT_EQ(rig.bench.callCount(Op::Open, Rig::path("gen")), opens + 3);
        EXPECT_TRUE(rig.link().deviceAttached);
        EXPECT_EQ(rig.bench.openHandles(Rig::path("gen")), 2);
    }
    EXPECT_EQ(rig.nextTick(), 250);
}

TEST(ConnectionMonitor, GoodProbeWhileSwitchingDropsTheLink) {
    Rig rig;
    rig.plugGenerator("gen", u"G1");
    rig.start();
    rig.window.linkState().switchingDevice = true;
    const hid::Handle before = rig.link().deviceHandle;
    rig.nextTick();
    EXPECT_EQ(rig.bench.callCount(Op::ReadInputReport), 1);
    EXPECT_NE(rig.link().deviceHandle, before);  // closed and opened again
    EXPECT_TRUE(rig.link().deviceAttached);
    EXPECT_FALSE(rig.link().switchingDevice);  // the rescan opened a device
    EXPECT_EQ(rig.bench.openDeviceHandles(), 2);
    EXPECT_EQ(rig.nextTick(), 250);
}

TEST(ConnectionMonitor, RescanThatOpensNothingKeepsSwitching) {
    Rig rig;
    rig.plugGenerator("a", u"A");
    rig.plugGenerator("b", u"B");
    rig.start();
    rig.bench.unplug(Rig::path("a"));
    rig.bench.unplug(Rig::path("b"));
    rig.pick(ControlId::SerNo, 0);
    ASSERT_TRUE(rig.link().switchingDevice);
    rig.nextTick();
    EXPECT_FALSE(rig.link().deviceAttached);
    EXPECT_TRUE(rig.link().switchingDevice);
}

TEST(ConnectionMonitor, TimerIsStoppedDuringAndRestartedAfterASwitch) {
    Rig rig;
    rig.plugGenerator("a", u"A");
    rig.plugGenerator("b", u"B");
    rig.start();
    rig.nextTick();
    rig.skin.clock().advance(100);  // 400 ms left of the 500 ms interval
    rig.pick(ControlId::SerNo, 0);
    EXPECT_EQ(rig.skin.clock().untilNextTick(), 250);  // a fresh interval
}

}  // namespace
}  // namespace tpg::test
