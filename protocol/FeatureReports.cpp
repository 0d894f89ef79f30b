#include "protocol/FeatureReports.h"

namespace tpg::protocol {
namespace {

constexpr std::size_t kPulseFrequencyOffset = 3;
constexpr std::size_t kAmplitudeOffset = 7;
constexpr std::size_t kPolarityOffset = 9;
constexpr std::size_t kTriggerSyncOffset = 13;
constexpr std::size_t kSyncFrequencyOffset = 15;

void putLittleEndian(std::span<std::uint8_t> out, std::size_t offset, std::uint32_t value,
                     std::size_t width) {
    for (std::size_t i = 0; i < width; ++i) {
        out[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

// A field read into a 32-bit value that was 0 before: 2-byte fields come out
// unsigned, 4-byte fields as two's complement.
std::int32_t getLittleEndian(std::span<const std::uint8_t> in, std::size_t offset,
                             std::size_t width) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < width; ++i) {
        value |= static_cast<std::uint32_t>(in[offset + i]) << (8 * i);
    }
    return static_cast<std::int32_t>(value);
}

bool isKnown(std::uint8_t code) {
    switch (static_cast<ReportCommand>(code)) {
        case ReportCommand::SetPulseFrequency:
        case ReportCommand::SetAmplitude:
        case ReportCommand::SetPolarity:
        case ReportCommand::SetTriggerSyncFunction:
        case ReportCommand::SetSyncFrequency:
            return true;
    }
    return false;
}

}  // namespace

std::size_t payloadWidth(ReportCommand command) {
    return command == ReportCommand::SetPulseFrequency || command == ReportCommand::SetSyncFrequency
               ? 4
               : 2;
}

std::size_t minimumLength(ReportCommand command) {
    return kCommandPayloadOffset + payloadWidth(command);
}

std::optional<std::vector<std::uint8_t>> buildCommand(ReportCommand command, std::int32_t value,
                                                      std::size_t reportLength) {
    if (reportLength < minimumLength(command)) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> report(reportLength, 0);
    report[0] = 0;
    report[1] = static_cast<std::uint8_t>(command);
    putLittleEndian(report, kCommandPayloadOffset, static_cast<std::uint32_t>(value),
                    payloadWidth(command));
    return report;
}

std::optional<DeviceState> parseStateReport(std::span<const std::uint8_t> report) {
    if (report.size() < kStateReportLength) {
        return std::nullopt;
    }
    DeviceState state;
    state.pulseFrequency = getLittleEndian(report, kPulseFrequencyOffset, 4);
    state.amplitudeIndex = getLittleEndian(report, kAmplitudeOffset, 2);
    state.polarityIndex = getLittleEndian(report, kPolarityOffset, 2);
    state.triggerSyncFunction = getLittleEndian(report, kTriggerSyncOffset, 2);
    state.syncFrequency = getLittleEndian(report, kSyncFrequencyOffset, 4);
    return state;
}

std::optional<std::vector<std::uint8_t>> buildStateReport(const DeviceState& state,
                                                          std::size_t reportLength) {
    if (reportLength < kStateReportLength) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> report(reportLength, 0);
    putLittleEndian(report, kPulseFrequencyOffset, static_cast<std::uint32_t>(state.pulseFrequency),
                    4);
    putLittleEndian(report, kAmplitudeOffset, static_cast<std::uint32_t>(state.amplitudeIndex), 2);
    putLittleEndian(report, kPolarityOffset, static_cast<std::uint32_t>(state.polarityIndex), 2);
    putLittleEndian(report, kTriggerSyncOffset,
                    static_cast<std::uint32_t>(state.triggerSyncFunction), 2);
    putLittleEndian(report, kSyncFrequencyOffset, static_cast<std::uint32_t>(state.syncFrequency),
                    4);
    return report;
}

std::optional<Command> parseCommand(std::span<const std::uint8_t> report) {
    if (report.size() < 2 || report[0] != 0 || !isKnown(report[1])) {
        return std::nullopt;
    }
    const auto command = static_cast<ReportCommand>(report[1]);
    if (report.size() < minimumLength(command)) {
        return std::nullopt;
    }
    return Command{command, getLittleEndian(report, kCommandPayloadOffset, payloadWidth(command))};
}

}  // namespace tpg::protocol
