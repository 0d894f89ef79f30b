// What counts as a number in a frequency box, and the value it has.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>

#include "settings/NumberText.h"

namespace tpg::settings {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

struct Good {
    std::string text;
    double value;
};

void expectNumbers(const Good* begin, const Good* end, char separator) {
    for (const Good* c = begin; c != end; ++c) {
        SCOPED_TRACE("\"" + c->text + "\" with separator '" + separator + "'");
        const auto value = parseNumber(c->text, std::string(1, separator));
        ASSERT_TRUE(value.has_value());
        if (std::isinf(c->value)) {
            EXPECT_EQ(*value, c->value);
        } else {
            EXPECT_DOUBLE_EQ(*value, c->value);
        }
    }
}

void expectNotNumbers(const std::string* begin, const std::string* end, char separator) {
    for (const std::string* text = begin; text != end; ++text) {
        const auto value = parseNumber(*text, std::string(1, separator));
        EXPECT_FALSE(value.has_value())
            << "\"" << *text << "\" with separator '" << separator << "' gave " << *value;
    }
}

TEST(NumberText, NumbersWithPoint) {
    const Good cases[] = {
        {"0", 0.0},
        {"7", 7.0},
        {"25000", 25000.0},
        {"350000000", 350000000.0},
        {"0025000", 25000.0},
        {"+25000", 25000.0},
        {"-5", -5.0},
        {"-0", 0.0},
        {"1.5", 1.5},
        {"25000.5", 25000.5},
        {".5", 0.5},
        {"-.25", -0.25},
        {"5.", 5.0},
        {"10000000.7", 10000000.7},
        {" 25000", 25000.0},
        {"25000 ", 25000.0},
        {"  \t 1000000 \t ", 1000000.0},
        {"\t-3.5\t", -3.5},
        {"1e3", 1000.0},
        {"1E3", 1000.0},
        {"1e+3", 1000.0},
        {"2.5e4", 25000.0},
        {"3.5E8", 350000000.0},
        {"1.5e-3", 0.0015},
        {"-1e6", -1000000.0},
        {".5e1", 5.0},
        {"5.e1", 50.0},
        {"1e007", 10000000.0},
        {"123456789012345678901234567890", 1.2345678901234568e29},
        {"0.000000000000000000001", 1e-21},
    };
    expectNumbers(std::begin(cases), std::end(cases), '.');
}

TEST(NumberText, NumbersWithComma) {
    const Good cases[] = {
        {"1,5", 1.5},      {"25000,5", 25000.5},           {",5", 0.5},        {"5,", 5.0},
        {"-2,5e1", -25.0}, {"  10000000,7  ", 10000000.7}, {"25000", 25000.0}, {"1e6", 1000000.0},
    };
    expectNumbers(std::begin(cases), std::end(cases), ',');
}

TEST(NumberText, BeyondTheRangeOfADouble) {
    const std::string manyDigits = "1" + std::string(400, '0');
    const std::string tinyFraction = "0." + std::string(400, '0') + "1";
    const Good cases[] = {
        // Too large: infinitely large, so out of every range.
        {"1e400", kInf},
        {"-1e400", -kInf},
        {"1.8e308", kInf},
        {manyDigits, kInf},
        {"0.001e312", kInf},
        {"1e99999999999999999999", kInf},
        // Too small to tell from zero.
        {"1e-400", 0.0},
        {"-1e-400", 0.0},
        {"100e-400", 0.0},
        {tinyFraction, 0.0},
        {"1e-99999999999999999999", 0.0},
        // Within range however written.
        {"1.7e308", 1.7e308},
        {"0.0001e10", 1e6},
        {"0e999999", 0.0},
    };
    expectNumbers(std::begin(cases), std::end(cases), '.');
}

// A fraction too small for a double stays too small under a small positive
// exponent: 1e-331 times 1e5 is zero, not infinity.
TEST(NumberText, TinyFractionWithPositiveExponentIsZero) {
    const std::string tiny = "0." + std::string(330, '0') + "1e5";
    const auto value = parseNumber(tiny, ".");
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(*value, 0.0);
}

TEST(NumberText, NotNumbers) {
    const std::string withPoint[] = {
        "",
        " ",
        "\t",
        "abc",
        "-",
        "+",
        ".",
        "-.",
        "+-1",
        "--1",
        "1,5",
        ",5",
        "25,000",
        "25 000",
        "1'000",
        "1_000",
        "0x10",
        "0X1A",
        "0x1p3",
        "inf",
        "-inf",
        "Inf",
        "infinity",
        "nan",
        "NaN",
        "-nan",
        "1e",
        "1e+",
        "1e-",
        "e5",
        ".e5",
        "1e5.5",
        "1e5e5",
        "1..2",
        "1.2.3",
        "12a",
        "a12",
        "10 MHz",
        "10000000Hz",
        "$5",
        "5-",
        "1 2",
        "1e 5",
        "- 5",
        "\xEF\xBC\x91",  // a full-width digit one
        "\xD9\xA1",      // an Arabic-Indic digit one
        std::string("1\0", 2),
    };
    expectNotNumbers(std::begin(withPoint), std::end(withPoint), '.');

    const std::string withComma[] = {
        "1.5", ".5", "1.000,5", "1.000.000", "1,2,3", ",", "1 000,5",
    };
    expectNotNumbers(std::begin(withComma), std::end(withComma), ',');
}

// The separators locales give, as UTF-8: one byte, two (U+066B in Arabic
// and Persian locales) and three (a wide full stop). A multi-byte separator
// is matched whole: a part of it, or another locale's, is not a number.
TEST(NumberText, SeparatorsOfLocales) {
    struct Case {
        const char* locale;
        std::string separator;
        std::string text;
        std::optional<double> value;
    };
    const std::string arabic = "\xD9\xAB";    // U+066B
    const std::string wide = "\xEF\xBC\x8E";  // U+FF0E
    const Case cases[] = {
        {"en_US", ".", "25000.5", 25000.5},
        {"de_DE", ",", "25000,5", 25000.5},
        {"de_DE", ",", "25000.5", std::nullopt},
        {"ar_EG", arabic, "25000" + arabic + "5", 25000.5},
        {"ar_EG", arabic, arabic + "25e1", 2.5},
        {"ar_EG", arabic, " -1" + arabic + "5e3 ", -1500.0},
        {"ar_EG", arabic, "25000.5", std::nullopt},
        {"ar_EG", arabic,
         "25000\xD9"
         "5",
         std::nullopt},  // the separator cut short
        {"ar_EG", arabic, "25000" + arabic, 25000.0},
        {"ar_EG", arabic, arabic, std::nullopt},
        {"fa_IR", arabic, "1" + arabic + arabic + "2", std::nullopt},
        {"wide", wide, "3" + wide + "25", 3.25},
        {"wide", wide,
         "3\xEF\xBC"
         "25",
         std::nullopt},
        {"none", "", "7.5", 7.5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.locale) + " \"" + c.text + "\"");
        EXPECT_EQ(parseNumber(c.text, c.separator), c.value);
    }
}

}  // namespace
}  // namespace tpg::settings
