// The soak: ten thousand randomised cycles over the simulated bench. Each
// cycle may arm a one-off platform failure, waits a random time on the
// virtual clock, does one thing (plug or unplug a generator or a foreign
// device, switch generators, change a setting, restore the defaults, wait),
// waits again, and lets one tick pass with no failure armed. Throughout,
// every report goes only to the open generator while the three guards hold
// and carries a value in range; a setting made while nothing could fail
// reaches the generator; after every cycle the window agrees with the
// bench and no handle is left over; the heap does not grow; after shutdown
// no device handle is open.
//
// The seed is printed. TPG_SOAK_SEED=N repeats a run, TPG_SOAK_CYCLES=N
// changes its length.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "GuardedBench.h"
#include "LiveHeap.h"
#include "Rig.h"
#include "link/DescriptorString.h"
#include "settings/NumberText.h"

namespace tpg::test {
namespace {

using hid::sim::GeneratorModel;
using protocol::DeviceState;
using protocol::ReportCommand;

std::optional<unsigned long long> fromEnvironment(const char* name) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') {
        return std::nullopt;
    }
    return std::strtoull(text, nullptr, 10);
}

// The devices that come and go. Two generators share a serial number; one
// has a serial number outside Latin-1.
struct PoolDevice {
    std::string path;
    std::u16string serial;  // empty: a foreign device
    std::uint16_t vendorId = hid::sim::kGeneratorVendorId;
    std::uint16_t productId = hid::sim::kGeneratorProductId;
};
const std::array<PoolDevice, 6> kPool = {{
    {"/dev/hid/g0", u"TPG35-20417"},
    {"/dev/hid/g1", u"TPG35-20652"},
    {"/dev/hid/g2", u"TPG35-20417"},
    {"/dev/hid/g3", u"Pr\u00fcf \U0001F600 7"},
    {"/dev/hid/keyboard", u"", 0x046D, 0xC31C},
    {"/dev/hid/ups", u"", 0x6C3A, 0x0001},
}};

// A string as the window shows it after the string query.
std::string shown(const std::u16string& text) {
    std::array<std::uint8_t, 2 * hid::kStringQueryBytes + 1> buffer{};
    for (std::size_t i = 0; i < text.size() && 2 * i + 1 < hid::kStringQueryBytes; ++i) {
        buffer[2 * i] = static_cast<std::uint8_t>(text[i] & 0xFF);
        buffer[2 * i + 1] = static_cast<std::uint8_t>(text[i] >> 8);
    }
    return link::DescriptorStringToText(buffer);
}

// head followed by text. (GCC 12 at -O3 sees an overlap that cannot happen
// in the insertion that head + text makes.)
std::string after(const char* head, const std::string& text) {
    std::string out = head;
    out += text;
    return out;
}

int inRangeOr(int value, int low, int high, int replacement) {
    return value >= low && value <= high ? value : replacement;
}

enum class Action {
    Plug,
    Unplug,
    Switch,
    PulseFrequency,
    SyncFrequency,
    Amplitude,
    Polarity,
    TriggerSync,
    Defaults,
    Wait
};

struct Figures {
    long cycles = 0;
    long plugs = 0;
    long unplugs = 0;
    long switches = 0;
    long settings = 0;
    long defaults = 0;
    long faultsArmed = 0;
    long settingsChecked = 0;
    long displayChecks = 0;
    long reports = 0;
    long ticks = 0;
};

class Soak {
  public:
    explicit Soak(unsigned long long seed) : rng_(seed) {
        bench_.link = &window_.linkState();
        skin_.clock().setTickHandler([this] {
            ++figures_.ticks;
            window_.timerTick();
        });
    }

    const Figures& figures() const { return figures_; }

    void start() {
        plugSome();
        window_.Form_Load();
        checkReports();
    }

    void cycle() {
        ++figures_.cycles;
        faultArmed_ = chance(0.3);
        if (faultArmed_) {
            armFault();
        }
        wait(0, 600);
        act(pickAction());
        wait(0, 600);
        bench_.clearFaults();
        faultArmed_ = false;
        // One tick with nothing failing: the monitor settles the link.
        const auto next = skin_.clock().untilNextTick();
        ASSERT_TRUE(next.has_value()) << "the timer stopped";
        skin_.clock().advance(*next);
        checkReports();
        checkAgreement();
        // Only bad input is answered, once; no device or link failure is shown.
        EXPECT_EQ(skin_.messages().size(), messagesExpected_);
        skin_.clearMessages();
        messagesExpected_ = 0;
    }

    void stop() {
        window_.Form_Unload();
        checkReports();
        EXPECT_EQ(bench_.openDeviceHandles(), 0);
        EXPECT_LE(bench_.openEvents(), 1);
        EXPECT_FALSE(skin_.clock().running());
    }

  private:
    bool chance(double p) { return std::bernoulli_distribution(p)(rng_); }
    int between(int low, int high) { return std::uniform_int_distribution(low, high)(rng_); }
    template <typename T, std::size_t N>
    const T& oneOf(const std::array<T, N>& values) {
        return values[static_cast<std::size_t>(between(0, static_cast<int>(N) - 1))];
    }

    void wait(int low, int high) {
        if (chance(0.5)) {
            skin_.clock().advance(between(low, high));
        }
    }

    void armFault() {
        ++figures_.faultsArmed;
        if (chance(0.5)) {
            bench_.failNthCall(between(1, 60));
        } else {
            const auto op = static_cast<hid::sim::Op>(between(0, hid::sim::kOpCount - 1));
            bench_.failOnce(op, chance(0.5) ? oneOf(kPool).path : std::string());
        }
    }

    Action pickAction() {
        static constexpr std::array<std::pair<Action, int>, 10> kWeights = {{
            {Action::Plug, 10},
            {Action::Unplug, 8},
            {Action::Switch, 10},
            {Action::PulseFrequency, 12},
            {Action::SyncFrequency, 10},
            {Action::Amplitude, 10},
            {Action::Polarity, 8},
            {Action::TriggerSync, 8},
            {Action::Defaults, 6},
            {Action::Wait, 10},
        }};
        int total = 0;
        for (const auto& [action, weight] : kWeights) {
            total += weight;
        }
        int roll = between(0, total - 1);
        for (const auto& [action, weight] : kWeights) {
            if (roll < weight) {
                return action;
            }
            roll -= weight;
        }
        return Action::Wait;
    }

    DeviceState randomState() {
        if (chance(0.8)) {
            return DeviceState{.pulseFrequency = between(25000, 350000000),
                               .amplitudeIndex = between(0, 510),
                               .polarityIndex = between(0, 1),
                               .triggerSyncFunction = between(0, 1),
                               .syncFrequency = between(1000000, 300000000)};
        }
        // Anything the report's fields can carry.
        return DeviceState{.pulseFrequency = between(-5, 400000000),
                           .amplitudeIndex = between(0, 65535),
                           .polarityIndex = between(0, 3),
                           .triggerSyncFunction = between(0, 3),
                           .syncFrequency = between(-1, 400000000)};
    }

    void plug(const PoolDevice& d) {
        ++figures_.plugs;
        ++plugNumber_;
        if (d.serial.empty()) {
            bench_.plug(hid::sim::foreignSpec(d.path, d.vendorId, d.productId));
            return;
        }
        auto spec = hid::sim::generatorSpec(d.path, d.serial, randomState());
        // Strings and version of this plugging only, so that a window still
        // showing an earlier device is caught.
        const auto number = std::to_string(plugNumber_);
        spec.manufacturer = u"Trelvix Instruments ";
        spec.product = u"Pulse Generator #";
        for (const char c : number) {
            spec.manufacturer += static_cast<char16_t>(c);
            spec.product += static_cast<char16_t>(c);
        }
        spec.attributes.versionNumber = static_cast<std::uint16_t>(between(0, 0xFFFF));
        static constexpr std::array<std::uint16_t, 12> kFeatureLengths = {65, 65, 65, 65, 65, 65,
                                                                          19, 7,  5,  1,  0,  4096};
        spec.capabilities.featureReportByteLength = oneOf(kFeatureLengths);
        spec.inputReportWaiting = chance(0.95);
        spec.openable = chance(0.97);
        bench_.plug(spec);
    }

    void plugSome() {
        for (const auto& d : kPool) {
            if (chance(0.5)) {
                plug(d);
            }
        }
    }

    // --- the user's settings ---

    // A frequency as a user might type it: mostly in range, sometimes with a
    // fraction or an exponent, sometimes out of range or not a number.
    std::string frequencyText(int lower, int upper) {
        static constexpr std::array<const char*, 6> kNotNumbers = {"",    "abc", "12a",
                                                                   "1,5", "--3", "1e"};
        switch (between(0, 5)) {
            case 0:
                return std::to_string(between(lower, upper));
            case 1:
                return std::to_string(between(lower, upper - 1)) + "." +
                       std::to_string(between(0, 9));
            case 2:
                return after(" ", std::to_string(between(lower, upper) / 1000)) + "e3 ";
            case 3:
                return std::to_string(between(-10, lower - 1));
            case 4:
                return std::to_string(between(upper + 1, upper + 1000000));
            default:
                return oneOf(kNotNumbers);
        }
    }

    // Whether a setting with this command, made now, must reach the open
    // generator: the guards hold, the handle is live, the report fits and
    // nothing is armed to fail. A failed capability query leaves the
    // lengths of the device before; reports of that length do not fit.
    std::optional<std::string> mustReach(ReportCommand command) {
        const auto& link = window_.linkState();
        if (faultArmed_ || !(link.uiReady && link.deviceAttached && link.stateLoaded)) {
            return std::nullopt;
        }
        auto path = bench_.livePath(link.deviceHandle);
        const std::size_t length = link.capabilities.featureReportByteLength;
        if (!path || length < protocol::minimumLength(command) ||
            length != bench_.device(*path)->capabilities.featureReportByteLength) {
            return std::nullopt;
        }
        return path;
    }

    const DeviceState& model(const std::string& path) { return bench_.generator(path)->state(); }

    void touch(ControlId id) { touched_[id] = bench_.callCount(hid::sim::Op::GetFeature); }
    bool touched(ControlId id) const {
        const auto it = touched_.find(id);
        return it != touched_.end() && it->second == bench_.callCount(hid::sim::Op::GetFeature);
    }

    void frequency(bool pulse) {
        const ControlId box = pulse ? ControlId::Foutput : ControlId::ext_sync_freq;
        const int lower = pulse ? 25000 : 1000000;
        const int upper = pulse ? 350000000 : 300000000;
        const auto command =
            pulse ? ReportCommand::SetPulseFrequency : ReportCommand::SetSyncFrequency;
        const std::string text = frequencyText(lower, upper);
        const auto value = settings::parseNumber(text, ".");
        const bool valid = value && *value >= lower && *value <= upper;
        messagesExpected_ = valid ? 0 : 1;
        const auto reach = valid ? mustReach(command) : std::nullopt;
        skin_.type(box, text);
        window_.buttonPressed(pulse ? ControlId::SetFout : ControlId::SetFsync);
        if (!reach) {
            touch(box);
            return;
        }
        ++figures_.settingsChecked;
        const double whole = pulse ? std::floor(*value + 0.5) : std::nearbyint(*value);
        const auto& state = model(*reach);
        EXPECT_EQ(pulse ? state.pulseFrequency : state.syncFrequency, static_cast<int>(whole))
            << "typed " << text;
    }

    void pickSetting(ControlId list, ReportCommand command, int count) {
        const int index = between(0, count - 1);
        const bool listed = static_cast<int>(skin_.items(list).size()) > index;
        const auto reach = listed ? mustReach(command) : std::nullopt;
        window_.userPicked(list, index);
        if (!listed) {
            return;  // nothing to pick: nothing happens
        }
        if (!reach) {
            touch(list);
            if (list == ControlId::ext_trig_dir) {
                touch(ControlId::ext_sync_freq);
            }
            return;
        }
        ++figures_.settingsChecked;
        const auto& state = model(*reach);
        const int held = command == ReportCommand::SetAmplitude  ? state.amplitudeIndex
                         : command == ReportCommand::SetPolarity ? state.polarityIndex
                                                                 : state.triggerSyncFunction;
        EXPECT_EQ(held, index);
    }

    void defaults() {
        ++figures_.defaults;
        const auto reach = mustReach(ReportCommand::SetPulseFrequency);
        const bool amplitudes = !skin_.items(ControlId::Vout).empty();
        window_.buttonPressed(ControlId::Factory);
        if (!reach) {
            for (const auto id : {ControlId::Foutput, ControlId::Vout, ControlId::ext_trig_dir,
                                  ControlId::ext_sync_freq, ControlId::polarity}) {
                touch(id);
            }
            return;
        }
        ++figures_.settingsChecked;
        const DeviceState factory = GeneratorModel::factoryState();
        const auto& state = model(*reach);
        EXPECT_EQ(state.pulseFrequency, factory.pulseFrequency);
        if (amplitudes) {
            EXPECT_EQ(state.amplitudeIndex, factory.amplitudeIndex);
        }
        EXPECT_EQ(state.triggerSyncFunction, factory.triggerSyncFunction);
        EXPECT_EQ(state.syncFrequency, factory.syncFrequency);
        EXPECT_EQ(state.polarityIndex, factory.polarityIndex);
    }

    void act(Action action) {
        switch (action) {
            case Action::Plug:
                plug(oneOf(kPool));
                break;
            case Action::Unplug:
                ++figures_.unplugs;
                bench_.unplug(oneOf(kPool).path);
                break;
            case Action::Switch: {
                ++figures_.switches;
                const bool acts = window_.linkState().uiReady;
                const int count = static_cast<int>(skin_.items(ControlId::SerNo).size());
                window_.userPicked(ControlId::SerNo, between(-1, count));
                if (!acts) {
                    // The list shows the pick, but nothing was switched.
                    serialPickedAt_ = bench_.callCount(hid::sim::Op::ListInterfaces);
                }
                break;
            }
            case Action::PulseFrequency:
            case Action::SyncFrequency:
                ++figures_.settings;
                frequency(action == Action::PulseFrequency);
                break;
            case Action::Amplitude:
                ++figures_.settings;
                pickSetting(ControlId::Vout, ReportCommand::SetAmplitude, 511);
                break;
            case Action::Polarity:
                ++figures_.settings;
                pickSetting(ControlId::polarity, ReportCommand::SetPolarity, 2);
                break;
            case Action::TriggerSync:
                ++figures_.settings;
                pickSetting(ControlId::ext_trig_dir, ReportCommand::SetTriggerSyncFunction, 2);
                break;
            case Action::Defaults:
                defaults();
                break;
            case Action::Wait:
                skin_.clock().advance(between(0, 2000));
                break;
        }
    }

    // --- the checks ---

    // Every report that reached a generator went through the open handle
    // while the guards held (the bench counts the others), fits its
    // device's report length (the bench takes no other) and carries a
    // command with a value in range.
    void checkReports() {
        ASSERT_EQ(bench_.sendsOutsideGuards, 0);
        for (const auto& sent : bench_.sentReports()) {
            ++figures_.reports;
            const auto command = protocol::parseCommand(sent.bytes);
            ASSERT_TRUE(command.has_value()) << sent.path;
            const int v = command->value;
            switch (command->command) {
                case ReportCommand::SetPulseFrequency:
                    EXPECT_TRUE(v >= 25000 && v <= 350000000) << v;
                    break;
                case ReportCommand::SetSyncFrequency:
                    EXPECT_TRUE(v >= 1000000 && v <= 300000000) << v;
                    break;
                case ReportCommand::SetAmplitude:
                    EXPECT_TRUE(v >= 0 && v <= 510) << v;
                    break;
                case ReportCommand::SetPolarity:
                case ReportCommand::SetTriggerSyncFunction:
                    EXPECT_TRUE(v == 0 || v == 1) << v;
                    break;
            }
        }
        bench_.clearSentReports();
    }

    void checkAgreement() {
        const auto& link = window_.linkState();
        EXPECT_LE(bench_.openEvents(), 1);
        EXPECT_TRUE(skin_.clock().running());

        // After a tick with nothing failing, a generator is open exactly when
        // one that can be opened is plugged.
        bool findable = false;
        for (const auto& d : kPool) {
            const auto* spec = bench_.device(d.path);
            findable |= spec != nullptr && spec->generator && spec->openable;
        }
        ASSERT_EQ(link.deviceAttached, findable);
        if (!link.deviceAttached) {
            EXPECT_EQ(bench_.openDeviceHandles(), 0);
            for (const auto id : {ControlId::lblManuf, ControlId::lblProduct, ControlId::lblVersion,
                                  ControlId::Foutput, ControlId::ext_sync_freq}) {
                EXPECT_EQ(skin_.text(id), "") << static_cast<int>(id);
            }
            for (const auto id : {ControlId::Vout, ControlId::polarity, ControlId::ext_trig_dir}) {
                EXPECT_TRUE(skin_.items(id).empty());
                EXPECT_FALSE(skin_.isEnabled(id));
            }
            for (const auto id : {ControlId::Foutput, ControlId::SetFout, ControlId::SetFsync,
                                  ControlId::Factory}) {
                EXPECT_FALSE(skin_.isEnabled(id));
            }
            return;
        }

        // Both handles on one live generator, nothing else open.
        const auto path = bench_.livePath(link.deviceHandle);
        ASSERT_TRUE(path.has_value());
        EXPECT_EQ(bench_.livePath(link.readHandle), path);
        EXPECT_EQ(bench_.openDeviceHandles(), 2);
        const auto& spec = *bench_.device(*path);
        if (serialPickedAt_ != bench_.callCount(hid::sim::Op::ListInterfaces)) {
            EXPECT_EQ(skin_.text(ControlId::SerNo), shown(spec.serialNumber));
        }
        EXPECT_LE(skin_.items(ControlId::SerNo).size(), 4U);

        // The identity of this generator, as far as it could be read.
        const std::string manufacturer = skin_.text(ControlId::lblManuf);
        EXPECT_TRUE(manufacturer.empty() || manufacturer == after(" ", shown(spec.manufacturer)))
            << manufacturer;
        EXPECT_EQ(skin_.text(ControlId::lblVersion).empty(), manufacturer.empty());
        const std::string product = skin_.text(ControlId::lblProduct);
        EXPECT_TRUE(product.empty() || product == after(" ", shown(spec.product))) << product;

        // The settings: either the state could not be read (no amplitudes),
        // or every control not changed since the last read shows the
        // generator's setting by the range rules.
        const auto amplitudes = skin_.items(ControlId::Vout).size();
        if (amplitudes == 0) {
            return;
        }
        ++figures_.displayChecks;
        EXPECT_EQ(amplitudes, 511U);
        EXPECT_GE(spec.capabilities.featureReportByteLength, protocol::kStateReportLength);
        EXPECT_TRUE(link.uiReady && link.stateLoaded);
        const DeviceState& state = model(*path);
        if (!touched(ControlId::Foutput)) {
            EXPECT_EQ(skin_.text(ControlId::Foutput),
                      std::to_string(inRangeOr(state.pulseFrequency, 25000, 350000000, 10000000)));
        }
        if (!touched(ControlId::Vout)) {
            EXPECT_EQ(skin_.selectedIndex(ControlId::Vout),
                      inRangeOr(state.amplitudeIndex, 0, 510, 339));
        }
        if (!touched(ControlId::polarity)) {
            EXPECT_EQ(skin_.selectedIndex(ControlId::polarity),
                      inRangeOr(state.polarityIndex, 0, 1, 1));
        }
        if (!touched(ControlId::ext_trig_dir)) {
            const int function = inRangeOr(state.triggerSyncFunction, 0, 1, 0);
            EXPECT_EQ(skin_.selectedIndex(ControlId::ext_trig_dir), function);
            if (!touched(ControlId::ext_sync_freq)) {
                EXPECT_EQ(skin_.isEnabled(ControlId::ext_sync_freq), function == 1);
            }
        }
        if (!touched(ControlId::ext_sync_freq)) {
            // The box may keep a fraction the user typed; its value as sent is
            // the generator's.
            const auto value = settings::parseNumber(skin_.text(ControlId::ext_sync_freq), ".");
            ASSERT_TRUE(value.has_value()) << skin_.text(ControlId::ext_sync_freq);
            EXPECT_EQ(std::nearbyint(*value), std::clamp(state.syncFrequency, 1000000, 300000000));
        }
    }

    std::mt19937_64 rng_;
    GuardedBench bench_;
    ui::headless::HeadlessSkin skin_;
    ui::MainWindow window_{bench_, skin_};
    Figures figures_;
    long plugNumber_ = 0;
    bool faultArmed_ = false;
    std::size_t messagesExpected_ = 0;
    // Controls changed without reaching the generator, with the count of
    // state reads at that moment: a later read makes them agree again.
    std::map<ControlId, int> touched_;
    // The count of interface walks when SerNo showed a pick it did not act
    // on; the next walk rebuilds the list.
    int serialPickedAt_ = -1;
};

TEST(Soak, RandomisedCyclesOverTheSimulatedBench) {
    const unsigned long long seed =
        fromEnvironment("TPG_SOAK_SEED")
            .value_or(static_cast<unsigned long long>(
                std::chrono::steady_clock::now().time_since_epoch().count()));
    const long cycles = static_cast<long>(fromEnvironment("TPG_SOAK_CYCLES").value_or(10000));
    std::cout << "soak seed " << seed << " (TPG_SOAK_SEED=" << seed << " repeats this run), "
              << cycles << " cycles" << std::endl;
    RecordProperty("seed", std::to_string(seed));
    SCOPED_TRACE(after("soak seed ", std::to_string(seed)));

    const auto begin = std::chrono::steady_clock::now();
    Soak soak(seed);
    soak.start();
    std::optional<long long> firstHalfPeak;
    std::optional<long long> secondHalfPeak;
    for (long i = 0; i < cycles; ++i) {
        SCOPED_TRACE(after("cycle ", std::to_string(i)));
        soak.cycle();
        if (testing::Test::HasFatalFailure() || testing::Test::HasNonfatalFailure()) {
            break;  // the first cycle that went wrong tells the story
        }
        // The heap in use, once the lists and logs have reached their sizes.
        if (const auto bytes = liveHeapBytes(); bytes && i >= cycles / 10) {
            auto& peak = i < cycles / 2 ? firstHalfPeak : secondHalfPeak;
            peak = std::max(peak.value_or(0), *bytes);
        }
    }
    soak.stop();

    const auto& f = soak.figures();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - begin)
                        .count();
    std::cout << "soak: " << f.cycles << " cycles in " << ms << " ms: " << f.plugs << " plugs, "
              << f.unplugs << " unplugs, " << f.switches << " switches, " << f.settings
              << " settings, " << f.defaults << " restores, " << f.faultsArmed << " faults armed, "
              << f.ticks << " ticks, " << f.reports << " reports sent; " << f.settingsChecked
              << " settings seen arriving, " << f.displayChecks
              << " windows compared with their generator";
    if (firstHalfPeak && secondHalfPeak) {
        std::cout << "; heap peak " << *firstHalfPeak << " then " << *secondHalfPeak << " bytes";
        // A leak of a few bytes per cycle adds up to more than this.
        EXPECT_LT(*secondHalfPeak - *firstHalfPeak, 64 * 1024);
    }
    std::cout << std::endl;
    // The run reached every kind of check.
    if (cycles >= 1000) {
        EXPECT_GT(f.settingsChecked, cycles / 20);
        EXPECT_GT(f.displayChecks, cycles / 4);
    }
}

}  // namespace
}  // namespace tpg::test
