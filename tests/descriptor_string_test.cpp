// Decoding what a HID string query wrote: UTF-16LE to UTF-8, surrogate pairs,
// the first zero unit and the 50 units a 100-byte query can write.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "link/DescriptorString.h"

namespace tpg::link {
namespace {

using Buffer = std::array<std::uint8_t, 201>;

// The 201-byte string buffer as a query leaves it: the units of text from
// byte 0 (no more than fit), every other byte zero.
Buffer queried(const std::u16string& text) {
    Buffer buffer{};
    std::size_t at = 0;
    for (char16_t unit : text) {
        if (at + 2 > buffer.size()) {
            break;
        }
        buffer[at++] = static_cast<std::uint8_t>(unit & 0xFF);
        buffer[at++] = static_cast<std::uint8_t>(unit >> 8);
    }
    return buffer;
}

// What a decoder that keeps the low byte of each unit as a Latin-1
// character gives, in UTF-8: it stops at the first zero low byte.
std::string lowByteDecoded(const Buffer& buffer) {
    std::string text;
    for (std::size_t i = 0; i < 100; i += 2) {
        const std::uint8_t byte = buffer[i];
        if (byte == 0) {
            break;
        }
        if (byte < 0x80) {
            text += static_cast<char>(byte);
        } else {
            text += static_cast<char>(0xC0 | (byte >> 6));
            text += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return text;
}

TEST(DescriptorString, Latin1TextAsALowByteDecoderGivesIt) {
    const std::u16string texts[] = {
        u"",
        u"A",
        u"TPG-000123",
        u"Trelvix Instruments",
        u"tpg 000123 ",
        u" leading and trailing blanks ",
        u"Gr\u00FC\u00DFe aus K\u00F6ln",
        u"caf\u00E9 \u00A9 \u00B5 \u00FF",
        u"\u00A0\u00C0\u00FE",
        u"!\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~",
        std::u16string(50, u'\u00E9'),
    };
    for (const auto& text : texts) {
        const Buffer buffer = queried(text);
        const std::string expected = lowByteDecoded(buffer);
        EXPECT_EQ(DescriptorStringToText(buffer), expected) << expected;
    }
}

TEST(DescriptorString, DecodesUtf16) {
    struct Case {
        const char* what;
        std::u16string text;
        std::string expected;
    };
    const Case cases[] = {
        {"ASCII", u"SN-42", "SN-42"},
        {"Latin-1 above 0x7F", u"\u00FC\u00DF", "\xC3\xBC\xC3\x9F"},
        {"Cyrillic", u"\u0413\u0435\u043D\u0435\u0440\u0430\u0442\u043E\u0440",
         "\xD0\x93\xD0\xB5\xD0\xBD\xD0\xB5\xD1\x80\xD0\xB0\xD1\x82\xD0\xBE\xD1\x80"},
        {"CJK", u"\u8109\u51B2\u53D1\u751F\u5668",
         "\xE8\x84\x89\xE5\x86\xB2\xE5\x8F\x91\xE7\x94\x9F\xE5\x99\xA8"},
        {"U+0100 no longer ends the text", u"A\u0100B",
         "A\xC4\x80"
         "B"},
        {"U+0800, first three-byte code", u"\u0800", "\xE0\xA0\x80"},
        {"U+07FF, last two-byte code", u"\u07FF", "\xDF\xBF"},
        {"U+FFFF", u"\uFFFFx", "\xEF\xBF\xBFx"},
        {"U+E000 after the surrogates", u"\uE000", "\xEE\x80\x80"},
        {"surrogate pair U+1F600", u"\U0001F600", "\xF0\x9F\x98\x80"},
        {"surrogate pair U+10000", u"\U00010000", "\xF0\x90\x80\x80"},
        {"surrogate pair U+10FFFF", u"\U0010FFFF", "\xF4\x8F\xBF\xBF"},
        {"pairs among text", u"a\U0001D11Eb\U00020000c",
         "a\xF0\x9D\x84\x9E"
         "b\xF0\xA0\x80\x80"
         "c"},
        {"lone high surrogate at the end", std::u16string{u'A', char16_t{0xD800}}, "A\xEF\xBF\xBD"},
        {"lone low surrogate", std::u16string{char16_t{0xDC00}, u'B'},
         "\xEF\xBF\xBD"
         "B"},
        {"high surrogate followed by a letter", std::u16string{char16_t{0xDBFF}, u'C'},
         "\xEF\xBF\xBD"
         "C"},
        {"pair in the wrong order", std::u16string{char16_t{0xDC00}, char16_t{0xD800}},
         "\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"two highs, then a low",
         std::u16string{char16_t{0xD800}, char16_t{0xD83D}, char16_t{0xDE00}},
         "\xEF\xBF\xBD\xF0\x9F\x98\x80"},
        {"stops at the first U+0000", std::u16string{u'A', u'B', 0, u'C', u'D'}, "AB"},
        {"a zero unit first is the empty text", std::u16string{0, u'X'}, ""},
        {"high surrogate then U+0000", std::u16string{char16_t{0xD800}, 0, char16_t{0xDC00}},
         "\xEF\xBF\xBD"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(DescriptorStringToText(queried(c.text)), c.expected);
    }
}

TEST(DescriptorString, AtMostFiftyUnits) {
    struct Case {
        const char* what;
        std::u16string text;
        std::string expected;
    };
    const std::u16string fortyNineThenPair = std::u16string(49, u'a') + u"\U0001F600";
    const Case cases[] = {
        {"60 units show the first 50", std::u16string(60, u'x'), std::string(50, 'x')},
        {"exactly 50 units", std::u16string(50, u'y'), std::string(50, 'y')},
        {"50 Cyrillic units", std::u16string(55, u'\u0416'),
         [] {
             std::string s;
             for (int i = 0; i < 50; ++i) {
                 s += "\xD0\x96";
             }
             return s;
         }()},
        // The pair straddles the 50th unit: its high half stands alone.
        {"a pair cut at unit 50", fortyNineThenPair, std::string(49, 'a') + "\xEF\xBF\xBD"},
        {"25 pairs fit",
         [] {
             std::u16string s;
             for (int i = 0; i < 30; ++i) {
                 s += u"\U0001F600";
             }
             return s;
         }(),
         [] {
             std::string s;
             for (int i = 0; i < 25; ++i) {
                 s += "\xF0\x9F\x98\x80";
             }
             return s;
         }()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(DescriptorStringToText(queried(c.text)), c.expected);
    }
}

TEST(DescriptorString, ShortBuffersAreReadOnlyToTheirEnd) {
    // No terminating zero within the buffer: the text ends with the buffer,
    // and an odd last byte is not half a unit.
    const std::vector<std::uint8_t> five{'H', 0, 'i', 0, '!'};
    EXPECT_EQ(DescriptorStringToText(five), "Hi");
    const std::vector<std::uint8_t> four{'O', 0, 'K', 0};
    EXPECT_EQ(DescriptorStringToText(four), "OK");
    const std::vector<std::uint8_t> one{'Z'};
    EXPECT_EQ(DescriptorStringToText(one), "");
    EXPECT_EQ(DescriptorStringToText({}), "");
    // A high surrogate in the last unit of the buffer stands alone.
    const std::vector<std::uint8_t> cutPair{'a', 0, 0x3D, 0xD8};
    EXPECT_EQ(DescriptorStringToText(cutPair), "a\xEF\xBF\xBD");
}

TEST(DescriptorString, BytesBeyondTheQueryAreIgnored) {
    // A buffer whose bytes 100 onward are not zero: still only 50 units.
    Buffer buffer = queried(std::u16string(50, u'q'));
    for (std::size_t i = 100; i < buffer.size(); ++i) {
        buffer[i] = 'Z';
    }
    EXPECT_EQ(DescriptorStringToText(buffer), std::string(50, 'q'));
}

// Serial numbers that differ only in the high bytes of their units decode
// to the same text under a low-byte decoder, so picking one would open the
// other. Decoded as UTF-16 they stay apart.
TEST(DescriptorString, SerialsALowByteDecoderConfusesStayApart) {
    struct Pair {
        std::u16string a;
        std::u16string b;
    };
    const Pair pairs[] = {
        {u"SN1", u"SN\u0131"},        // U+0131 has low byte '1'
        {u"TPG-AB", u"TPG-A\u0142"},  // U+0142 has low byte 'B'
        {u"X", u"\u4E58"},            // U+4E58 has low byte 'X'
        {u"SN",
         u"SN\u0100"
         u"7"},                  // U+0100 ended the low-byte text
        {u"\u00E9", u"\u01E9"},  // same low byte 0xE9
    };
    for (const auto& p : pairs) {
        const Buffer a = queried(p.a);
        const Buffer b = queried(p.b);
        ASSERT_EQ(lowByteDecoded(a), lowByteDecoded(b)) << "not a confusable pair";
        EXPECT_NE(DescriptorStringToText(a), DescriptorStringToText(b)) << lowByteDecoded(a);
    }
}

}  // namespace
}  // namespace tpg::link
