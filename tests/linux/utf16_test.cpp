#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "hid/linux/Utf16.h"
#include "link/DescriptorString.h"

namespace tpg::hid::hidraw {
namespace {

struct Utf16Case {
    const char* name;
    std::string utf8;
    std::u16string expected;  // the code units written, terminator excluded
};

std::u16string unitsOf(const std::array<std::uint8_t, 100>& buffer, std::size_t count) {
    std::u16string units;
    for (std::size_t i = 0; i < count; ++i) {
        units.push_back(static_cast<char16_t>(buffer[2 * i] | (buffer[2 * i + 1] << 8)));
    }
    return units;
}

TEST(Utf16Handover, WritesUtf16leAsTheStringQueriesDo) {
    const std::vector<Utf16Case> cases = {
        {"ASCII serial", "TPG350-00417", u"TPG350-00417"},
        {"empty", "", u""},
        {"Latin-1 letters",
         "Gr\xC3\xBC\xC3\x9F"
         "e",
         u"Gr\u00FC\u00DFe"},
        {"CJK", "\xE6\xB5\x8B\xE8\xAF\x95", u"\u6D4B\u8BD5"},
        {"outside the BMP: surrogate pair", "a\xF0\x9F\x98\x80z", u"a\xD83D\xDE00z"},
        {"stray continuation byte", "a\x80z", u"a\uFFFDz"},
        {"truncated sequence at the end", "ab\xE6\xB5", u"ab\uFFFD"},
        {"truncated sequence before ASCII", "\xE6z", u"\uFFFDz"},
        {"overlong encoding", "\xC0\xAF", u"\uFFFD"},
        {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD"},
        {"above U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD"},
        {"invalid lead byte", "\xFF", u"\uFFFD"},
        {"50 units fill the buffer exactly", std::string(50, 'x'), std::u16string(50, u'x')},
        {"longer text cut at 50 units", std::string(70, 'y'), std::u16string(50, u'y')},
        // 49 units then a pair that does not fit: the pair is not split.
        {"pair not split at the end", std::string(49, 'q') + "\xF0\x9F\x98\x80",
         std::u16string(49, u'q')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::array<std::uint8_t, 100> buffer;
        buffer.fill(0xEE);
        const std::size_t written = writeUtf16le(c.utf8, buffer);
        ASSERT_EQ(written, c.expected.size());
        EXPECT_EQ(unitsOf(buffer, written), c.expected);
        if (written < 50) {
            EXPECT_EQ(buffer[2 * written], 0);
            EXPECT_EQ(buffer[2 * written + 1], 0);
            if (written + 1 < 50) {
                EXPECT_EQ(buffer[2 * written + 2], 0xEE) << "bytes after the terminator kept";
            }
        }
    }
}

TEST(Utf16Handover, CoreDecodesWhatTheLayerWrote) {
    const std::vector<std::string> texts = {"TPG350-00417",
                                            "Gr\xC3\xBC\xC3\x9F"
                                            "e",
                                            "\xE6\xB5\x8B\xE8\xAF\x95", "a\xF0\x9F\x98\x80z"};
    for (const auto& text : texts) {
        SCOPED_TRACE(text);
        std::array<std::uint8_t, 201> buffer{};
        writeUtf16le(text, std::span(buffer).first(100));
        EXPECT_EQ(link::DescriptorStringToText(buffer), text);
    }
}

TEST(Utf16Handover, OddBufferUsesWholeUnitsOnly) {
    std::array<std::uint8_t, 5> buffer;
    buffer.fill(0xEE);
    EXPECT_EQ(writeUtf16le("abc", buffer), 2U);
    EXPECT_EQ(buffer[4], 0xEE);
}

}  // namespace
}  // namespace tpg::hid::hidraw
