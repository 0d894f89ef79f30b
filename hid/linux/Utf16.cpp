#include "hid/linux/Utf16.h"

namespace tpg::hid::hidraw {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one character starting at text[pos] and advances pos past it. A
// malformed sequence yields U+FFFD and consumes its lead byte plus the
// continuation bytes that belong to it.
char32_t decodeOne(std::string_view text, std::size_t& pos) {
    const auto lead = static_cast<unsigned char>(text[pos++]);
    if (lead < 0x80) {
        return lead;
    }
    std::size_t extra = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if ((lead & 0xE0U) == 0xC0U) {
        extra = 1;
        value = lead & 0x1FU;
        minimum = 0x80;
    } else if ((lead & 0xF0U) == 0xE0U) {
        extra = 2;
        value = lead & 0x0FU;
        minimum = 0x800;
    } else if ((lead & 0xF8U) == 0xF0U) {
        extra = 3;
        value = lead & 0x07U;
        minimum = 0x10000;
    } else {
        return kReplacement;  // continuation byte or 0xF8..0xFF as a lead
    }
    for (std::size_t i = 0; i < extra; ++i) {
        if (pos >= text.size()) {
            return kReplacement;
        }
        const auto next = static_cast<unsigned char>(text[pos]);
        if ((next & 0xC0U) != 0x80U) {
            return kReplacement;  // the next byte starts a character of its own
        }
        value = (value << 6) | (next & 0x3FU);
        ++pos;
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        return kReplacement;
    }
    return value;
}

void putUnit(std::span<std::uint8_t> buffer, std::size_t unit, char16_t value) {
    buffer[2 * unit] = static_cast<std::uint8_t>(value & 0xFFU);
    buffer[2 * unit + 1] = static_cast<std::uint8_t>(value >> 8);
}

}  // namespace

std::size_t writeUtf16le(std::string_view text, std::span<std::uint8_t> buffer) {
    const std::size_t capacity = buffer.size() / 2;
    std::size_t units = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const char32_t c = decodeOne(text, pos);
        if (c >= 0x10000) {
            if (units + 2 > capacity) {
                break;
            }
            const char32_t v = c - 0x10000;
            putUnit(buffer, units++, static_cast<char16_t>(0xD800 + (v >> 10)));
            putUnit(buffer, units++, static_cast<char16_t>(0xDC00 + (v & 0x3FFU)));
        } else {
            if (units + 1 > capacity) {
                break;
            }
            putUnit(buffer, units++, static_cast<char16_t>(c));
        }
    }
    if (units < capacity) {
        putUnit(buffer, units, 0);
    }
    return units;
}

}  // namespace tpg::hid::hidraw
