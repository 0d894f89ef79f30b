#include "scpi/Parameters.h"

#include <algorithm>
#include <array>

#include "scpi/Mnemonic.h"
#include "settings/NumberText.h"

namespace tpg::scpi {
namespace {

constexpr std::array<std::string_view, 3> kKeywordForms = {"MINimum", "MAXimum", "DEFault"};

std::optional<Error> notAValue(const DataElement& element) {
    if (element.kind == DataKind::String || element.kind == DataKind::Block ||
        element.kind == DataKind::Expression) {
        return makeError(ErrorCode::DataTypeError);
    }
    return std::nullopt;
}

// Whether the decimal number as written is a whole number: every digit
// after the point, once the exponent has moved it, is a zero. "1e-400" and
// "1.5" are not whole; "1.50e1" and "0e-400" are.
bool wholeAsWritten(const std::string& mantissa, long long exponent) {
    std::string digits;
    long long integerDigits = 0;
    bool point = false;
    for (const char c : mantissa) {
        if (c == '.') {
            point = true;
        } else if (c >= '0' && c <= '9') {
            digits += c;
            integerDigits += point ? 0 : 1;
        }
    }
    const long long firstFraction = std::max(0LL, integerDigits + exponent);
    for (auto i = static_cast<std::size_t>(std::min<long long>(firstFraction, digits.size()));
         i < digits.size(); ++i) {
        if (digits[i] != '0') {
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<Error> readNumeric(const DataElement& element, std::span<const UnitSuffix> units,
                                 int noSuffixPower, NumericValue& out) {
    out = NumericValue{};
    if (auto error = notAValue(element)) {
        return error;
    }
    if (element.kind == DataKind::Character) {
        for (std::size_t i = 0; i < kKeywordForms.size(); ++i) {
            if (matchesForm(kKeywordForms[i], element.text)) {
                out.keyword = static_cast<Keyword>(i);
                return std::nullopt;
            }
        }
        return makeError(ErrorCode::IllegalParameterValue, element.text);
    }
    int power = noSuffixPower;
    if (!element.suffix.empty()) {
        const auto unit = std::find_if(units.begin(), units.end(), [&](const UnitSuffix& u) {
            return matchesForm(u.name, element.suffix);
        });
        if (unit == units.end()) {
            return makeError(ErrorCode::InvalidSuffix, element.suffix);
        }
        power = unit->power;
    }
    const std::string text =
        element.mantissa + "e" + settings::decimalText(element.exponent + power);
    const auto value = settings::parseNumber(text, ".");
    if (!value) {
        return makeError(ErrorCode::SyntaxError);  // the lexer lets through only numbers
    }
    out.value = *value;
    out.whole = wholeAsWritten(element.mantissa, element.exponent);
    return std::nullopt;
}

std::optional<Error> readChoice(const DataElement& element, std::span<const Choice> choices,
                                std::int32_t& out) {
    if (element.kind != DataKind::Character) {
        return makeError(ErrorCode::DataTypeError);
    }
    for (const Choice& choice : choices) {
        if (matchesForm(choice.form, element.text)) {
            out = choice.value;
            return std::nullopt;
        }
    }
    return makeError(ErrorCode::IllegalParameterValue, element.text);
}

std::string choiceAnswer(std::span<const Choice> choices, std::int32_t value) {
    for (const Choice& choice : choices) {
        if (choice.value == value) {
            return shortForm(choice.form);
        }
    }
    return {};
}

}  // namespace tpg::scpi
