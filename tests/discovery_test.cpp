// Finding and opening the generator among the HID interfaces.
#include "Rig.h"

namespace tpg::test {
namespace {

// Puts one entry in the serial-number list and selects it, as a rebuild
// would, so that discovery looks for exactly that text.
void selectSerial(Rig& rig, const std::string& text) {
    rig.window.SerNo.clear();
    rig.window.SerNo.addItem(0, text);
    rig.window.SerNo.setSelectedIndex(0);
}

TEST(Discovery, SerialMatchIsExact) {
    struct Case {
        const char* listText;
        std::u16string deviceSerial;
        bool opened;
    };
    const Case cases[] = {
        {"TPG-0001", u"TPG-0001", true},
        {"tpg-0001", u"TPG-0001", false},   // case counts
        {"TPG-0001 ", u"TPG-0001", false},  // blanks count
        {" TPG-0001", u"TPG-0001", false},
        {"TPG-000", u"TPG-0001", false},  // a prefix is not a match
        {"", u"", true},                  // only an empty serial matches nothing selected
        {"", u"TPG-0001", false},
        {"Ärger-\u0100", u"Ärger-\u0100", true},  // text beyond Latin-1 compares as text
        {"\u0100", u"\u0200", false},             // same low byte, different characters
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.listText);
        Rig rig;
        rig.plugGenerator("gen", c.deviceSerial);
        selectSerial(rig, c.listText);
        EXPECT_EQ(rig.window.deviceLink().FindTheHid(), c.opened);
        EXPECT_EQ(rig.link().deviceAttached, c.opened);
        EXPECT_EQ(rig.bench.openHandles(Rig::path("gen")), c.opened ? 2 : 0);
    }
}

TEST(Discovery, FirstOfTwoEqualSerialsIsOpened) {
    Rig rig;
    rig.plugGenerator("first", u"SAME");
    rig.plugGenerator("second", u"SAME");
    rig.start();
    EXPECT_EQ(rig.skin.items(ControlId::SerNo), (std::vector<std::string>{"SAME", "SAME"}));
    EXPECT_EQ(rig.bench.openHandles(Rig::path("first")), 2);
    EXPECT_EQ(rig.bench.openHandles(Rig::path("second")), 0);
    // The walk stopped at the match: the second was not even examined.
    EXPECT_EQ(rig.bench.callCount(Op::Open, Rig::path("second")), 1);  // by the list rebuild only
}

TEST(Discovery, OtherDevicesAreExaminedAndClosedWithoutReadingTheirSerial) {
    struct Case {
        const char* name;
        std::uint16_t vendorId;
        std::uint16_t productId;
    };
    const Case cases[] = {
        {"same-vendor-other-product", 0x6C3A, 0x4E18},
        {"other-vendor-same-product", 0x6C3B, 0x4E19},
        {"keyboard", 0x046D, 0xC31C},
        {"swapped-ids", 0x4E19, 0x6C3A},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.plugForeign(c.name, c.vendorId, c.productId);
        rig.plugGenerator("gen", u"G1");
        rig.start();
        const std::string path = Rig::path(c.name);
        EXPECT_EQ(rig.bench.callCount(Op::Open, path), 2);  // rebuild and discovery
        EXPECT_EQ(rig.bench.callCount(Op::GetString, path), 0);
        EXPECT_EQ(rig.bench.openHandles(path), 0);
        EXPECT_EQ(rig.bench.openHandles(Rig::path("gen")), 2);
        EXPECT_EQ(rig.bench.openDeviceHandles(), 2);
    }
}

TEST(Discovery, InterfacesThatCannotBeUsedAreSkipped) {
    struct Case {
        const char* what;
        Op failing;
    };
    // The generator "bad" is enumerated first and fails one step; the walk
    // goes on to "good", which is listed and opened.
    const Case cases[] = {
        {"cannot be opened read-write", Op::Open},
        {"attributes cannot be read", Op::GetAttributes},
        {"serial number cannot be read", Op::GetString},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Rig rig;
        rig.plugGenerator("bad", u"BAD");
        rig.plugGenerator("good", u"GOOD");
        rig.bench.failAlways(c.failing, Rig::path("bad"));
        rig.start();
        EXPECT_EQ(rig.skin.items(ControlId::SerNo), std::vector<std::string>{"GOOD"});
        EXPECT_TRUE(rig.link().deviceAttached);
        EXPECT_EQ(rig.bench.openHandles(Rig::path("bad")), 0);
        EXPECT_EQ(rig.bench.openHandles(Rig::path("good")), 2);
    }
}

TEST(Discovery, UnopenableDeviceIsSkipped) {
    Rig rig;
    DeviceSpec& locked = rig.plugGenerator("locked", u"LOCKED");
    locked.openable = false;
    rig.plugGenerator("free", u"FREE");
    rig.start();
    EXPECT_EQ(rig.skin.items(ControlId::SerNo), std::vector<std::string>{"FREE"});
    EXPECT_EQ(rig.bench.openDeviceHandles(), 2);
}

TEST(Discovery, AfterSuccessTheRecordDescribesTheOpenDevice) {
    Rig rig;
    rig.plugForeign("mouse", 0x1234, 0x5678);
    DeviceSpec& gen = rig.plugGenerator("gen", u"G1");
    gen.attributes.versionNumber = 0x0210;
    gen.capabilities.inputReportByteLength = 9;
    gen.capabilities.featureReportByteLength = 33;
    rig.start();
    const auto& link = rig.link();
    EXPECT_TRUE(link.deviceAttached);
    EXPECT_EQ(link.attributes.vendorId, 0x6C3A);
    EXPECT_EQ(link.attributes.productId, 0x4E19);
    EXPECT_EQ(link.attributes.versionNumber, 0x0210);
    EXPECT_EQ(link.capabilities.inputReportByteLength, 9);
    EXPECT_EQ(link.capabilities.featureReportByteLength, 33);
    EXPECT_TRUE(hid::isOpen(link.deviceHandle));
    EXPECT_TRUE(hid::isOpen(link.readHandle));
    EXPECT_NE(link.deviceHandle, link.readHandle);
    EXPECT_TRUE(hid::isOpen(link.readEvent));
    EXPECT_EQ(link.readOverlapped.event, link.readEvent);
    EXPECT_EQ(link.readOverlapped.offset, 0u);
    EXPECT_EQ(link.securityAttributes.length, 12u);
    EXPECT_TRUE(link.securityAttributes.inheritHandle);
}

TEST(Discovery, ReadEventIsCreatedOnceForTheRun) {
    Rig rig;
    rig.plugGenerator("a", u"A");
    rig.plugGenerator("b", u"B");
    rig.start();
    const hid::Handle event = rig.link().readEvent;
    rig.pick(ControlId::SerNo, 0);
    rig.pick(ControlId::SerNo, 1);
    rig.bench.unplug(Rig::path("b"));
    rig.nextTick();
    EXPECT_EQ(rig.bench.callCount(Op::CreateEvent), 1);
    EXPECT_EQ(rig.bench.openEvents(), 1);
    EXPECT_EQ(rig.link().readEvent, event);
}

// Without its own report lengths a generator would be driven with the last
// one's: a failed capability query fails its discovery, and the next tick
// opens a generator with its own lengths.
TEST(Discovery, FailedCapabilityQueryFailsTheDiscovery) {
    Rig rig;
    DeviceSpec& a = rig.plugGenerator("a", u"A");
    a.capabilities.featureReportByteLength = 40;
    rig.plugGenerator("b", u"B");
    rig.start();  // b is open, with 65-byte reports
    rig.bench.failOnce(Op::GetCapabilities);
    rig.pick(ControlId::SerNo, 0);
    EXPECT_FALSE(rig.link().deviceAttached);
    EXPECT_EQ(rig.bench.openDeviceHandles(), 0);
    rig.press(ControlId::Factory);
    EXPECT_TRUE(rig.takeSent().empty());

    rig.bench.unplug(Rig::path("b"));
    rig.nextTick();
    ASSERT_TRUE(rig.link().deviceAttached);
    EXPECT_TRUE(rig.link().uiReady);
    EXPECT_EQ(rig.link().capabilities.featureReportByteLength, 40);
    rig.press(ControlId::Factory);
    const auto sent = rig.takeSent();
    ASSERT_EQ(sent.size(), 8U);
    EXPECT_EQ(sent[0].size(), 40U);
}

TEST(Discovery, FailedOverlappedOpenIsCaughtByTheNextProbe) {
    Rig rig;
    rig.plugGenerator("gen", u"G1");
    selectSerial(rig, "G1");
    // Discovery's calls: list, open, attributes, serial, capabilities, then
    // the overlapped open, which fails here.
    rig.bench.failNthCall(6);
    EXPECT_TRUE(rig.window.deviceLink().FindTheHid());
    EXPECT_FALSE(hid::isOpen(rig.link().readHandle));
    EXPECT_EQ(rig.bench.openHandles(Rig::path("gen")), 1);

    // The probe fails on the invalid handle: the link is dropped and the
    // rescan in the same step opens the generator properly.
    rig.window.deviceLink().CheckConnection();
    EXPECT_TRUE(rig.link().deviceAttached);
    EXPECT_TRUE(hid::isOpen(rig.link().readHandle));
    EXPECT_EQ(rig.bench.openHandles(Rig::path("gen")), 2);
}

}  // namespace
}  // namespace tpg::test
