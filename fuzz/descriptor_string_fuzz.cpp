// The identity strings, both ways.
//
// UTF-16LE to UTF-8 (what the core makes of what a string query wrote), over
// any bytes at any length: odd lengths, lone and reversed surrogates, no
// terminator in the first 100 bytes. The text is valid UTF-8 without U+0000,
// at most 50 code units' worth, depends on nothing past the 50th unit, and
// says the units again once lone surrogates are read as U+FFFD.
//
// UTF-8 to UTF-16LE (how the Linux layer hands a sysfs string to the core),
// over any bytes: nothing is written past the buffer or past the terminator,
// and a valid text comes back whole, or cut at a character boundary when it
// does not fit.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "Check.h"
#include "Utf8.h"
#include "hid/linux/Utf16.h"
#include "link/DescriptorString.h"

namespace {

using tpg::fuzz::decodeUtf8;
using tpg::hid::hidraw::writeUtf16le;
using tpg::link::DescriptorStringToText;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kQueryBytes = 100;
constexpr std::size_t kMaxUnits = kQueryBytes / 2;
constexpr char16_t kReplacement = 0xFFFD;

bool isHigh(char32_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
bool isLow(char32_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

std::u16string toUtf16(const std::u32string& text) {
    std::u16string units;
    for (const char32_t cp : text) {
        if (cp >= 0x10000) {
            units += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            units += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FFU));
        } else {
            units += static_cast<char16_t>(cp);
        }
    }
    return units;
}

// The units before the terminator among the first 50 whole units, with every
// surrogate that is not the first half of a pair followed by its second
// half read as U+FFFD.
std::u16string expectedUnits(std::span<const std::uint8_t> buffer) {
    std::u16string units;
    for (std::size_t i = 0; i + 1 < buffer.size() && i / 2 < kMaxUnits; i += 2) {
        const auto u = static_cast<char16_t>(buffer[i] | (buffer[i + 1] << 8));
        if (u == 0) {
            break;
        }
        units += u;
    }
    for (std::size_t i = 0; i < units.size(); ++i) {
        if (isHigh(units[i]) && i + 1 < units.size() && isLow(units[i + 1])) {
            ++i;  // a pair
        } else if (isHigh(units[i]) || isLow(units[i])) {
            units[i] = kReplacement;
        }
    }
    return units;
}

void checkDecode(std::span<const std::uint8_t> data) {
    // A copy of exactly the input's size, so that a read past its end is seen.
    const Bytes buffer(data.begin(), data.end());
    const std::string text = DescriptorStringToText(buffer);
    const auto decoded = decodeUtf8(text);
    FUZZ_CHECK(decoded.has_value());
    FUZZ_CHECK(decoded->find(U'\0') == std::u32string::npos);
    const std::u16string units = toUtf16(*decoded);
    FUZZ_CHECK(units.size() <= kMaxUnits);
    FUZZ_CHECK(units.size() <= buffer.size() / 2);
    FUZZ_CHECK(units == expectedUnits(buffer));

    // Nothing past the 100 bytes a query may write counts.
    if (buffer.size() > kQueryBytes) {
        Bytes changed = buffer;
        for (std::size_t i = kQueryBytes; i < changed.size(); ++i) {
            changed[i] = static_cast<std::uint8_t>(~changed[i]);
        }
        FUZZ_CHECK(DescriptorStringToText(changed) == text);
    }
}

void checkEncode(std::string_view text) {
    // The query's 100 bytes inside a larger buffer of known filler.
    constexpr std::uint8_t kFiller = 0xA5;
    std::array<std::uint8_t, 2 * kQueryBytes + 1> buffer{};
    buffer.fill(kFiller);
    const std::size_t units = writeUtf16le(text, std::span(buffer).first(kQueryBytes));
    FUZZ_CHECK(units <= kMaxUnits);
    for (std::size_t i = kQueryBytes; i < buffer.size(); ++i) {
        FUZZ_CHECK(buffer[i] == kFiller);
    }
    if (units < kMaxUnits) {
        FUZZ_CHECK(buffer[2 * units] == 0 && buffer[2 * units + 1] == 0);
        for (std::size_t i = 2 * units + 2; i < kQueryBytes; ++i) {
            FUZZ_CHECK(buffer[i] == kFiller);
        }
    }
    // A unit pair is never split at the end of the buffer.
    if (units > 0) {
        const auto last =
            static_cast<char16_t>(buffer[2 * units - 2] | (buffer[2 * units - 1] << 8));
        FUZZ_CHECK(!isHigh(last));
    }

    const std::string back = DescriptorStringToText(buffer);
    FUZZ_CHECK(decodeUtf8(back).has_value());
    const auto original = decodeUtf8(text);
    if (original && original->find(U'\0') == std::u32string::npos) {
        // Valid text comes back whole, or as its longest prefix of whole
        // characters that fits in 50 units.
        FUZZ_CHECK(text.substr(0, back.size()) == back);
        const auto kept = decodeUtf8(back);
        const std::u16string keptUnits = toUtf16(*kept);
        FUZZ_CHECK(keptUnits.size() == units);
        if (back.size() < text.size()) {
            const std::u16string next = toUtf16(std::u32string(1, (*original)[kept->size()]));
            FUZZ_CHECK(keptUnits.size() + next.size() > kMaxUnits);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    checkDecode({data, size});
    checkEncode(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
