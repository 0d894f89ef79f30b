// A small JSON value with a pretty writer and a strict reader, enough for
// the command line's machine-readable output and the setups it reads back.
// nlohmann-json reads the text (through its SAX interface, so that numbers
// keep their text and a repeated key is refused) and escapes the strings.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tpg::cli {

class JsonValue {
  public:
    enum class Kind { Null, Bool, Number, String, Array, Object };

    JsonValue() = default;
    static JsonValue boolean(bool value);
    static JsonValue number(std::int64_t value);
    // A number kept as the text it was read from.
    static JsonValue numberText(std::string text);
    static JsonValue string(std::string utf8);
    static JsonValue array();
    static JsonValue object();

    Kind kind() const { return kind_; }
    bool asBool() const { return boolean_; }
    // The number's text, or the string's UTF-8.
    const std::string& text() const { return text_; }
    const std::vector<JsonValue>& items() const { return items_; }
    const std::vector<std::pair<std::string, JsonValue>>& members() const { return members_; }

    // Appends to an array / an object (keys in the order added).
    JsonValue& push(JsonValue value);
    JsonValue& set(std::string key, JsonValue value);
    // The member named key of an object, or nullptr.
    const JsonValue* find(std::string_view key) const;

  private:
    Kind kind_ = Kind::Null;
    bool boolean_ = false;
    std::string text_;
    std::vector<JsonValue> items_;
    std::vector<std::pair<std::string, JsonValue>> members_;
};

// The value as indented JSON text (two blanks per level), no final newline.
std::string toJson(const JsonValue& value);

// Reads one JSON text (RFC 8259): objects with distinct keys, arrays,
// strings of valid UTF-8 (an escaped lone surrogate is refused too),
// numbers (within the range of a double), true, false, null, nested at
// most 64 deep; a leading UTF-8 byte-order mark is skipped. Nothing, and
// the reason with its line in error, when the text is not such a text.
std::optional<JsonValue> parseJson(std::string_view text, std::string& error);

}  // namespace tpg::cli
