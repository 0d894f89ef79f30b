#include "settings/NumberText.h"

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

}  // namespace

std::optional<double> parseNumber(const std::string& text, std::string_view decimalSeparator) {
    if (decimalSeparator.empty()) {
        decimalSeparator = ".";
    }
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && isBlank(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // The number in the form the conversion reads: digits, '.', exponent.
    std::string plain;
    long long significantIntegerDigits = 0;
    std::size_t digits = 0;
    while (i < n && isDigit(text[i])) {
        if (text[i] != '0' || significantIntegerDigits > 0) {
            ++significantIntegerDigits;
        }
        plain += text[i++];
        ++digits;
    }
    // Zeros between the separator and the first significant digit, when the
    // integer part is zero: they make the value smaller.
    long long leadingFractionZeros = 0;
    bool significantSeen = significantIntegerDigits > 0;
    if (i < n && text.compare(i, decimalSeparator.size(), decimalSeparator) == 0) {
        plain += '.';
        i += decimalSeparator.size();
        while (i < n && isDigit(text[i])) {
            if (!significantSeen && text[i] == '0') {
                ++leadingFractionZeros;
            } else {
                significantSeen = true;
            }
            plain += text[i++];
            ++digits;
        }
    }
    if (digits == 0) {
        return std::nullopt;
    }
    long long exponent = 0;
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
        plain += 'e';
        if (negativeExponent) {
            plain += '-';
        }
        while (j < n && isDigit(text[j])) {
            if (exponent < 100000) {
                exponent = exponent * 10 + (text[j] - '0');
            }
            plain += text[j++];
        }
        if (negativeExponent) {
            exponent = -exponent;
        }
        i = j;
    }
    while (i < n && isBlank(text[i])) {
        ++i;
    }
    if (i != n) {
        return std::nullopt;
    }

    double value = 0.0;
    const auto [end, error] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
    if (error == std::errc::result_out_of_range) {
        // Beyond what a double holds: infinitely large (out of every range),
        // or so small that it is zero.
        // The decimal magnitude: digits before the separator, or minus the
        // zeros after it, shifted by the exponent.
        const long long magnitude =
            significantIntegerDigits > 0 ? significantIntegerDigits : -leadingFractionZeros;
        const bool huge = magnitude + exponent > 0;
        value = huge ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (error != std::errc() || end != plain.data() + plain.size()) {
        return std::nullopt;
    }
    return negative ? -value : value;
}

std::string decimalText(long long value) {
    return std::to_string(value);
}

}  // namespace tpg::settings
