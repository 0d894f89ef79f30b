// What a command makes of its data elements: a number in the command's
// units or one of the words MINimum, MAXimum and DEFault, or one of a
// command's choice words.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "scpi/Errors.h"
#include "scpi/Lexer.h"

namespace tpg::scpi {

// A suffix a number may carry, and the power of ten it multiplies by, e.g.
// {"KHZ", 3}. Suffixes are matched without regard to case.
struct UnitSuffix {
    std::string_view name;
    int power;
};

enum class Keyword { Minimum, Maximum, Default };

struct NumericValue {
    std::optional<Keyword> keyword;  // when the parameter was a word
    double value = 0;                // otherwise the number in the base unit
    bool whole = false;              // the number as written is a whole number
};

// Reads a numeric parameter: a number with one of units (or none, which
// means the power noSuffixPower) or a keyword. Errors: -104 for string,
// block or expression data, -131 for a suffix not in units, -224 for another
// word. The value is converted by the settings' number grammar with the
// unit's power added to the exponent, so that "25KHZ" is exactly 25000.
std::optional<Error> readNumeric(const DataElement& element, std::span<const UnitSuffix> units,
                                 int noSuffixPower, NumericValue& out);

// A choice word and the value it stands for, e.g. {"INVerted", 0}.
struct Choice {
    std::string_view form;
    std::int32_t value;
};

// Reads a choice: -104 for anything but a word, -224 for a word not listed.
std::optional<Error> readChoice(const DataElement& element, std::span<const Choice> choices,
                                std::int32_t& out);

// The choice's short form in upper case for value; empty when none has it.
std::string choiceAnswer(std::span<const Choice> choices, std::int32_t value);

}  // namespace tpg::scpi
