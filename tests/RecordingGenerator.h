// A generator for the SCPI instrument's tests and fuzz target: it keeps a
// state that the settings sent change, records every report that reached
// it, and fails each kind of call on request.
#pragma once

#include <optional>
#include <vector>

#include "scpi/Generator.h"

namespace tpg::test {

struct RecordingGenerator : scpi::Generator {
    protocol::DeviceState state{125000000, 339, 1, 0, 10000000};
    scpi::Identity id{"Trelvix Instruments", "Trelvix Pulse Generator TPG-350", "TPG35-20417",
                      0x0103};
    std::vector<settings::SettingReport> sent;  // the reports that reached the generator
    std::optional<scpi::Fault> identityFault;
    std::optional<scpi::Fault> readFault;
    std::optional<scpi::Fault> sendFault;  // once sendsBeforeFault reports have reached it
    std::size_t sendsBeforeFault = 0;

    std::optional<scpi::Fault> identity(scpi::Identity& out) override {
        if (identityFault) {
            return identityFault;
        }
        out = id;
        return std::nullopt;
    }

    std::optional<scpi::Fault> readState(protocol::DeviceState& out) override {
        if (readFault) {
            return readFault;
        }
        out = state;
        return std::nullopt;
    }

    // Open unless reading the state finds no generator.
    bool isOpen() const override { return !(readFault && readFault->missing); }

    std::optional<scpi::Fault> send(const settings::SettingReport& report) override {
        if (sendFault && sent.size() >= sendsBeforeFault) {
            return sendFault;
        }
        sent.push_back(report);
        // The 16-bit fields keep the low 16 bits, as the report carries them.
        const std::int32_t low16 = report.value & 0xFFFF;
        switch (report.command) {
            case protocol::ReportCommand::SetPulseFrequency:
                state.pulseFrequency = report.value;
                break;
            case protocol::ReportCommand::SetAmplitude:
                state.amplitudeIndex = low16;
                break;
            case protocol::ReportCommand::SetPolarity:
                state.polarityIndex = low16;
                break;
            case protocol::ReportCommand::SetTriggerSyncFunction:
                state.triggerSyncFunction = low16;
                break;
            case protocol::ReportCommand::SetSyncFrequency:
                state.syncFrequency = report.value;
                break;
        }
        return std::nullopt;
    }
};

}  // namespace tpg::test
