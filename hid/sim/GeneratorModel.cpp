#include "hid/sim/GeneratorModel.h"

namespace tpg::hid::sim {

protocol::DeviceState GeneratorModel::factoryState() {
    return protocol::DeviceState{.pulseFrequency = 10000000,
                                 .amplitudeIndex = 339,
                                 .polarityIndex = 1,
                                 .triggerSyncFunction = 0,
                                 .syncFrequency = 10000000};
}

bool GeneratorModel::handleSetFeature(std::span<const std::uint8_t> report) {
    const auto command = protocol::parseCommand(report);
    if (!command) {
        return false;
    }
    switch (command->command) {
        case protocol::ReportCommand::SetPulseFrequency:
            state_.pulseFrequency = command->value;
            break;
        case protocol::ReportCommand::SetAmplitude:
            state_.amplitudeIndex = command->value;
            break;
        case protocol::ReportCommand::SetPolarity:
            state_.polarityIndex = command->value;
            break;
        case protocol::ReportCommand::SetTriggerSyncFunction:
            state_.triggerSyncFunction = command->value;
            break;
        case protocol::ReportCommand::SetSyncFrequency:
            state_.syncFrequency = command->value;
            break;
    }
    return true;
}

std::optional<std::vector<std::uint8_t>> GeneratorModel::stateReport(
    std::size_t reportLength) const {
    return protocol::buildStateReport(state_, reportLength);
}

}  // namespace tpg::hid::sim
