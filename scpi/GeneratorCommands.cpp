#include "scpi/GeneratorCommands.h"

#include <array>

#include "scpi/Parameters.h"
#include "settings/AmplitudeSteps.h"
#include "settings/Frequencies.h"
#include "settings/NumberText.h"
#include "settings/Readback.h"

namespace tpg::scpi {
namespace {

using protocol::ReportCommand;
using settings::ShownState;
using settings::ShownValue;

constexpr std::array<UnitSuffix, 4> kFrequencyUnits = {
    {{"HZ", 0}, {"KHZ", 3}, {"MHZ", 6}, {"GHZ", 9}}};
// Amplitudes are taken in millivolts, as the steps are listed.
constexpr std::array<UnitSuffix, 2> kVoltageUnits = {{{"V", 3}, {"MV", 0}}};
constexpr int kVoltsPower = 3;

constexpr std::array<Choice, 2> kConnectorChoices = {
    {{"OUTPut", settings::kTriggerOutput}, {"INPut", settings::kSyncInput}}};
constexpr std::array<Choice, 2> kPolarityChoices = {
    {{"NORMal", settings::kPolarityNormal}, {"INVerted", settings::kPolarityInverted}}};

// A setting given as a number.
struct NumericSetting {
    ReportCommand report;
    std::span<const UnitSuffix> units;
    int noSuffixPower;
    // The value to send for a number, or why there is none.
    std::optional<Error> (*convert)(const NumericValue& number, std::int32_t& out);
    std::int32_t minimum;  // the values of MINimum, MAXimum and DEFault
    std::int32_t maximum;
    std::int32_t fallback;
    ShownValue ShownState::*shown;
    std::string (*answer)(std::int32_t value);
};

// A setting given as one of its choice words.
struct ChoiceSetting {
    ReportCommand report;
    std::span<const Choice> choices;
    ShownValue ShownState::*shown;
};

std::optional<Error> frequency(const settings::FrequencyRule& rule, const NumericValue& number,
                               std::int32_t& out) {
    if (!settings::withinBounds(number.value, rule)) {
        return makeError(ErrorCode::DataOutOfRange, rule.outOfRange);
    }
    out = rule.whole(number.value);
    return std::nullopt;
}

std::optional<Error> pulseFrequency(const NumericValue& number, std::int32_t& out) {
    return frequency(settings::kPulseFrequency, number, out);
}

std::optional<Error> syncFrequency(const NumericValue& number, std::int32_t& out) {
    return frequency(settings::kSyncFrequency, number, out);
}

std::optional<Error> amplitude(const NumericValue& millivolts, std::int32_t& out) {
    const auto index = settings::nearestAmplitudeIndex(millivolts.value);
    if (!index) {
        return makeError(ErrorCode::DataOutOfRange, settings::amplitudeOutOfRangeMessage());
    }
    out = *index;
    return std::nullopt;
}

std::optional<Error> amplitudeIndex(const NumericValue& number, std::int32_t& out) {
    if (!number.whole) {
        return makeError(ErrorCode::IllegalParameterValue, settings::kAmplitudeIndexNotWhole);
    }
    if (!(number.value >= 0 && number.value <= settings::kHighestAmplitudeIndex)) {
        return makeError(ErrorCode::DataOutOfRange, settings::kAmplitudeIndexOutOfRange);
    }
    out = static_cast<std::int32_t>(number.value);
    return std::nullopt;
}

std::string integerAnswer(std::int32_t value) {
    return settings::decimalText(value);
}

// The step's figure in volts with three decimals: 1096 mV gives "1.096".
std::string voltsAnswer(std::int32_t index) {
    const int mv = settings::amplitudeMillivolts(index);
    const std::string thousandths = settings::decimalText(1000 + mv % 1000);
    return settings::decimalText(mv / 1000) + "." + thousandths.substr(1);
}

const NumericSetting* numericSetting(Command command) {
    static const NumericSetting pulse{
        ReportCommand::SetPulseFrequency,
        kFrequencyUnits,
        0,
        pulseFrequency,
        settings::kPulseFrequency.whole(settings::kPulseFrequency.lower),
        settings::kPulseFrequency.whole(settings::kPulseFrequency.upper),
        settings::kDefaultPulseFrequency,
        &ShownState::pulseFrequency,
        integerAnswer};
    static const NumericSetting sync{ReportCommand::SetSyncFrequency,
                                     kFrequencyUnits,
                                     0,
                                     syncFrequency,
                                     settings::kSyncFrequency.whole(settings::kSyncFrequency.lower),
                                     settings::kSyncFrequency.whole(settings::kSyncFrequency.upper),
                                     settings::kDefaultSyncFrequency,
                                     &ShownState::syncFrequency,
                                     integerAnswer};
    static const NumericSetting volts{ReportCommand::SetAmplitude,
                                      kVoltageUnits,
                                      kVoltsPower,
                                      amplitude,
                                      0,
                                      settings::kHighestAmplitudeIndex,
                                      settings::kDefaultAmplitudeIndex,
                                      &ShownState::amplitudeIndex,
                                      voltsAnswer};
    static const NumericSetting index{ReportCommand::SetAmplitude,
                                      {},
                                      0,
                                      amplitudeIndex,
                                      0,
                                      settings::kHighestAmplitudeIndex,
                                      settings::kDefaultAmplitudeIndex,
                                      &ShownState::amplitudeIndex,
                                      integerAnswer};
    switch (command) {
        case Command::PulseFrequency:
            return &pulse;
        case Command::SyncFrequency:
            return &sync;
        case Command::Amplitude:
            return &volts;
        case Command::AmplitudeIndex:
            return &index;
        default:
            return nullptr;
    }
}

const ChoiceSetting* choiceSetting(Command command) {
    static const ChoiceSetting connector{ReportCommand::SetTriggerSyncFunction, kConnectorChoices,
                                         &ShownState::triggerSyncFunction};
    static const ChoiceSetting polarity{ReportCommand::SetPolarity, kPolarityChoices,
                                        &ShownState::polarityIndex};
    switch (command) {
        case Command::ConnectorFunction:
            return &connector;
        case Command::Polarity:
            return &polarity;
        default:
            return nullptr;
    }
}

std::int32_t keywordValue(const NumericSetting& setting, Keyword keyword) {
    switch (keyword) {
        case Keyword::Minimum:
            return setting.minimum;
        case Keyword::Maximum:
            return setting.maximum;
        case Keyword::Default:
            break;
    }
    return setting.fallback;
}

// Identity text in one field of *IDN?: no field separator, no line break.
std::string identityField(const std::string& text) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        out += c == ',' || byte < 0x20 || byte == 0x7F ? ' ' : c;
    }
    return out;
}

}  // namespace

IdnFields idnFields(const Identity& identity) {
    return {identityField(identity.maker), identityField(identity.product),
            identity.serial.empty() ? "0" : identityField(identity.serial),
            settings::versionText(identity.versionNumber)};
}

Outcome GeneratorCommands::send(const settings::SettingReport& report) {
    if (auto fault = generator_.send(report)) {
        return Outcome::failed(faultError(*fault));
    }
    return Outcome::done();
}

Outcome GeneratorCommands::set(Command command, const ProgramUnit& unit) {
    if (unit.data.empty()) {
        return Outcome::failed(makeError(ErrorCode::MissingParameter));
    }
    if (unit.data.size() > 1) {
        return Outcome::failed(makeError(ErrorCode::ParameterNotAllowed));
    }
    std::int32_t value = 0;
    if (const auto* setting = numericSetting(command)) {
        NumericValue number;
        if (auto error =
                readNumeric(unit.data.front(), setting->units, setting->noSuffixPower, number)) {
            return Outcome::failed(*error);
        }
        if (number.keyword) {
            value = keywordValue(*setting, *number.keyword);
        } else if (auto error = setting->convert(number, value)) {
            return Outcome::failed(*error);
        }
        return send({setting->report, value});
    }
    const auto* setting = choiceSetting(command);
    if (setting == nullptr) {
        return Outcome::failed(makeError(ErrorCode::UndefinedHeader, unit.header));
    }
    if (auto error = readChoice(unit.data.front(), setting->choices, value)) {
        return Outcome::failed(*error);
    }
    return send({setting->report, value});
}

Outcome GeneratorCommands::query(Command command, const ProgramUnit& unit) {
    const auto* numeric = numericSetting(command);
    const auto* choice = choiceSetting(command);
    if (numeric == nullptr && choice == nullptr) {
        return Outcome::failed(makeError(ErrorCode::UndefinedHeader, unit.header));
    }
    if (!unit.data.empty()) {
        // Only a word, and only for a number: MINimum, MAXimum or DEFault.
        if (unit.data.size() > 1 || numeric == nullptr ||
            unit.data.front().kind != DataKind::Character) {
            return Outcome::failed(makeError(ErrorCode::ParameterNotAllowed));
        }
        NumericValue number;
        if (auto error = readNumeric(unit.data.front(), {}, 0, number)) {
            return Outcome::failed(*error);  // -224 with the word
        }
        return Outcome::answered(numeric->answer(keywordValue(*numeric, *number.keyword)));
    }
    protocol::DeviceState state;
    if (auto fault = generator_.readState(state)) {
        return Outcome::failed(faultError(*fault));
    }
    const ShownState shown = settings::applyRangeRule(state);
    if (numeric != nullptr) {
        return Outcome::answered(numeric->answer((shown.*(numeric->shown)).value));
    }
    return Outcome::answered(choiceAnswer(choice->choices, (shown.*(choice->shown)).value));
}

Outcome GeneratorCommands::identify() {
    Identity identity;
    if (auto fault = generator_.identity(identity)) {
        return Outcome::failed(faultError(*fault));
    }
    const IdnFields fields = idnFields(identity);
    Outcome out = Outcome::answered(fields.maker + "," + fields.product + "," + fields.serial +
                                    "," + fields.version);
    out.indefinite = true;
    return out;
}

Outcome GeneratorCommands::reset() {
    for (const auto& report : settings::restoreDefaultsReports()) {
        if (auto fault = generator_.send(report)) {
            return Outcome::failed(faultError(*fault));
        }
    }
    return Outcome::done();
}

Outcome GeneratorCommands::selfTest() {
    protocol::DeviceState state;
    return Outcome::answered(generator_.readState(state) ? "1" : "0");
}

}  // namespace tpg::scpi
