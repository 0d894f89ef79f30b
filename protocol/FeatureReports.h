// Byte layouts of the generator's feature reports on report ID 0.
//
// Every report is built in a zeroed buffer of the device's feature report
// length (report ID byte included); integers are little-endian. Nothing here
// touches a device: building and parsing are pure byte operations.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tpg::protocol {

// Command codes carried in byte 1 of every report the tool sends.
enum class ReportCommand : std::uint8_t {
    SetPulseFrequency = 1,
    SetAmplitude = 2,
    SetPolarity = 3,
    SetTriggerSyncFunction = 5,
    SetSyncFrequency = 6,
};

inline constexpr std::size_t kCommandPayloadOffset = 3;
inline constexpr std::size_t kShortCommandLength = 5;  // 16-bit payload
inline constexpr std::size_t kLongCommandLength = 7;   // 32-bit payload
inline constexpr std::size_t kStateReportLength = 19;

// Width of the payload of a command: 2 or 4 bytes.
std::size_t payloadWidth(ReportCommand command);

// Smallest report length that holds the command's layout.
std::size_t minimumLength(ReportCommand command);

// Builds a command report of reportLength bytes. A 16-bit payload is the low
// 16 bits of value; a 32-bit payload is value as a signed 32-bit integer.
// Returns nothing when reportLength is too short for the layout: such a
// report is never sent.
std::optional<std::vector<std::uint8_t>> buildCommand(ReportCommand command, std::int32_t value,
                                                      std::size_t reportLength);

// The settings that the StateReport carries. 16-bit fields come out unsigned
// (0 to 65535), 32-bit fields signed.
struct DeviceState {
    std::int32_t pulseFrequency = 0;
    std::int32_t amplitudeIndex = 0;
    std::int32_t polarityIndex = 0;
    std::int32_t triggerSyncFunction = 0;
    std::int32_t syncFrequency = 0;

    bool operator==(const DeviceState&) const = default;
};

// Takes the StateReport apart. Returns nothing when the report is shorter
// than kStateReportLength: its fields cannot be read.
std::optional<DeviceState> parseStateReport(std::span<const std::uint8_t> report);

// The device side of the exchange, for anything that stands in the
// generator's place.

// Builds a StateReport of reportLength bytes (at least kStateReportLength).
// The 16-bit fields hold the low 16 bits of the values.
std::optional<std::vector<std::uint8_t>> buildStateReport(const DeviceState& state,
                                                          std::size_t reportLength);

struct Command {
    ReportCommand command;
    std::int32_t value;  // 16-bit payloads unsigned, 32-bit payloads signed
};

// Reads a received command report. Returns nothing for an unknown command
// code, a report ID other than 0 or a report too short for its layout.
std::optional<Command> parseCommand(std::span<const std::uint8_t> report);

}  // namespace tpg::protocol
