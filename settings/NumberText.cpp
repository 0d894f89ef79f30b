#include "settings/NumberText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace tpg::settings {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// A text read by the grammar: the number in the form the conversion reads
// (digits, '.', exponent), and what tells its size and whether it is whole.
struct Scanned {
    std::string plain;
    std::string digits;           // every digit of the significand, in order
    long long integerDigits = 0;  // how many of them stand before the separator
    long long significantIntegerDigits = 0;
    long long leadingFractionZeros = 0;
    long long exponent = 0;
    bool negative = false;
};

std::optional<Scanned> scanNumber(const std::string& text, std::string_view decimalSeparator) {
    if (decimalSeparator.empty()) {
        decimalSeparator = ".";
    }
    Scanned out;
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && isBlank(text[i])) {
        ++i;
    }
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        out.negative = text[i] == '-';
        ++i;
    }
    while (i < n && isDigit(text[i])) {
        if (text[i] != '0' || out.significantIntegerDigits > 0) {
            ++out.significantIntegerDigits;
        }
        out.digits += text[i];
        out.plain += text[i++];
    }
    out.integerDigits = static_cast<long long>(out.digits.size());
    // Zeros between the separator and the first significant digit, when the
    // integer part is zero: they make the value smaller.
    bool significantSeen = out.significantIntegerDigits > 0;
    if (i < n && text.compare(i, decimalSeparator.size(), decimalSeparator) == 0) {
        out.plain += '.';
        i += decimalSeparator.size();
        while (i < n && isDigit(text[i])) {
            if (!significantSeen && text[i] == '0') {
                ++out.leadingFractionZeros;
            } else {
                significantSeen = true;
            }
            out.digits += text[i];
            out.plain += text[i++];
        }
    }
    if (out.digits.empty()) {
        return std::nullopt;
    }
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        bool negativeExponent = false;
        if (j < n && (text[j] == '+' || text[j] == '-')) {
            negativeExponent = text[j] == '-';
            ++j;
        }
        if (j >= n || !isDigit(text[j])) {
            return std::nullopt;
        }
        out.plain += 'e';
        if (negativeExponent) {
            out.plain += '-';
        }
        while (j < n && isDigit(text[j])) {
            if (out.exponent < 100000) {
                out.exponent = out.exponent * 10 + (text[j] - '0');
            }
            out.plain += text[j++];
        }
        if (negativeExponent) {
            out.exponent = -out.exponent;
        }
        i = j;
    }
    while (i < n && isBlank(text[i])) {
        ++i;
    }
    if (i != n) {
        return std::nullopt;
    }
    return out;
}

}  // namespace

std::optional<double> parseNumber(const std::string& text, std::string_view decimalSeparator) {
    const auto scanned = scanNumber(text, decimalSeparator);
    if (!scanned) {
        return std::nullopt;
    }
    const std::string& plain = scanned->plain;
    double value = 0.0;
    const auto [end, error] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
    if (error == std::errc::result_out_of_range) {
        // Beyond what a double holds: infinitely large (out of every range),
        // or so small that it is zero.
        // The decimal magnitude: digits before the separator, or minus the
        // zeros after it, shifted by the exponent.
        const long long magnitude = scanned->significantIntegerDigits > 0
                                        ? scanned->significantIntegerDigits
                                        : -scanned->leadingFractionZeros;
        const bool huge = magnitude + scanned->exponent > 0;
        value = huge ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (error != std::errc() || end != plain.data() + plain.size()) {
        return std::nullopt;
    }
    return scanned->negative ? -value : value;
}

std::optional<double> parseWholeNumber(const std::string& text, std::string_view decimalSeparator) {
    const auto scanned = scanNumber(text, decimalSeparator);
    if (!scanned) {
        return std::nullopt;
    }
    // The separator moved by the exponent: every digit after it must be 0.
    const long long point = scanned->integerDigits + scanned->exponent;
    const auto size = static_cast<long long>(scanned->digits.size());
    for (long long i = std::max(point, 0LL); i < size; ++i) {
        if (scanned->digits[static_cast<std::size_t>(i)] != '0') {
            return std::nullopt;
        }
    }
    return parseNumber(text, decimalSeparator);
}

std::string decimalText(long long value) {
    return std::to_string(value);
}

}  // namespace tpg::settings
