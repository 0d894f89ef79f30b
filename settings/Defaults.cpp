#include "settings/Defaults.h"

namespace tpg::settings {

std::vector<SettingReport> restoreDefaultsReports() {
    using protocol::ReportCommand;
    return {
        {ReportCommand::SetPulseFrequency, kDefaultPulseFrequency},
        {ReportCommand::SetAmplitude, kDefaultAmplitudeIndex},
        {ReportCommand::SetAmplitude, kDefaultAmplitudeIndex},
        {ReportCommand::SetTriggerSyncFunction, kDefaultTriggerSyncFunction},
        {ReportCommand::SetTriggerSyncFunction, kDefaultTriggerSyncFunction},
        {ReportCommand::SetSyncFrequency, kDefaultSyncFrequency},
        {ReportCommand::SetPolarity, kDefaultPolarityIndex},
        {ReportCommand::SetPolarity, kDefaultPolarityIndex},
    };
}

}  // namespace tpg::settings
