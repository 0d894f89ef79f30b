// How the four link flags move through the program's life.
#include "Rig.h"

namespace tpg::test {
namespace {

struct Flags {
    bool deviceAttached;
    bool stateLoaded;
    bool uiReady;
    bool switchingDevice;
    bool operator==(const Flags&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Flags& f) {
    return out << "attached=" << f.deviceAttached << " loaded=" << f.stateLoaded
               << " ready=" << f.uiReady << " switching=" << f.switchingDevice;
}

Flags flagsOf(const Rig& rig) {
    const auto& l = rig.link();
    return {l.deviceAttached, l.stateLoaded, l.uiReady, l.switchingDevice};
}

TEST(LinkState, FlagsThroughThePrograms_Life) {
    struct Step {
        const char* event;
        std::function<void(Rig&)> act;
        Flags after;
    };
    // One session on a bench with generators a and b; each step acts on the
    // state the previous steps left.
    const Step steps[] = {
        {"window created", [](Rig&) {}, {false, false, false, false}},
        {"start-up opens b and reads it", [](Rig& r) { r.start(); }, {true, true, true, false}},
        {"good probe", [](Rig& r) { r.nextTick(); }, {true, true, true, false}},
        {"switch to a vanished generator",
         [](Rig& r) {
             r.bench.unplug(Rig::path("a"));
             r.pick(ControlId::SerNo, 0);
         },
         {false, false, true, true}},
        {"rescan opens b again", [](Rig& r) { r.nextTick(); }, {true, true, true, false}},
        {"state read fails after a switch: uiReady kept",
         [](Rig& r) {
             r.bench.failOnce(Op::GetFeature);
             r.pick(ControlId::SerNo, 0);
         },
         {true, true, true, false}},
        {"link lost, rescan finds nothing",
         [](Rig& r) {
             r.bench.unplug(Rig::path("b"));
             r.nextTick();
         },
         {false, false, false, false}},
        {"generator back, its state read fails: uiReady stays false",
         [](Rig& r) {
             r.plugGenerator("b", u"B");
             r.bench.failOnce(Op::GetFeature);
             r.nextTick();
         },
         {true, true, false, false}},
        {"refill reads the state",
         [](Rig& r) { r.window.RefreshDeviceState(); },
         {true, true, true, false}},
        {"shutdown", [](Rig& r) { r.window.Form_Unload(); }, {true, true, false, false}},
    };
    Rig rig;
    rig.plugGenerator("a", u"A");
    rig.plugGenerator("b", u"B");
    for (const auto& step : steps) {
        step.act(rig);
        EXPECT_EQ(flagsOf(rig), step.after) << step.event;
    }
    EXPECT_EQ(rig.bench.openDeviceHandles(), 0);
    EXPECT_TRUE(rig.takeSent().empty());
}

TEST(LinkState, StartUpWithoutGeneratorLeavesEveryFlagFalse) {
    Rig rig;
    rig.plugForeign("mouse", 0x046D, 0xC077);
    rig.start();
    EXPECT_EQ(flagsOf(rig), (Flags{false, false, false, false}));
    EXPECT_FALSE(rig.skin.isEnabled(ControlId::SerNo));
    EXPECT_EQ(rig.text(ControlId::SerNo), "");
    EXPECT_FALSE(rig.usable(ControlId::Foutput));
    EXPECT_EQ(rig.skin.clock().untilNextTick(), 50);
}

}  // namespace
}  // namespace tpg::test
