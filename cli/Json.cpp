#include "cli/Json.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <nlohmann/json.hpp>

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

// The library quotes and escapes the text; bytes that are not UTF-8 (which
// no caller hands over) would become U+FFFD rather than stop the output.
void writeString(std::string& out, const std::string& text) {
    out += nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// The layout is written here rather than by the library so that a number
// keeps the text it was read or made with.
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
        case JsonValue::Kind::Object: {
            const bool isArray = value.kind() == JsonValue::Kind::Array;
            const std::size_t count = isArray ? value.items().size() : value.members().size();
            if (count == 0) {
                out += isArray ? "[]" : "{}";
                break;
            }
            out += isArray ? "[\n" : "{\n";
            for (std::size_t i = 0; i < count; ++i) {
                out += inner;
                if (!isArray) {
                    writeString(out, value.members()[i].first);
                    out += ": ";
                }
                write(out, isArray ? value.items()[i] : value.members()[i].second, depth + 1);
                out += i + 1 < count ? ",\n" : "\n";
            }
            out += outer + (isArray ? "]" : "}");
            break;
        }
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

constexpr std::size_t kMaxDepth = 64;

// The text as the library reads it, one byte at a time, counting the bytes
// it has taken: where it stood when the reader refused a key or a depth.
class CountingIterator {
  public:
    using iterator_category = std::input_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char*;
    using reference = const char&;

    CountingIterator(const char* at, std::size_t* taken) : at_(at), taken_(taken) {}
    reference operator*() const { return *at_; }
    CountingIterator& operator++() {
        ++at_;
        ++*taken_;
        return *this;
    }
    CountingIterator operator++(int) {
        CountingIterator before = *this;
        ++*this;
        return before;
    }
    bool operator==(const CountingIterator& other) const { return at_ == other.at_; }

  private:
    const char* at_;
    std::size_t* taken_;
};

// The library's account of a syntax error, in the words of this tool's
// messages; what it last read is left out, as it may be any bytes.
std::string reasonOf(const std::string& libraryText) {
    const std::string text = libraryText.substr(0, libraryText.find("; last read:"));
    const auto has = [&](const char* part) { return text.find(part) != std::string::npos; };
    struct Wording {
        const char* part;
        const char* reason;
    };
    static constexpr std::array<Wording, 14> kWordings = {{
        {"ill-formed UTF-8", "a string is not valid UTF-8"},
        {"surrogate", "a string is not valid UTF-8"},
        {"control character", "a control character in a string"},
        {"missing closing quote", "a string is not closed"},
        {"after backslash", "an unknown escape in a string"},
        {"4 hex digits", "four hexadecimal digits were expected after \\u"},
        {"invalid number", "a number is not written as JSON writes it"},
        {"number overflow", "a number is too large for a double"},
        {"parsing object key", "a key in double quotes was expected"},
        {"parsing object separator", "':' was expected after a key"},
        {"parsing object -", "',' or '}' was expected"},
        {"parsing array", "',' or ']' was expected"},
        {"unexpected end of input", "the text ends where a value should be"},
        {"expected end of input", "text after the end of the JSON value"},
    }};
    for (const auto& [part, reason] : kWordings) {
        if (has(part)) {
            return reason;
        }
    }
    return "not a JSON value";
}

// Builds the value from the library's events: numbers keep their text, a
// key met twice in one object and nesting deeper than kMaxDepth stop it.
class Builder : public nlohmann::json_sax<nlohmann::json> {
  public:
    std::optional<JsonValue> result;
    std::string refusal;  // why the builder stopped the reading
    std::size_t errorOffset = 0;
    std::string syntaxError;

    bool null() override { return add(JsonValue()); }
    bool boolean(bool value) override { return add(JsonValue::boolean(value)); }
    bool number_integer(number_integer_t value) override {
        // Only a negative number arrives here; a zero is one written "-0".
        return add(JsonValue::numberText(value == 0 ? "-0" : std::to_string(value)));
    }
    bool number_unsigned(number_unsigned_t value) override {
        return add(JsonValue::numberText(std::to_string(value)));
    }
    bool number_float(number_float_t /*value*/, const string_t& text) override {
        return add(JsonValue::numberText(text));
    }
    bool string(string_t& value) override { return add(JsonValue::string(std::move(value))); }
    bool binary(binary_t& /*value*/) override { return false; }
    bool start_object(std::size_t /*elements*/) override { return open(JsonValue::object()); }
    bool key(string_t& name) override {
        if (open_.back().value.find(name) != nullptr) {
            refusal = "the key \"" + name + "\" appears twice";
            return false;
        }
        open_.back().key = std::move(name);
        return true;
    }
    bool end_object() override { return close(); }
    bool start_array(std::size_t /*elements*/) override { return open(JsonValue::array()); }
    bool end_array() override { return close(); }
    bool parse_error(std::size_t position, const std::string& /*last_token*/,
                     const nlohmann::detail::exception& error) override {
        errorOffset = position;
        syntaxError = reasonOf(error.what());
        return false;
    }

  private:
    struct Open {
        JsonValue value;
        std::string key;
    };

    bool add(JsonValue value) {
        if (open_.size() > kMaxDepth) {
            refusal = "nested too deeply";
            return false;
        }
        if (open_.empty()) {
            result = std::move(value);
        } else if (open_.back().value.kind() == JsonValue::Kind::Array) {
            open_.back().value.push(std::move(value));
        } else {
            open_.back().value.set(std::move(open_.back().key), std::move(value));
        }
        return true;
    }
    bool open(JsonValue container) {
        if (open_.size() > kMaxDepth) {
            refusal = "nested too deeply";
            return false;
        }
        open_.push_back({std::move(container), {}});
        return true;
    }
    bool close() {
        JsonValue done = std::move(open_.back().value);
        open_.pop_back();
        return add(std::move(done));
    }

    std::vector<Open> open_;
};

}  // namespace

std::optional<JsonValue> parseJson(std::string_view text, std::string& error) {
    Builder builder;
    std::size_t taken = 0;
    const CountingIterator first(text.data(), &taken);
    const CountingIterator last(text.data() + text.size(), &taken);
    if (nlohmann::json::sax_parse(first, last, &builder)) {
        return std::move(builder.result);
    }
    // The library counts the byte it stopped at; the builder stops right
    // after the last byte taken.
    const bool syntax = builder.refusal.empty();
    std::size_t at = syntax ? builder.errorOffset : taken;
    at = std::min(at > 0 && syntax ? at - 1 : at, text.size());
    const auto line =
        1 + std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(at), '\n');
    error =
        "line " + std::to_string(line) + ": " + (syntax ? builder.syntaxError : builder.refusal);
    return std::nullopt;
}

}  // namespace tpg::cli
