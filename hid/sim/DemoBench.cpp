#include "hid/sim/DemoBench.h"

#include <algorithm>

namespace tpg::hid::sim {

namespace {
// Serial numbers as the generators are labelled: model, batch, unit.
std::u16string serialNumber(std::size_t unit) {
    const std::string text = "TPG35-" + std::to_string(20417 + unit * 235);
    return {text.begin(), text.end()};
}

// A node path as the platform the program runs on names it: a hidraw node on
// Linux, a HID interface path (the generator's IDs, an instance, the HID
// interface class) on Windows.
std::string nodePath(std::size_t unit) {
#ifdef _WIN32
    std::string instance = std::to_string(unit);
    instance.insert(0, 4 - std::min<std::size_t>(instance.size(), 4), '0');
    return "\\\\?\\hid#vid_6c3a&pid_4e19#sim&0&" + instance +
           "#{4d1e55b2-f16f-11cf-88cb-001111000030}";
#else
    return "/dev/hidraw" + std::to_string(3 + unit);
#endif
}
}  // namespace

void DemoBench::plugStartingGenerators() {
    // 25 MHz pulses, 667 mV, inverted, trigger output.
    add(serialNumber(generators_.size()), {25000000, 200, 0, 0, 10000000});
    // 100 MHz pulses, 1096 mV, normal, sync input at 50 MHz.
    add(serialNumber(generators_.size()), {100000000, 339, 1, 1, 50000000});
}

std::size_t DemoBench::addGenerator() {
    return add(serialNumber(generators_.size()), GeneratorModel::factoryState());
}

std::size_t DemoBench::add(const std::u16string& serial, const protocol::DeviceState& state) {
    const std::string path = nodePath(generators_.size());
    generators_.push_back(generatorSpec(path, serial, state));
    if (maker_ == Maker::MarkedSimulated) {
        generators_.back().manufacturer += u" (simulated)";
    }
    bench_.plug(generators_.back());
    return generators_.size() - 1;
}

void DemoBench::plug(std::size_t generator) {
    if (generator < generators_.size() && !isPlugged(generator)) {
        bench_.plug(generators_[generator]);
    }
}

void DemoBench::unplug(std::size_t generator) {
    if (generator >= generators_.size() || !isPlugged(generator)) {
        return;
    }
    // Put aside with the settings it holds now.
    generators_[generator] = *bench_.device(generators_[generator].path);
    bench_.unplug(generators_[generator].path);
}

bool DemoBench::isPlugged(std::size_t generator) const {
    return generator < generators_.size() && bench_.isPlugged(generators_[generator].path);
}

std::string DemoBench::serial(std::size_t generator) const {
    const std::u16string& units = generators_[generator].serialNumber;
    return {units.begin(), units.end()};  // the serial numbers are plain ASCII
}

protocol::DeviceState DemoBench::settings(std::size_t generator) const {
    const DeviceSpec* live =
        isPlugged(generator) ? bench_.device(generators_[generator].path) : nullptr;
    const DeviceSpec& config = live != nullptr ? *live : generators_[generator];
    return config.generator ? config.generator->state() : protocol::DeviceState{};
}

}  // namespace tpg::hid::sim
