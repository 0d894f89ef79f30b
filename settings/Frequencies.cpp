#include "settings/Frequencies.h"

#include <cmath>

#include "settings/NumberText.h"

namespace tpg::settings {
namespace {

std::int32_t halvesUp(double value) {
    return static_cast<std::int32_t>(std::floor(value + 0.5));
}

// The default floating-point environment rounds to nearest, ties to even.
std::int32_t halvesToEven(double value) {
    return static_cast<std::int32_t>(std::nearbyint(value));
}

}  // namespace

const FrequencyRule kPulseFrequency{25000.0,
                                    350000000.0,
                                    "25000",
                                    "350000000",
                                    "Enter pulse frequency in Hz",
                                    "Pulse frequency is between 25kHz and 350MHz",
                                    halvesUp};

const FrequencyRule kSyncFrequency{1000000.0,
                                   300000000.0,
                                   "1000000",
                                   "300000000",
                                   "Enter external sync frequency in Hz",
                                   "External sync frequency is between 1MHz and 300MHz",
                                   halvesToEven};

bool withinBounds(double value, const FrequencyRule& rule) {
    return value >= rule.lower && value <= rule.upper;
}

CheckedFrequency checkFrequency(const std::string& text, const FrequencyRule& rule,
                                std::string_view decimalSeparator) {
    const auto number = parseNumber(text, decimalSeparator);
    if (!number) {
        return {FrequencyVerdict::NotANumber, 0.0};
    }
    if (!withinBounds(*number, rule)) {
        return {FrequencyVerdict::OutOfRange, *number};
    }
    return {FrequencyVerdict::Ok, *number};
}

}  // namespace tpg::settings
