#include "scpi/Lexer.h"

#include <algorithm>
#include <cstdint>

namespace tpg::scpi {
namespace {

// Far beyond any exponent that could still matter for a message of 64 KiB
// digits, and far from overflowing.
constexpr long long kExponentLimit = 1000000;

bool isWhitespace(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte <= 0x20 && c != '\n';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The value of c as a digit of base, or -1.
int digitValue(char c, int base) {
    int value = -1;
    if (isDigit(c)) {
        value = c - '0';
    } else if (c >= 'a' && c <= 'f') {
        value = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
        value = c - 'A' + 10;
    }
    return value < base ? value : -1;
}

}  // namespace

void Lexer::skipWhitespace() {
    while (!atEnd() && isWhitespace(text_[pos_])) {
        ++pos_;
    }
}

std::optional<Error> Lexer::next(ProgramUnit& unit) {
    unit = ProgramUnit{};
    skipWhitespace();
    bool good = true;
    if (!atUnitEnd()) {
        good = readHeader(unit);
        if (good && !atUnitEnd()) {
            good = isWhitespace(peek());
            skipWhitespace();
        }
        while (good && !atUnitEnd()) {
            DataElement element;
            good = readElement(element);
            unit.data.push_back(std::move(element));
            skipWhitespace();
            if (good && peek() == ',') {
                ++pos_;
                skipWhitespace();
                good = !atUnitEnd();  // a ',' needs an element after it
            } else if (good && !atUnitEnd()) {
                good = false;  // two elements without a ',' between them
            }
        }
    }
    if (!good) {
        return makeError(ErrorCode::SyntaxError);
    }
    if (!atEnd()) {
        ++pos_;  // the ';'
    }
    return std::nullopt;
}

bool Lexer::readMnemonic(std::string& out, bool lettersOnly) {
    if (!isLetter(peek())) {
        return false;
    }
    while (!atEnd() && (isLetter(peek()) || (!lettersOnly && (isDigit(peek()) || peek() == '_')))) {
        out += text_[pos_++];
    }
    return true;
}

bool Lexer::readHeader(ProgramUnit& unit) {
    const std::size_t start = pos_;
    if (peek() == '*') {
        ++pos_;
        unit.common = true;
        unit.mnemonics.emplace_back();
        if (!readMnemonic(unit.mnemonics.back(), true)) {
            return false;
        }
    } else {
        if (peek() == ':') {
            ++pos_;
            unit.rooted = true;
        }
        do {
            unit.mnemonics.emplace_back();
            if (!readMnemonic(unit.mnemonics.back(), false)) {
                return false;
            }
        } while (peek() == ':' && (++pos_, true));
    }
    if (peek() == '?') {
        ++pos_;
        unit.query = true;
    }
    unit.header = std::string(text_.substr(start, pos_ - start));
    return true;
}

bool Lexer::readElement(DataElement& element) {
    const char c = peek();
    if (isDigit(c) || c == '+' || c == '-' || c == '.') {
        return readNumber(element);
    }
    if (c == '#') {
        return readHash(element);
    }
    if (c == '"' || c == '\'') {
        return readString(element);
    }
    if (c == '(') {
        return readExpression(element);
    }
    element.kind = DataKind::Character;
    return readMnemonic(element.text, false);
}

bool Lexer::readNumber(DataElement& element) {
    element.kind = DataKind::Number;
    if (peek() == '+' || peek() == '-') {
        element.mantissa += text_[pos_++];
    }
    std::size_t digits = 0;
    while (isDigit(peek())) {
        element.mantissa += text_[pos_++];
        ++digits;
    }
    if (peek() == '.') {
        element.mantissa += text_[pos_++];
        while (isDigit(peek())) {
            element.mantissa += text_[pos_++];
            ++digits;
        }
    }
    if (digits == 0) {
        return false;
    }
    readExponent(element);
    // A suffix, perhaps after blanks: letters, then letters, digits or '/'.
    const std::size_t beforeSuffix = pos_;
    skipWhitespace();
    if (isLetter(peek())) {
        while (isLetter(peek()) || isDigit(peek()) || peek() == '/') {
            element.suffix += text_[pos_++];
        }
    } else {
        pos_ = beforeSuffix;
    }
    return true;
}

void Lexer::readExponent(DataElement& element) {
    const std::size_t start = pos_;
    skipWhitespace();
    if (peek() != 'e' && peek() != 'E') {
        pos_ = start;
        return;
    }
    ++pos_;
    skipWhitespace();
    bool negative = false;
    if (peek() == '+' || peek() == '-') {
        negative = text_[pos_++] == '-';
    }
    if (!isDigit(peek())) {
        pos_ = start;  // not an exponent: perhaps a suffix such as "EX"
        return;
    }
    long long exponent = 0;
    while (isDigit(peek())) {
        exponent = std::min(exponent * 10 + (text_[pos_++] - '0'), kExponentLimit);
    }
    element.exponent = negative ? -exponent : exponent;
}

bool Lexer::readHash(DataElement& element) {
    ++pos_;  // '#'
    const char c = peek();
    int base = 0;
    if (c == 'H' || c == 'h') {
        base = 16;
    } else if (c == 'Q' || c == 'q') {
        base = 8;
    } else if (c == 'B' || c == 'b') {
        base = 2;
    }
    if (base != 0) {
        ++pos_;
        std::uint64_t value = 0;
        bool any = false;
        for (int d = digitValue(peek(), base); !atEnd() && d >= 0; d = digitValue(peek(), base)) {
            ++pos_;
            any = true;
            // Saturated: beyond every range the commands know.
            value =
                value > (UINT64_MAX - static_cast<std::uint64_t>(d)) / static_cast<unsigned>(base)
                    ? UINT64_MAX
                    : value * static_cast<unsigned>(base) + static_cast<unsigned>(d);
        }
        element.kind = DataKind::Number;
        element.mantissa = std::to_string(value);
        return any;
    }
    element.kind = DataKind::Block;
    if (c == '0') {
        pos_ = text_.size();  // indefinite length: the rest of the message
        return true;
    }
    if (!isDigit(c)) {
        return false;
    }
    const auto lengthDigits = static_cast<std::size_t>(c - '0');
    ++pos_;
    std::size_t length = 0;
    for (std::size_t i = 0; i < lengthDigits; ++i) {
        if (!isDigit(peek())) {
            return false;
        }
        length = length * 10 + static_cast<std::size_t>(text_[pos_++] - '0');
    }
    if (length > text_.size() - pos_) {
        return false;
    }
    element.text = std::string(text_.substr(pos_, length));
    pos_ += length;
    return true;
}

bool Lexer::readString(DataElement& element) {
    element.kind = DataKind::String;
    const char quote = text_[pos_++];
    while (!atEnd()) {
        const char c = text_[pos_++];
        if (c != quote) {
            element.text += c;
        } else if (peek() == quote) {
            element.text += quote;
            ++pos_;
        } else {
            return true;
        }
    }
    return false;  // no closing quote
}

bool Lexer::readExpression(DataElement& element) {
    element.kind = DataKind::Expression;
    int depth = 0;
    while (!atEnd()) {
        const char c = text_[pos_++];
        element.text += c;
        depth += c == '(' ? 1 : c == ')' ? -1 : 0;
        if (depth == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace tpg::scpi
