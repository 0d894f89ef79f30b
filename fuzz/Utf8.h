// Strict UTF-8 for the fuzz targets' checks of the texts the tool makes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tpg::fuzz {

// Strict UTF-8: shortest forms only, no surrogates, nothing above U+10FFFF.
// Returns the code points, or nothing for text that is not UTF-8.
inline std::optional<std::u32string> decodeUtf8(std::string_view text) {
    std::u32string out;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t extra = 0;
        char32_t cp = 0;
        if (lead < 0x80) {
            cp = lead;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            extra = 1;
            cp = lead & 0x1FU;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            extra = 2;
            cp = lead & 0x0FU;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            extra = 3;
            cp = lead & 0x07U;
        } else {
            return std::nullopt;
        }
        if (text.size() - i - 1 < extra) {
            return std::nullopt;
        }
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0U) != 0x80U) {
                return std::nullopt;
            }
            cp = (cp << 6) | (next & 0x3FU);
        }
        const char32_t shortest = extra == 1 ? 0x80 : extra == 2 ? 0x800 : 0x10000;
        if ((extra > 0 && cp < shortest) || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            return std::nullopt;
        }
        out += cp;
        i += 1 + extra;
    }
    return out;
}

}  // namespace tpg::fuzz
