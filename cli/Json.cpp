#include "cli/Json.h"

#include <cstdio>

namespace tpg::cli {

JsonValue JsonValue::boolean(bool value) {
    JsonValue v;
    v.kind_ = Kind::Bool;
    v.boolean_ = value;
    return v;
}

JsonValue JsonValue::number(std::int64_t value) {
    return numberText(std::to_string(value));
}

JsonValue JsonValue::numberText(std::string text) {
    JsonValue v;
    v.kind_ = Kind::Number;
    v.text_ = std::move(text);
    return v;
}

JsonValue JsonValue::string(std::string utf8) {
    JsonValue v;
    v.kind_ = Kind::String;
    v.text_ = std::move(utf8);
    return v;
}

JsonValue JsonValue::array() {
    JsonValue v;
    v.kind_ = Kind::Array;
    return v;
}

JsonValue JsonValue::object() {
    JsonValue v;
    v.kind_ = Kind::Object;
    return v;
}

JsonValue& JsonValue::push(JsonValue value) {
    items_.push_back(std::move(value));
    return items_.back();
}

JsonValue& JsonValue::set(std::string key, JsonValue value) {
    members_.emplace_back(std::move(key), std::move(value));
    return members_.back().second;
}

const JsonValue* JsonValue::find(std::string_view key) const {
    for (const auto& [name, value] : members_) {
        if (name == key) {
            return &value;
        }
    }
    return nullptr;
}

// --- writing ---

namespace {

void writeString(std::string& out, const std::string& text) {
    out += '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (byte < 0x20 || byte == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04X", byte);
            out += escaped;
        } else {
            out += c;  // UTF-8 passes through
        }
    }
    out += '"';
}

void write(std::string& out, const JsonValue& value, int depth) {
    const std::string inner(static_cast<std::size_t>(2 * (depth + 1)), ' ');
    const std::string outer(static_cast<std::size_t>(2 * depth), ' ');
    switch (value.kind()) {
        case JsonValue::Kind::Null:
            out += "null";
            break;
        case JsonValue::Kind::Bool:
            out += value.asBool() ? "true" : "false";
            break;
        case JsonValue::Kind::Number:
            out += value.text();
            break;
        case JsonValue::Kind::String:
            writeString(out, value.text());
            break;
        case JsonValue::Kind::Array:
            if (value.items().empty()) {
                out += "[]";
                break;
            }
            out += "[\n";
            for (std::size_t i = 0; i < value.items().size(); ++i) {
                out += inner;
                write(out, value.items()[i], depth + 1);
                out += i + 1 < value.items().size() ? ",\n" : "\n";
            }
            out += outer + "]";
            break;
        case JsonValue::Kind::Object:
            if (value.members().empty()) {
                out += "{}";
                break;
            }
            out += "{\n";
            for (std::size_t i = 0; i < value.members().size(); ++i) {
                out += inner;
                writeString(out, value.members()[i].first);
                out += ": ";
                write(out, value.members()[i].second, depth + 1);
                out += i + 1 < value.members().size() ? ",\n" : "\n";
            }
            out += outer + "}";
            break;
    }
}

}  // namespace

std::string toJson(const JsonValue& value) {
    std::string out;
    write(out, value, 0);
    return out;
}

// --- reading ---

namespace {

constexpr int kMaxDepth = 64;

class Reader {
  public:
    explicit Reader(std::string_view text) : text_(text) {}

    std::optional<JsonValue> document(std::string& error) {
        auto value = this->value(0);
        if (value) {
            skipBlanks();
            if (at_ != text_.size()) {
                fail("text after the end of the JSON value");
                value.reset();
            }
        }
        if (!value) {
            error = error_;
        }
        return value;
    }

  private:
    bool fail(const std::string& why) {
        if (error_.empty()) {
            int line = 1;
            for (std::size_t i = 0; i < at_ && i < text_.size(); ++i) {
                line += text_[i] == '\n' ? 1 : 0;
            }
            error_ = "line " + std::to_string(line) + ": " + why;
        }
        return false;
    }

    void skipBlanks() {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' ||
                                      text_[at_] == '\n' || text_[at_] == '\r')) {
            ++at_;
        }
    }

    bool literal(std::string_view word) {
        if (text_.substr(at_, word.size()) != word) {
            return fail("not a JSON value");
        }
        at_ += word.size();
        return true;
    }

    std::optional<JsonValue> value(int depth) {
        if (depth > kMaxDepth) {
            fail("nested too deeply");
            return std::nullopt;
        }
        skipBlanks();
        if (at_ >= text_.size()) {
            fail("the text ends where a value should be");
            return std::nullopt;
        }
        switch (text_[at_]) {
            case '{':
                return object(depth);
            case '[':
                return array(depth);
            case '"': {
                std::string s;
                if (!string(s)) {
                    return std::nullopt;
                }
                return JsonValue::string(std::move(s));
            }
            case 't':
                return literal("true") ? std::optional(JsonValue::boolean(true)) : std::nullopt;
            case 'f':
                return literal("false") ? std::optional(JsonValue::boolean(false)) : std::nullopt;
            case 'n':
                return literal("null") ? std::optional(JsonValue()) : std::nullopt;
            default:
                return number();
        }
    }

    std::optional<JsonValue> object(int depth) {
        JsonValue out = JsonValue::object();
        ++at_;  // '{'
        skipBlanks();
        if (at_ < text_.size() && text_[at_] == '}') {
            ++at_;
            return out;
        }
        for (;;) {
            skipBlanks();
            std::string key;
            if (at_ >= text_.size() || text_[at_] != '"') {
                fail("a key in double quotes was expected");
                return std::nullopt;
            }
            if (!string(key)) {
                return std::nullopt;
            }
            if (out.find(key) != nullptr) {
                fail("the key \"" + key + "\" appears twice");
                return std::nullopt;
            }
            skipBlanks();
            if (at_ >= text_.size() || text_[at_] != ':') {
                fail("':' was expected after a key");
                return std::nullopt;
            }
            ++at_;
            auto member = value(depth + 1);
            if (!member) {
                return std::nullopt;
            }
            out.set(std::move(key), std::move(*member));
            skipBlanks();
            if (at_ < text_.size() && text_[at_] == ',') {
                ++at_;
                continue;
            }
            if (at_ < text_.size() && text_[at_] == '}') {
                ++at_;
                return out;
            }
            fail("',' or '}' was expected");
            return std::nullopt;
        }
    }

    std::optional<JsonValue> array(int depth) {
        JsonValue out = JsonValue::array();
        ++at_;  // '['
        skipBlanks();
        if (at_ < text_.size() && text_[at_] == ']') {
            ++at_;
            return out;
        }
        for (;;) {
            auto item = value(depth + 1);
            if (!item) {
                return std::nullopt;
            }
            out.push(std::move(*item));
            skipBlanks();
            if (at_ < text_.size() && text_[at_] == ',') {
                ++at_;
                continue;
            }
            if (at_ < text_.size() && text_[at_] == ']') {
                ++at_;
                return out;
            }
            fail("',' or ']' was expected");
            return std::nullopt;
        }
    }

    bool digits() {
        const std::size_t start = at_;
        while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') {
            ++at_;
        }
        return at_ > start;
    }

    std::optional<JsonValue> number() {
        const std::size_t start = at_;
        if (text_[at_] == '-') {
            ++at_;
        }
        if (at_ < text_.size() && text_[at_] == '0') {
            ++at_;  // no leading zeros
        } else if (!digits()) {
            fail("not a JSON value");
            return std::nullopt;
        }
        if (at_ < text_.size() && text_[at_] == '.') {
            ++at_;
            if (!digits()) {
                fail("digits were expected after '.'");
                return std::nullopt;
            }
        }
        if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
            ++at_;
            if (at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-')) {
                ++at_;
            }
            if (!digits()) {
                fail("digits were expected in the exponent");
                return std::nullopt;
            }
        }
        return JsonValue::numberText(std::string(text_.substr(start, at_ - start)));
    }

    static void appendUtf8(std::string& out, std::uint32_t cp) {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }

    bool hex4(std::uint32_t& unit) {
        unit = 0;
        for (int i = 0; i < 4; ++i, ++at_) {
            if (at_ >= text_.size()) {
                return fail("four hexadecimal digits were expected after \\u");
            }
            const char c = text_[at_];
            int digit = -1;
            if (c >= '0' && c <= '9') {
                digit = c - '0';
            } else if (c >= 'a' && c <= 'f') {
                digit = c - 'a' + 10;
            } else if (c >= 'A' && c <= 'F') {
                digit = c - 'A' + 10;
            }
            if (digit < 0) {
                return fail("four hexadecimal digits were expected after \\u");
            }
            unit = unit * 16 + static_cast<std::uint32_t>(digit);
        }
        return true;
    }

    // Copies one UTF-8 character whose lead byte (0x80 or above) has just
    // been read. A byte sequence that is not UTF-8 (a stray continuation
    // byte, a cut or overlong sequence, a surrogate, a value above U+10FFFF)
    // fails: a JSON text is UTF-8, and what is read goes on to messages and
    // back out as JSON.
    bool utf8(unsigned char lead, std::string& out) {
        std::size_t extra = 0;
        std::uint32_t cp = 0;
        std::uint32_t shortest = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            extra = 1;
            cp = lead & 0x1FU;
            shortest = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            extra = 2;
            cp = lead & 0x0FU;
            shortest = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            extra = 3;
            cp = lead & 0x07U;
            shortest = 0x10000;
        } else {
            return fail("a string is not valid UTF-8");
        }
        if (text_.size() - at_ < extra) {
            return fail("a string is not valid UTF-8");
        }
        for (std::size_t i = 0; i < extra; ++i) {
            const auto next = static_cast<unsigned char>(text_[at_ + i]);
            if ((next & 0xC0U) != 0x80U) {
                return fail("a string is not valid UTF-8");
            }
            cp = (cp << 6) | (next & 0x3FU);
        }
        if (cp < shortest || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            return fail("a string is not valid UTF-8");
        }
        out += static_cast<char>(lead);
        out.append(text_.substr(at_, extra));
        at_ += extra;
        return true;
    }

    bool string(std::string& out) {
        ++at_;  // opening quote
        for (;;) {
            if (at_ >= text_.size()) {
                return fail("a string is not closed");
            }
            const char c = text_[at_++];
            if (c == '"') {
                return true;
            }
            if (static_cast<unsigned char>(c) < 0x20) {
                return fail("a control character in a string");
            }
            if (static_cast<unsigned char>(c) >= 0x80) {
                if (!utf8(static_cast<unsigned char>(c), out)) {
                    return false;
                }
                continue;
            }
            if (c != '\\') {
                out += c;
                continue;
            }
            if (at_ >= text_.size()) {
                return fail("a string is not closed");
            }
            const char e = text_[at_++];
            switch (e) {
                case '"':
                case '\\':
                case '/':
                    out += e;
                    break;
                case 'b':
                    out += '\b';
                    break;
                case 'f':
                    out += '\f';
                    break;
                case 'n':
                    out += '\n';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'u': {
                    std::uint32_t unit = 0;
                    if (!hex4(unit)) {
                        return false;
                    }
                    if (unit >= 0xD800 && unit <= 0xDBFF && text_.substr(at_, 2) == "\\u") {
                        at_ += 2;
                        std::uint32_t low = 0;
                        if (!hex4(low)) {
                            return false;
                        }
                        if (low >= 0xDC00 && low <= 0xDFFF) {
                            appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                        } else {
                            appendUtf8(out, 0xFFFD);
                            appendUtf8(out, low >= 0xD800 && low <= 0xDFFF ? 0xFFFD : low);
                        }
                    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
                        appendUtf8(out, 0xFFFD);  // a lone surrogate
                    } else {
                        appendUtf8(out, unit);
                    }
                    break;
                }
                default:
                    return fail(std::string("unknown escape \\") + e);
            }
        }
    }

    std::string_view text_;
    std::size_t at_ = 0;
    std::string error_;
};

}  // namespace

std::optional<JsonValue> parseJson(std::string_view text, std::string& error) {
    return Reader(text).document(error);
}

}  // namespace tpg::cli
