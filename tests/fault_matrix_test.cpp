// One scripted session, run again and again with one platform call failing
// each time, in turn: whatever fails, the program runs on, no report leaves
// outside the guards, and after shutdown no device handle is open.
#include "GuardedBench.h"
#include "Rig.h"

namespace tpg::test {
namespace {

struct Session {
    GuardedBench bench;
    ui::headless::HeadlessSkin skin;
    ui::MainWindow window{bench, skin};

    Session() {
        bench.link = &window.linkState();
        skin.clock().setTickHandler([this] { window.timerTick(); });
        bench.plug(hid::sim::foreignSpec("/dev/hid/kbd", 0x046D, 0xC31C));
        bench.plug(hid::sim::generatorSpec("/dev/hid/a", u"A"));
        bench.plug(hid::sim::foreignSpec("/dev/hid/ups", 0x6C3A, 0x0001));
        bench.plug(hid::sim::generatorSpec("/dev/hid/b", u"B"));
    }

    void tick() {
        if (const auto wait = skin.clock().untilNextTick()) {
            skin.clock().advance(*wait);
        }
    }

    // Everything a user might do in one sitting.
    void run(long failAt) {
        if (failAt > 0) {
            bench.failNthCall(failAt);
        }
        window.Form_Load();
        tick();
        skin.type(ControlId::Foutput, "12500000.5");
        window.buttonPressed(ControlId::SetFout);
        window.userPicked(ControlId::Vout, 400);
        window.userPicked(ControlId::ext_trig_dir, 1);
        skin.type(ControlId::ext_sync_freq, "250000000");
        window.buttonPressed(ControlId::SetFsync);
        window.userPicked(ControlId::SerNo, 0);
        tick();
        window.userPicked(ControlId::polarity, 0);
        bench.unplug("/dev/hid/a");
        tick();
        tick();
        bench.plug(hid::sim::generatorSpec("/dev/hid/a", u"A"));
        tick();
        window.userPicked(ControlId::SerNo, 0);
        window.buttonPressed(ControlId::Factory);
        tick();
        window.Form_Unload();
    }
};

TEST(FaultMatrix, EveryPlatformCallFailingOnceInTurn) {
    long calls = 0;
    {
        Session clean;
        clean.run(0);
        calls = clean.bench.totalCalls();
        EXPECT_EQ(clean.bench.sendsOutsideGuards, 0);
        // Four settings, the polarity, then the eight reports of the defaults.
        EXPECT_EQ(clean.bench.sentReports().size(), 13u);
        EXPECT_EQ(clean.bench.openDeviceHandles(), 0);
    }
    ASSERT_GT(calls, 100);
    for (long failAt = 1; failAt <= calls; ++failAt) {
        SCOPED_TRACE(failAt);
        Session session;
        session.run(failAt);
        EXPECT_EQ(session.bench.sendsOutsideGuards, 0);
        EXPECT_EQ(session.bench.openDeviceHandles(), 0);
        EXPECT_LE(session.bench.openEvents(), 1);
        EXPECT_FALSE(session.skin.clock().running());
        for (const auto& sent : session.bench.sentReports()) {
            EXPECT_EQ(sent.bytes.size(), 65u);
            EXPECT_EQ(sent.bytes[0], 0);
        }
    }
}

}  // namespace
}  // namespace tpg::test
