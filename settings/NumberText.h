// The numbers a user may type into a frequency box.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tpg::settings {

// A number is: optional blanks, an optional sign, digits with an optional
// fraction after the decimal separator (or a fraction alone), an optional
// exponent (e or E, optional sign, digits), optional blanks. Empty text,
// group separators, hexadecimal, "inf" and "nan" are not numbers. A value
// too large for a double comes out as infinity (so it lies outside every
// range), one too small as zero. The decimal separator is UTF-8 text of
// one or more bytes (the locale's: ".", ",", or U+066B in Arabic locales);
// an empty one stands for ".". Returns the value.
std::optional<double> parseNumber(const std::string& text, std::string_view decimalSeparator);

// The same grammar, for a number that must be whole as written: "300",
// "3e2" and "3.50e1" are whole; "1.5", "1e-19" and "1e-400" are not, however
// near their value comes to a whole number in a double. Returns the value.
std::optional<double> parseWholeNumber(const std::string& text, std::string_view decimalSeparator);

// A whole number as plain decimal digits, with a minus sign when negative.
std::string decimalText(long long value);

}  // namespace tpg::settings
