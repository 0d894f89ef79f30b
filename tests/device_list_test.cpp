// The serial-number list and switching between generators.
#include "Rig.h"

namespace tpg::test {
namespace {

TEST(DeviceList, RebuildListsGeneratorsInOrderAndSelectsTheLast) {
    struct Case {
        std::vector<std::u16string> serials;  // in enumeration order
        std::vector<std::string> listed;
        std::string selected;
        bool enabled;
    };
    const Case cases[] = {
        {{}, {}, "", false},
        {{u"A"}, {"A"}, "A", false},
        {{u"A", u"B"}, {"A", "B"}, "B", true},
        {{u"A", u"B", u"C"}, {"A", "B", "C"}, "C", true},
        {{u"Z", u"A", u"M"}, {"Z", "A", "M"}, "M", true},  // not sorted
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.listed.size());
        Rig rig;
        rig.plugForeign("kbd", 0x046D, 0xC31C);
        for (std::size_t i = 0; i < c.serials.size(); ++i) {
            rig.plugGenerator("gen" + std::to_string(i), c.serials[i]);
        }
        rig.start();
        EXPECT_EQ(rig.skin.items(ControlId::SerNo), c.listed);
        EXPECT_EQ(rig.text(ControlId::SerNo), c.selected);
        EXPECT_EQ(rig.skin.isEnabled(ControlId::SerNo), c.enabled);
        EXPECT_EQ(rig.link().deviceAttached, !c.serials.empty());
        if (!c.serials.empty()) {
            EXPECT_EQ(
                rig.bench.openHandles(Rig::path("gen" + std::to_string(c.serials.size() - 1))), 2);
        }
        EXPECT_EQ(rig.bench.openDeviceHandles(), c.serials.empty() ? 0 : 2);
        EXPECT_FALSE(rig.link().switchingDevice);  // the rebuild's selections switch nothing
    }
}

TEST(DeviceList, PickingAnotherGeneratorSwitchesTheLink) {
    Rig rig;
    rig.plugGenerator("a", u"A",
                      {.pulseFrequency = 1000000,
                       .amplitudeIndex = 10,
                       .polarityIndex = 0,
                       .triggerSyncFunction = 1,
                       .syncFrequency = 2000000});
    rig.plugGenerator("b", u"B");
    rig.plugGenerator("c", u"C");
    rig.start();
    ASSERT_EQ(rig.bench.openHandles(Rig::path("c")), 2);
    rig.nextTick();  // one good probe: the interval is 500 ms now

    rig.bench.clearCallCounts();
    rig.pick(ControlId::SerNo, 0);
    // Closed both old handles, opened exactly two new ones, listed nothing.
    EXPECT_EQ(rig.bench.callCount(Op::Close), 2);
    EXPECT_EQ(rig.bench.callCount(Op::Open), 2);
    EXPECT_EQ(rig.bench.callCount(Op::ListInterfaces), 1);
    EXPECT_EQ(rig.bench.openHandles(Rig::path("c")), 0);
    EXPECT_EQ(rig.bench.openHandles(Rig::path("a")), 2);
    EXPECT_EQ(rig.bench.openDeviceHandles(), 2);
    EXPECT_EQ(rig.text(ControlId::Foutput), "1000000");
    EXPECT_EQ(rig.text(ControlId::Vout), "80");
    EXPECT_EQ(rig.text(ControlId::polarity), "Inverted");
    EXPECT_EQ(rig.text(ControlId::ext_trig_dir), "Sync input");
    EXPECT_EQ(rig.text(ControlId::ext_sync_freq), "2000000");
    EXPECT_EQ(rig.text(ControlId::SerNo), "A");
    EXPECT_FALSE(rig.link().switchingDevice);
    EXPECT_TRUE(rig.link().uiReady);
    EXPECT_TRUE(rig.takeSent().empty());  // a switch sends nothing
    EXPECT_EQ(rig.nextTick(), 250);
}

TEST(DeviceList, PickingTheOpenGeneratorReopensIt) {
    Rig rig;
    rig.plugGenerator("a", u"A");
    rig.plugGenerator("b", u"B");
    rig.start();
    const int opens = rig.bench.callCount(Op::Open, Rig::path("b"));
    const int reads = rig.bench.callCount(Op::GetFeature, Rig::path("b"));
    rig.pick(ControlId::SerNo, 1);
    EXPECT_EQ(rig.bench.callCount(Op::Open, Rig::path("b")), opens + 2);
    EXPECT_EQ(rig.bench.callCount(Op::GetFeature, Rig::path("b")), reads + 1);
    EXPECT_EQ(rig.bench.openHandles(Rig::path("b")), 2);
}

TEST(DeviceList, SwitchToAVanishedGeneratorEndsSearching) {
    Rig rig;
    rig.plugGenerator("a", u"A");
    rig.plugGenerator("b", u"B");
    rig.start();
    rig.bench.unplug(Rig::path("a"));
    rig.pick(ControlId::SerNo, 0);  // still listed: the list is not rebuilt by a switch
    EXPECT_FALSE(rig.link().deviceAttached);
    EXPECT_TRUE(rig.link().switchingDevice);
    EXPECT_EQ(rig.bench.openDeviceHandles(), 0);
    EXPECT_EQ(rig.text(ControlId::lblManuf), "");
    EXPECT_FALSE(rig.usable(ControlId::Vout));
    EXPECT_TRUE(rig.skin.clock().running());

    // The next tick rescans, lists b alone and opens it.
    EXPECT_EQ(rig.nextTick(), 250);
    EXPECT_EQ(rig.skin.items(ControlId::SerNo), std::vector<std::string>{"B"});
    EXPECT_TRUE(rig.link().deviceAttached);
    EXPECT_FALSE(rig.link().switchingDevice);
    EXPECT_EQ(rig.bench.openHandles(Rig::path("b")), 2);
}

TEST(DeviceList, AfterALostLinkTheLastGeneratorIsSelectedAgain) {
    Rig rig;
    rig.plugGenerator("a", u"A");
    rig.plugGenerator("b", u"B");
    rig.plugGenerator("c", u"C");
    rig.start();
    rig.pick(ControlId::SerNo, 0);
    ASSERT_EQ(rig.text(ControlId::SerNo), "A");
    rig.bench.device(Rig::path("a"))->inputReportWaiting = false;  // its next probe fails
    rig.nextTick();
    EXPECT_EQ(rig.text(ControlId::SerNo), "C");
    EXPECT_EQ(rig.bench.openHandles(Rig::path("c")), 2);
    EXPECT_EQ(rig.bench.openHandles(Rig::path("a")), 0);
}

// A state read that fails, once or always, never leaves the window dead: the
// monitor reads back once a tick until a read succeeds, settings go out only
// after it, and a user's pick switches even while the state is unread.
TEST(DeviceList, FailedStateReadsAreReadAgainAndPicksStillSwitch) {
    struct Case {
        const char* what;
        bool alwaysFails;  // else the first read of b fails once
        bool twoGenerators;
    };
    const Case cases[] = {
        {"one generator, first read fails", false, false},
        {"b's first read fails, a is picked", false, true},
        {"b's reads always fail", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Rig rig;
        if (c.twoGenerators) {
            rig.plugGenerator("a", u"A", {30000000, 5, 0, 0, 2000000});
        }
        rig.plugGenerator("b", u"B", {20000000, 7, 1, 0, 3000000});
        const std::string b = Rig::path("b");
        (c.alwaysFails ? rig.bench.failAlways(Op::GetFeature, b)
                       : rig.bench.failOnce(Op::GetFeature, b));
        rig.start();
        ASSERT_TRUE(rig.link().deviceAttached);
        ASSERT_FALSE(rig.link().uiReady);
        rig.type(ControlId::Foutput, "25000");
        rig.press(ControlId::SetFout);
        EXPECT_TRUE(rig.takeSent().empty()) << "nothing goes out before a read";

        // The first tick reads again; after a good read the ticks only probe.
        const int reads = rig.bench.callCount(Op::GetFeature, b);
        rig.nextTick();
        EXPECT_EQ(rig.bench.callCount(Op::GetFeature, b), reads + 1);
        EXPECT_EQ(rig.link().uiReady, !c.alwaysFails);
        EXPECT_EQ(rig.text(ControlId::Foutput), c.alwaysFails ? "" : "20000000");
        rig.nextTick();
        rig.nextTick();
        EXPECT_EQ(rig.bench.callCount(Op::GetFeature, b), reads + (c.alwaysFails ? 3 : 1));
        rig.pick(ControlId::polarity, 0);
        EXPECT_EQ(rig.takeSent(), c.alwaysFails ? std::vector<Bytes>{}
                                                : std::vector<Bytes>{report({0, 3, 0, 0, 0})});

        if (c.twoGenerators) {
            rig.pick(ControlId::SerNo, 0);
            EXPECT_TRUE(rig.link().uiReady);
            EXPECT_EQ(rig.text(ControlId::Foutput), "30000000");
            EXPECT_EQ(rig.bench.openHandles(b), 0);
            rig.pick(ControlId::Vout, 9);
            ASSERT_EQ(rig.bench.sentReports().size(), 1U);
            EXPECT_EQ(rig.bench.sentReports()[0].path, Rig::path("a"));
        }
    }
}

}  // namespace
}  // namespace tpg::test
