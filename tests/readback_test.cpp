// RefreshDeviceState: identity, the range rules of the read-back, and the
// states the window is left in.
#include "Rig.h"

namespace tpg::test {
namespace {

using protocol::DeviceState;

TEST(Readback, VersionText) {
    const std::pair<std::uint16_t, const char*> cases[] = {
        {0x0103, " 1.03"},   {0x0100, " 1.00"},  {0x0210, " 2.10"},
        {0x010C, " 1.0C"},   {0x0A00, " 10.00"}, {0x1234, " 18.34"},
        {0xFF01, " 255.01"}, {0x0000, " 0.00"},  {0x00FF, " 0.FF"},
    };
    for (const auto& [version, text] : cases) {
        Rig rig;
        rig.plugGenerator("gen", u"G").attributes.versionNumber = version;
        rig.start();
        EXPECT_EQ(rig.text(ControlId::lblVersion), text) << std::hex << version;
    }
}

TEST(Readback, RangeRulesOfTheStateReport) {
    struct Case {
        DeviceState device;
        const char* pulse;
        int amplitude;
        const char* polarity;
        const char* function;
        const char* sync;
    };
    const Case cases[] = {
        {{24999, 0, 0, 0, 1000000}, "10000000", 0, "Inverted", "Trigger output", "1000000"},
        {{25000, 510, 1, 1, 300000000}, "25000", 510, "Normal", "Sync input", "300000000"},
        {{350000000, 511, 2, 2, 0}, "350000000", 339, "Normal", "Trigger output", "1000000"},
        {{350000001, 65535, 65535, 65535, -1},
         "10000000",
         339,
         "Normal",
         "Trigger output",
         "1000000"},
        {{-5, 338, 0, 1, 400000000}, "10000000", 338, "Inverted", "Sync input", "300000000"},
        {{INT32_MIN, 1, 1, 0, INT32_MAX}, "10000000", 1, "Normal", "Trigger output", "300000000"},
        {{10000000, 339, 1, 0, 999999}, "10000000", 339, "Normal", "Trigger output", "1000000"},
        {{125000000, 200, 0, 1, 300000001},
         "125000000",
         200,
         "Inverted",
         "Sync input",
         "300000000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.device.pulseFrequency);
        Rig rig;
        rig.plugGenerator("gen", u"G", c.device);
        rig.start();
        EXPECT_EQ(rig.text(ControlId::Foutput), c.pulse);
        EXPECT_EQ(rig.skin.selectedIndex(ControlId::Vout), c.amplitude);
        EXPECT_EQ(rig.text(ControlId::polarity), c.polarity);
        EXPECT_EQ(rig.text(ControlId::ext_trig_dir), c.function);
        EXPECT_EQ(rig.text(ControlId::ext_sync_freq), c.sync);
        // Every control enabled, the labels beside the lists too, but the
        // list of a single generator and the sync entry of a trigger output.
        const bool syncInput = std::string(c.function) == "Sync input";
        for (const auto& r : ui::kControlTable) {
            if (r.kind == ui::ControlKind::Timer) {
                continue;
            }
            const bool syncEntry = r.id == ControlId::ext_sync_freq || r.id == ControlId::SetFsync;
            const bool expected = syncEntry ? syncInput : r.id != ControlId::SerNo;
            EXPECT_EQ(rig.skin.isEnabled(r.id), expected) << r.name;
        }
        EXPECT_TRUE(rig.link().uiReady);
        EXPECT_TRUE(rig.link().stateLoaded);
        EXPECT_TRUE(rig.takeSent().empty());  // the selections of a refill send nothing
    }
}

TEST(Readback, IdentityStrings) {
    struct Case {
        const char* what;
        std::u16string manufacturer;
        std::u16string product;
        bool manufacturerFails;
        bool productFails;
        const char* manufText;
        const char* productText;
        const char* versionText;
    };
    const std::u16string sixty(60, u'x');
    const Case cases[] = {
        {"plain", u"Trelvix", u"Pulse", false, false, " Trelvix", " Pulse", " 1.03"},
        {"empty strings", u"", u"", false, false, " ", " ", " 1.03"},
        {"60 characters show 50", u"M", sixty, false, false, " M",
         " xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx", " 1.03"},
        {"manufacturer fails", u"M", u"P", true, false, "", " P", ""},
        {"product fails", u"M", u"P", false, true, " M", "", " 1.03"},
        {"non-Latin text", u"Тре́львикс", u"脉冲发生器", false, false, " Тре́львикс", " 脉冲发生器",
         " 1.03"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Rig rig;
        DeviceSpec& gen = rig.plugGenerator("gen", u"G");
        gen.manufacturer = c.manufacturer;
        gen.product = c.product;
        rig.start();
        // The failures hit a second read-back: its first string query is
        // the manufacturer's, its second the product's.
        if (c.manufacturerFails || c.productFails) {
            if (c.manufacturerFails) {
                rig.bench.failOnce(Op::GetString);
            }
            if (c.productFails) {
                if (c.manufacturerFails) {
                    rig.bench.failOnce(Op::GetString);
                } else {
                    rig.bench.failNthCall(2);
                }
            }
            rig.window.RefreshDeviceState();
        }
        EXPECT_EQ(rig.text(ControlId::lblManuf), c.manufText);
        EXPECT_EQ(rig.text(ControlId::lblProduct), c.productText);
        EXPECT_EQ(rig.text(ControlId::lblVersion), c.versionText);
        EXPECT_EQ(rig.text(ControlId::lblSerialNumber), "");  // never written
    }
}

TEST(Readback, NoDeviceEmptiesTheWindowAndTouchesNoDevice) {
    Rig rig;
    rig.plugGenerator("gen", u"G");
    rig.start();
    rig.bench.clearCallCounts();
    rig.window.linkState().deviceAttached = false;
    rig.window.RefreshDeviceState();
    EXPECT_EQ(rig.bench.callCount(Op::GetString), 0);
    EXPECT_EQ(rig.bench.callCount(Op::GetFeature), 0);
    for (ControlId id : {ControlId::lblManuf, ControlId::lblProduct, ControlId::lblVersion,
                         ControlId::Foutput, ControlId::ext_sync_freq}) {
        EXPECT_EQ(rig.text(id), "") << ui::row(id).name;
    }
    for (ControlId id : {ControlId::Vout, ControlId::polarity, ControlId::ext_trig_dir}) {
        EXPECT_TRUE(rig.skin.items(id).empty()) << ui::row(id).name;
        EXPECT_FALSE(rig.skin.isEnabled(id)) << ui::row(id).name;
    }
    for (ControlId id :
         {ControlId::Factory, ControlId::Frame3, ControlId::trig_frame, ControlId::SetFout,
          ControlId::SetFsync, ControlId::Foutput, ControlId::ext_sync_freq, ControlId::Label6,
          ControlId::Label7, ControlId::Label8, ControlId::Label9}) {
        EXPECT_FALSE(rig.skin.isEnabled(id)) << ui::row(id).name;
    }
    EXPECT_TRUE(rig.skin.isEnabled(ControlId::Frame1));  // left as it was
    EXPECT_FALSE(rig.link().stateLoaded);
    EXPECT_TRUE(rig.link().uiReady);  // unchanged
}

TEST(Readback, FailedStateReadLeavesTheMiddleState) {
    struct Case {
        const char* what;
        bool uiReadyBefore;
        bool setFsyncEnabled;
    };
    const Case cases[] = {
        {"after a rebuild (uiReady false)", false, true},
        {"after a switch (uiReady true)", true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Rig rig;
        rig.plugGenerator("gen", u"G");
        rig.start();
        rig.window.linkState().uiReady = c.uiReadyBefore;
        rig.bench.failOnce(Op::GetFeature);
        rig.window.RefreshDeviceState();
        EXPECT_TRUE(rig.link().stateLoaded);
        EXPECT_EQ(rig.link().uiReady, c.uiReadyBefore);
        EXPECT_TRUE(rig.skin.items(ControlId::Vout).empty());
        EXPECT_TRUE(rig.skin.isEnabled(ControlId::Vout));
        EXPECT_EQ(rig.text(ControlId::ext_trig_dir), "Trigger output");
        EXPECT_EQ(rig.text(ControlId::polarity), "Normal");
        EXPECT_EQ(rig.text(ControlId::Foutput), "");
        EXPECT_TRUE(rig.usable(ControlId::Foutput));
        EXPECT_FALSE(rig.skin.isEnabled(ControlId::ext_sync_freq));
        EXPECT_EQ(rig.skin.isEnabled(ControlId::SetFsync), c.setFsyncEnabled);
        EXPECT_TRUE(rig.usable(ControlId::Factory));
        EXPECT_EQ(rig.text(ControlId::lblManuf), " Trelvix Instruments");
    }
}

TEST(Readback, ReportTooShortForTheStateCountsAsAFailedRead) {
    for (std::uint16_t length : {0, 1, 18}) {
        SCOPED_TRACE(length);
        Rig rig;
        rig.plugGenerator("gen", u"G").capabilities.featureReportByteLength = length;
        rig.start();
        EXPECT_EQ(rig.bench.callCount(Op::GetFeature), 0);
        EXPECT_TRUE(rig.link().stateLoaded);
        EXPECT_FALSE(rig.link().uiReady);
        EXPECT_TRUE(rig.skin.items(ControlId::Vout).empty());
    }
    Rig rig;
    rig.plugGenerator("gen", u"G", {3000000, 7, 0, 1, 4000000})
        .capabilities.featureReportByteLength = 19;
    rig.start();
    EXPECT_TRUE(rig.link().uiReady);
    EXPECT_EQ(rig.text(ControlId::Foutput), "3000000");
    EXPECT_EQ(rig.text(ControlId::ext_sync_freq), "4000000");
}

TEST(Readback, RepeatedRefillsDoNotPileUpEntries) {
    Rig rig;
    rig.plugGenerator("gen", u"G");
    rig.start();
    rig.window.RefreshDeviceState();
    rig.window.RefreshDeviceState();
    EXPECT_EQ(rig.skin.items(ControlId::ext_trig_dir),
              (std::vector<std::string>{"Trigger output", "Sync input"}));
    EXPECT_EQ(rig.skin.items(ControlId::polarity),
              (std::vector<std::string>{"Inverted", "Normal"}));
    EXPECT_EQ(rig.skin.items(ControlId::Vout).size(), 511u);
    EXPECT_TRUE(rig.takeSent().empty());
}

}  // namespace
}  // namespace tpg::test
