// The two frequency settings as a user enters them: the bounds, the texts
// a violated bound is replaced with, the messages for bad input and how a
// fractional value is made whole. The window and the command line both
// check a frequency with these rules.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tpg::settings {

// Titles of the two kinds of message.
inline constexpr const char* kBadInputTitle = "Bad input";
inline constexpr const char* kBadDataRangeTitle = "Bad data range";

struct FrequencyRule {
    double lower;           // inclusive, Hz
    double upper;           // inclusive, Hz
    const char* lowerText;  // the lower bound as plain digits
    const char* upperText;
    const char* notANumber;  // message when the text is not a number
    const char* outOfRange;  // message when the value lies outside the bounds
    // Makes a value within the bounds a whole number of hertz.
    std::int32_t (*whole)(double value);
};

// The pulse frequency: 25 kHz to 350 MHz; halves are rounded up
// (floor(x + 0.5)).
extern const FrequencyRule kPulseFrequency;
// The external sync frequency: 1 MHz to 300 MHz; rounded to the nearest
// whole number, halves to even.
extern const FrequencyRule kSyncFrequency;

enum class FrequencyVerdict { Ok, NotANumber, OutOfRange };

struct CheckedFrequency {
    FrequencyVerdict verdict;
    double value;  // the number read, unrounded; 0 when it is not a number
};

// Whether a value lies within the rule's bounds (NaN does not).
bool withinBounds(double value, const FrequencyRule& rule);

// Checks a text against a rule; the range test is made on the unrounded
// value. decimalSeparator is the one the number grammar accepts.
CheckedFrequency checkFrequency(const std::string& text, const FrequencyRule& rule,
                                std::string_view decimalSeparator);

}  // namespace tpg::settings
