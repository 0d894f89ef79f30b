// The program message as IEEE 488.2 writes it, cut into program message
// units: a header and its data elements.
//
// A unit is a common header ("*ESE?") or a compound header (":SOUR:FREQ"),
// each with an optional '?', then white space and data elements separated by
// ','; units are separated by ';'. White space is any byte up to 0x20 except
// LF (so a CR is white space too). Data elements are decimal numbers (sign,
// digits, point, an exponent that may have blanks around its 'E', and a
// suffix such as "MHZ" that may follow after blanks), non-decimal numbers
// (#H, #Q, #B), character data (a word), string data in single or double
// quotes (a doubled quote stands for itself), arbitrary blocks (#0... to the
// end of the message, or #<n><length><bytes>) and expressions in
// parentheses. The lexer only cuts; what fits where is for the commands.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "scpi/Errors.h"

namespace tpg::scpi {

enum class DataKind { Number, Character, String, Block, Expression };

struct DataElement {
    DataKind kind = DataKind::Number;
    // Character: the word as written; String: the text without its quotes.
    std::string text;
    // Number: the sign, digits and point as written (a non-decimal number as
    // its decimal digits), the exponent (clamped far beyond any range) and
    // the suffix as written, empty when there is none.
    std::string mantissa;
    long long exponent = 0;
    std::string suffix;
};

struct ProgramUnit {
    std::string header;  // as written, e.g. ":sour:freq?"; empty for an empty unit
    bool common = false;
    bool rooted = false;  // a leading ':'
    bool query = false;
    std::vector<std::string> mnemonics;  // a common header's one word is without its '*'
    std::vector<DataElement> data;
};

class Lexer {
  public:
    explicit Lexer(std::string_view message) : text_(message) {}

    // No unit left (a ';' at the end leaves none).
    bool atEnd() const { return pos_ >= text_.size(); }

    // Reads the next unit and the ';' after it. Returns -102 "Syntax error"
    // when the unit is malformed; the rest of the message is then unread.
    std::optional<Error> next(ProgramUnit& unit);

  private:
    char peek() const { return pos_ < text_.size() ? text_[pos_] : '\0'; }
    bool atUnitEnd() const { return atEnd() || text_[pos_] == ';'; }
    void skipWhitespace();
    bool readHeader(ProgramUnit& unit);
    bool readMnemonic(std::string& out, bool lettersOnly);
    bool readElement(DataElement& element);
    bool readNumber(DataElement& element);
    void readExponent(DataElement& element);
    bool readHash(DataElement& element);
    bool readString(DataElement& element);
    bool readExpression(DataElement& element);

    std::string_view text_;
    std::size_t pos_ = 0;
};

}  // namespace tpg::scpi
