// The list settings and restoring the defaults: what reaches the generator.
#include "Rig.h"

namespace tpg::test {
namespace {

// A window filled from a generator whose settings all differ from the
// defaults.
struct Filled : Rig {
    Filled() {
        plugGenerator("gen", u"G1",
                      {.pulseFrequency = 2000000,
                       .amplitudeIndex = 5,
                       .polarityIndex = 0,
                       .triggerSyncFunction = 1,
                       .syncFrequency = 2000000});
        start();
        takeSent();
    }
};

TEST(Settings, ListPicksSendOneReportEach) {
    struct Case {
        ControlId list;
        int index;
        Bytes sent;
    };
    const Case cases[] = {
        {ControlId::Vout, 339, report({0x00, 0x02, 0x00, 0x53, 0x01})},
        {ControlId::Vout, 510, report({0x00, 0x02, 0x00, 0xFE, 0x01})},
        {ControlId::Vout, 0, report({0x00, 0x02, 0x00, 0x00, 0x00})},
        {ControlId::Vout, 5, report({0x00, 0x02, 0x00, 0x05, 0x00})},  // unchanged: sent again
        {ControlId::Vout, 256, report({0x00, 0x02, 0x00, 0x00, 0x01})},
        {ControlId::polarity, 0, report({0x00, 0x03, 0x00, 0x00, 0x00})},
        {ControlId::polarity, 1, report({0x00, 0x03, 0x00, 0x01, 0x00})},
        {ControlId::ext_trig_dir, 0, report({0x00, 0x05, 0x00, 0x00, 0x00})},
        {ControlId::ext_trig_dir, 1, report({0x00, 0x05, 0x00, 0x01, 0x00})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(ui::row(c.list).name) + " " + std::to_string(c.index));
        Filled rig;
        rig.pick(c.list, c.index);
        EXPECT_EQ(rig.takeSent(), std::vector<Bytes>{c.sent});
    }
}

TEST(Settings, PickedValuesReachTheGenerator) {
    Filled rig;
    rig.pick(ControlId::Vout, 339);
    rig.pick(ControlId::polarity, 1);
    rig.pick(ControlId::ext_trig_dir, 0);
    const auto& state = rig.bench.generator(Rig::path("gen"))->state();
    EXPECT_EQ(state.amplitudeIndex, 339);
    EXPECT_EQ(state.polarityIndex, 1);
    EXPECT_EQ(state.triggerSyncFunction, 0);
}

TEST(Settings, TriggerSyncFunctionSwitchesTheSyncEntry) {
    Filled rig;
    ASSERT_TRUE(rig.usable(ControlId::ext_sync_freq));
    rig.pick(ControlId::ext_trig_dir, 0);
    EXPECT_FALSE(rig.usable(ControlId::ext_sync_freq));
    EXPECT_FALSE(rig.usable(ControlId::SetFsync));
    EXPECT_EQ(rig.text(ControlId::ext_sync_freq), "2000000");  // text kept
    rig.pick(ControlId::ext_trig_dir, 1);
    EXPECT_TRUE(rig.usable(ControlId::ext_sync_freq));
    EXPECT_TRUE(rig.usable(ControlId::SetFsync));
    EXPECT_EQ(rig.text(ControlId::ext_sync_freq), "2000000");
    EXPECT_EQ(rig.takeSent().size(), 2u);  // no sync frequency went out
}

TEST(Settings, GuardsKeepEveryHandlerSilent) {
    struct Case {
        const char* what;
        bool uiReady;
        bool deviceAttached;
        bool stateLoaded;
        bool syncEntryFollows;  // ext_trig_dir still switches the sync entry
    };
    const Case cases[] = {
        {"uiReady false", false, true, true, false},
        {"deviceAttached false", true, false, true, true},
        {"stateLoaded false", true, true, false, true},
        {"all false", false, false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Filled rig;
        auto& link = rig.window.linkState();
        link.uiReady = c.uiReady;
        link.deviceAttached = c.deviceAttached;
        link.stateLoaded = c.stateLoaded;
        rig.pick(ControlId::Vout, 100);
        rig.pick(ControlId::polarity, 1);
        rig.pick(ControlId::ext_trig_dir, 0);
        EXPECT_EQ(rig.skin.isEnabled(ControlId::ext_sync_freq), !c.syncEntryFollows);
        rig.type(ControlId::Foutput, "1000000");
        rig.press(ControlId::SetFout);
        rig.type(ControlId::ext_sync_freq, "1000000");
        rig.press(ControlId::SetFsync);
        rig.press(ControlId::Factory);
        EXPECT_TRUE(rig.takeSent().empty());
        EXPECT_TRUE(rig.skin.messages().empty());
        EXPECT_EQ(rig.text(ControlId::Foutput), "10000000");  // defaults shown anyway
    }
}

TEST(Settings, ShortReportsAreNeverSent) {
    struct Case {
        std::uint16_t length;
        std::size_t expectedSends;  // of: pulse, amplitude, polarity, function, sync
    };
    // 16-bit commands need 5 bytes, 32-bit ones 7: shorter devices get nothing.
    const Case cases[] = {{4, 0}, {5, 3}, {6, 3}, {7, 5}, {19, 5}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        Filled rig;
        rig.window.linkState().capabilities.featureReportByteLength = c.length;
        rig.bench.device(Rig::path("gen"))->capabilities.featureReportByteLength = c.length;
        rig.type(ControlId::Foutput, "1000000");
        rig.press(ControlId::SetFout);
        rig.pick(ControlId::Vout, 1);
        rig.pick(ControlId::polarity, 1);
        rig.pick(ControlId::ext_trig_dir, 1);
        rig.type(ControlId::ext_sync_freq, "1000000");
        rig.press(ControlId::SetFsync);
        const auto sent = rig.takeSent();
        EXPECT_EQ(sent.size(), c.expectedSends);
        for (const auto& bytes : sent) {
            EXPECT_EQ(bytes.size(), c.length);
        }
    }
}

TEST(Settings, FailedSendIsSilentAndChangesNothing) {
    Filled rig;
    rig.bench.failOnce(Op::SetFeature);
    rig.pick(ControlId::Vout, 42);
    EXPECT_TRUE(rig.takeSent().empty());
    EXPECT_EQ(rig.skin.selectedIndex(ControlId::Vout), 42);
    EXPECT_TRUE(rig.link().uiReady);
    EXPECT_TRUE(rig.link().stateLoaded);
    EXPECT_TRUE(rig.link().deviceAttached);
    rig.pick(ControlId::Vout, 42);
    EXPECT_EQ(rig.takeSent().size(), 1u);
}

TEST(Settings, RestoreDefaultsSendsEightReportsInOrder) {
    Filled rig;
    rig.press(ControlId::Factory);
    EXPECT_EQ(rig.takeSent(), restoreDefaultsReports());
    EXPECT_EQ(rig.text(ControlId::Foutput), "10000000");
    EXPECT_EQ(rig.text(ControlId::ext_sync_freq), "10000000");
    EXPECT_EQ(rig.text(ControlId::Vout), "1096");
    EXPECT_EQ(rig.text(ControlId::ext_trig_dir), "Trigger output");
    EXPECT_EQ(rig.text(ControlId::polarity), "Normal");
    EXPECT_FALSE(rig.usable(ControlId::ext_sync_freq));
    EXPECT_FALSE(rig.usable(ControlId::SetFsync));
    EXPECT_TRUE(rig.skin.messages().empty());
    EXPECT_EQ(rig.bench.generator(Rig::path("gen"))->state(),
              hid::sim::GeneratorModel::factoryState());
}

TEST(Settings, RestoreDefaultsAtTheDefaultsStillSendsEverySetting) {
    Rig rig;
    rig.plugGenerator("gen", u"G1");  // already at the factory settings
    rig.start();
    rig.press(ControlId::Factory);
    std::vector<int> commands;
    for (const auto& bytes : rig.takeSent()) {
        commands.push_back(bytes[1]);
    }
    for (int code : {1, 2, 3, 5, 6}) {
        EXPECT_NE(std::find(commands.begin(), commands.end(), code), commands.end()) << code;
    }
}

TEST(Settings, RestoreDefaultsAfterAFailedStateReadRunsEveryStep) {
    Rig rig;
    rig.plugGenerator("gen", u"G1");
    rig.start();
    rig.bench.failOnce(Op::GetFeature);
    rig.window.RefreshDeviceState();  // uiReady stays true: the state could not be read
    ASSERT_TRUE(rig.skin.items(ControlId::Vout).empty());
    rig.takeSent();
    rig.press(ControlId::Factory);
    std::vector<int> commands;
    for (const auto& bytes : rig.takeSent()) {
        commands.push_back(bytes[1]);
    }
    // Every setting: the amplitude list is filled first.
    EXPECT_EQ(commands, (std::vector<int>{1, 2, 2, 5, 5, 6, 3, 3}));
    EXPECT_EQ(rig.skin.selectedIndex(ControlId::Vout), 339);
    EXPECT_EQ(rig.text(ControlId::Foutput), "10000000");
}

TEST(Settings, ClosingTheWindowSendsNothingAndClosesBothHandles) {
    Filled rig;
    rig.window.Form_Unload();
    EXPECT_TRUE(rig.takeSent().empty());
    EXPECT_EQ(rig.bench.openDeviceHandles(), 0);
    EXPECT_FALSE(rig.skin.clock().running());
    EXPECT_FALSE(rig.link().uiReady);
    EXPECT_EQ(rig.bench.openEvents(), 1);  // the event lives until the process ends
}

TEST(Settings, ClosingAfterTheLinkWasLostClosesNothing) {
    Filled rig;
    rig.bench.unplug(Rig::path("gen"));
    rig.nextTick();
    const int closes = rig.bench.callCount(Op::Close);
    rig.window.Form_Unload();
    EXPECT_EQ(rig.bench.callCount(Op::Close), closes);
    EXPECT_EQ(rig.bench.openDeviceHandles(), 0);
}

}  // namespace
}  // namespace tpg::test
