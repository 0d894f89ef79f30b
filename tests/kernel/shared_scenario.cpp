// The scenario every kind of generator goes through, with the tool's window
// (headless controls) over the real hidraw layer: start-up with two
// generators and a foreign device, every command's bytes as the device
// receives them, the probe, unplugging the open generator and the other one
// taking over in the same tick, both coming back, a switch and shutdown.
#include "GuestGenerators.h"
#include "hid/sim/GeneratorModel.h"

namespace tpg::guest {

namespace {

const protocol::DeviceState kStateA{.pulseFrequency = 25000,
                                    .amplitudeIndex = 0,
                                    .polarityIndex = 0,
                                    .triggerSyncFunction = 1,
                                    .syncFrequency = 1000000};
const protocol::DeviceState kStateB{.pulseFrequency = 123456789,
                                    .amplitudeIndex = 510,
                                    .polarityIndex = 0,
                                    .triggerSyncFunction = 1,
                                    .syncFrequency = 250000000};

// A's product name is not ASCII: it travels UTF-8 in the kernel, UTF-16LE
// through the string query, and UTF-8 again in the window.
const std::string kNameA = "G\xC3\xA9n\xC3\xA9rateur \xCE\xA9 \xF0\x9F\x93\x88";
const std::string kProduct = "Trelvix Pulse Generator";

void checkReceived(GuestGenerator& generator, const std::vector<Bytes>& expected,
                   const std::string& what) {
    const auto got = generator.takeFeatureReports();
    bool same = got.size() == expected.size();
    std::string detail = std::to_string(got.size()) + " reports";
    for (std::size_t i = 0; same && i < got.size(); ++i) {
        same = got[i] == expected[i];
        if (!same) {
            detail = "report " + std::to_string(i) + " was " + hex(got[i]);
        }
    }
    check(same, what, detail);
}

}  // namespace

void runSharedScenario(const GeneratorKind& kind) {
    const std::string k = kind.name + ": ";
    auto foreign = kind.makeForeign();
    auto genA = kind.make(kind.serialA, kStateA, kNameA);
    auto genB = kind.make(kind.serialB, kStateB, kProduct);
    if (!genA || !genB) {
        return;
    }
    const Descriptors before = openDescriptors();
    check(before.hidraw == 0, k + "no hidraw node open before start-up");

    // Start-up: both listed, the last one opened and read back.
    auto w = std::make_unique<Window>();
    w->window.Form_Load();
    checkEqual(join(w->skin.items(ControlId::SerNo)), kind.serialA + "," + kind.serialB,
               k + "start-up lists both generators in enumeration order");
    checkEqual(w->text(ControlId::SerNo), kind.serialB, k + "the last one is selected");
    check(w->window.linkState().deviceAttached, k + "the last one is open");
    checkEqual(w->window.linkState().capabilities.featureReportByteLength, std::uint16_t{65},
               k + "feature report length from the descriptor");
    checkEqual(w->window.linkState().capabilities.inputReportByteLength, std::uint16_t{65},
               k + "input report length from the descriptor");
    checkEqual(w->text(ControlId::lblProduct), " " + kProduct, k + "product name");
    const std::string makerB = kind.maker(kProduct);
    checkEqual(w->text(ControlId::lblManuf), " " + makerB, k + "maker");
    checkEqual(w->text(ControlId::lblVersion), kind.version, k + "version");
    checkShows(*w, kStateB, k + "B");
    checkEqual(genB->stateReads(), 1, k + "B's state read once");
    checkEqual(openDescriptors().hidraw, 2, k + "two descriptors on the open generator");
    checkEqual(settled([&] { return genB->opens() - genB->closes(); }, 1), 1,
               k + "B open (the kernel counts one opener)");
    checkEqual(genA->opens(), 0, k + "listing and searching never opened A");

    // Every command reaches the device with its bytes.
    w->skin.type(ControlId::Foutput, "10000000");
    w->window.buttonPressed(ControlId::SetFout);
    w->window.userPicked(ControlId::Vout, 339);
    w->window.userPicked(ControlId::polarity, 1);
    w->window.userPicked(ControlId::ext_trig_dir, 1);
    w->skin.type(ControlId::ext_sync_freq, "300000000");
    w->window.buttonPressed(ControlId::SetFsync);
    checkReceived(
        *genB,
        {report({0x00, 0x01, 0x00, 0x80, 0x96, 0x98, 0x00}), report({0x00, 0x02, 0x00, 0x53, 0x01}),
         report({0x00, 0x03, 0x00, 0x01, 0x00}), report({0x00, 0x05, 0x00, 0x01, 0x00}),
         report({0x00, 0x06, 0x00, 0x00, 0xA3, 0xE1, 0x11})},
        k + "five commands reach B with their bytes, 65 each");
    check(genB->state() == protocol::DeviceState{10000000, 339, 1, 1, 300000000},
          k + "B holds the five settings sent");
    w->window.buttonPressed(ControlId::Factory);
    checkEqual(genB->takeFeatureReports().size(), std::size_t{8},
               k + "restoring the defaults sends eight reports");
    check(genB->state() == hid::sim::GeneratorModel::factoryState(),
          k + "B holds the factory settings");
    checkEqual(genA->takeFeatureReports().size(), std::size_t{0}, k + "nothing reached A");

    // The probe finds B alive.
    checkEqual(w->tick(), 50LL, k + "first tick after the initial interval");
    check(w->window.linkState().deviceAttached, k + "a probe with a report waiting keeps the link");
    checkEqual(w->window.timerInterval(), 500, k + "a good probe sets 500 ms");

    // B goes: the next probe fails, A is opened in the same tick.
    const int aOpensBefore = genA->opens();
    genB->unplug();
    checkEqual(w->tick(), 500LL, k + "next probe 500 ms later");
    checkEqual(join(w->skin.items(ControlId::SerNo)), kind.serialA, k + "the list holds only A");
    check(w->window.linkState().deviceAttached, k + "A opened in the same tick");
    checkShows(*w, kStateA, k + "A");
    checkEqual(w->text(ControlId::lblProduct), " " + kNameA, k + "A's name through UTF-16");
    const std::string makerA = kind.maker(kNameA);
    checkEqual(w->text(ControlId::lblManuf), " " + makerA, k + "A's maker");
    checkEqual(w->window.timerInterval(), 250, k + "a lost link sets 250 ms");
    checkEqual(settled([&] { return genA->opens(); }, aOpensBefore + 1), aOpensBefore + 1,
               k + "A opened once by the rescan, not for the listing");
    checkEqual(openDescriptors().hidraw, 2, k + "two descriptors, now on A");

    // A goes too: the window clears and the monitor keeps searching.
    genA->unplug();
    w->tick();
    check(!w->window.linkState().deviceAttached, k + "no generator left: nothing open");
    checkEqual(w->skin.items(ControlId::SerNo).size(), std::size_t{0}, k + "the list is empty");
    checkEqual(w->text(ControlId::Foutput), std::string(), k + "the window is cleared");
    check(!w->skin.isUsable(ControlId::Vout), k + "the settings are disabled");
    checkEqual(openDescriptors().hidraw, 0, k + "no hidraw descriptor left open");

    // Both come back (B first): the next rescan lists them and opens the last.
    const protocol::DeviceState stateA2{300000000, 100, 1, 0, 5000000};
    const protocol::DeviceState stateB2{777777, 42, 0, 1, 2000000};
    if (!genB->plug(stateB2) || !genA->plug(stateA2)) {
        return;
    }
    checkEqual(w->tick(), 250LL, k + "the rescan comes 250 ms later");
    checkEqual(join(w->skin.items(ControlId::SerNo)), kind.serialB + "," + kind.serialA,
               k + "replugged generators listed again");
    check(w->window.linkState().deviceAttached, k + "the last listed is open again");
    checkShows(*w, stateA2, k + "A again");

    // A switch to B.
    w->window.userPicked(ControlId::SerNo, 0);
    checkEqual(w->text(ControlId::SerNo), kind.serialB, k + "B picked in the list");
    check(w->window.linkState().deviceAttached, k + "B open after the switch");
    checkShows(*w, stateB2, k + "B after the switch");
    checkEqual(settled([&] { return genA->opens() - genA->closes(); }, 0), 0,
               k + "A closed by the switch");
    checkEqual(w->tick(), 250LL, k + "the tick after a switch comes 250 ms later");
    check(w->window.linkState().deviceAttached, k + "the probe keeps B");
    checkEqual(w->window.timerInterval(), 500, k + "and sets 500 ms");
    w->window.userPicked(ControlId::Vout, 200);
    checkReceived(*genB, {report({0x00, 0x02, 0x00, 0xC8, 0x00})}, k + "a setting reaches B");

    // Shutdown closes everything; the foreign device was never opened.
    w->window.Form_Unload();
    const Descriptors after = openDescriptors();
    checkEqual(after.hidraw, 0, k + "no hidraw descriptor open after shutdown");
    checkEqual(after.total, before.total, k + "open descriptors back to where they began");
    checkEqual(settled([&] { return genB->opens() - genB->closes(); }, 0), 0,
               k + "B closed at shutdown");
    w.reset();
    checkEqual(foreign->opens(), 0, k + "the foreign device was never opened");
    checkEqual(foreign->toolRequests(), 0, k + "and was sent or asked no report");
}

}  // namespace tpg::guest
