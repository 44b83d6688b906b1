#include "common/text.h"

#include <gtest/gtest.h>

namespace {

// The largest unit with an integer part of 1 or more once rounded, one
// decimal, half up.
TEST(BinarySize, TakesTheLargestUnitAndRoundsHalfUp) {
    constexpr std::uint64_t KiB = 1024, MiB = KiB * KiB, TiB = MiB * MiB;
    const std::pair<std::uint64_t, const char*> rows[] = {
        {0, "0 bytes"},
        {1023, "1023 bytes"},
        {1024, "1.0 KiB"},
        {1024 + 51, "1.0 KiB"},  // 0.0498: down
        {1024 + 52, "1.1 KiB"},  // 0.0508: up
        {MiB - 1, "1.0 MiB"},
        {16 * MiB, "16.0 MiB"},
        {MiB * 1023 + MiB * 99 / 100, "1.0 GiB"},
        {1073700864, "1.0 GiB"},                      // 1023.96 MiB
        {MiB * 1023 + MiB * 94 / 100, "1023.9 MiB"},  // stays below the next unit
        {1024 * TiB - 1, "1024.0 TiB"},               // no unit above
        {3 * MiB * KiB / 2, "1.5 GiB"},
        {TiB, "1.0 TiB"},
        {2048 * TiB, "2048.0 TiB"},
    };
    for (const auto& [bytes, text] : rows) {
        EXPECT_EQ(ssdprep::BinarySize(bytes), text) << bytes;
    }
}

// UTF-16 from registry bytes, and out again as the log's UTF-8 and the
// scripts' one byte a character.
TEST(TextEncodings, DecodeAndEncodeEachUnitOnce) {
    const std::pair<std::u16string, const char*> utf8[] = {
        {u"a\u00E9", "a\xC3\xA9"},
        {u"\u20AC", "\xE2\x82\xAC"},
        {u"\U0001F600", "\xF0\x9F\x98\x80"},
        {std::u16string{0xD800, u'A'},
         "\xED\xA0\x80"
         "A"},                                     // a lone high surrogate
        {std::u16string{0xDC00}, "\xED\xB0\x80"},  // a lone low one
        {std::u16string{0xDC00, 0xDC00}, "\xED\xB0\x80\xED\xB0\x80"},
        {std::u16string{0xD800, 0xE000}, "\xED\xA0\x80\xEE\x80\x80"},
        {std::u16string{0xD83D, 0xDE00, u'A'},
         "\xF0\x9F\x98\x80"
         "A"},
        {u"\u0080\U0010FFFF", "\xC2\x80\xF4\x8F\xBF\xBF"},
    };
    for (const auto& [text, bytes] : utf8) {
        EXPECT_EQ(ssdprep::Utf8(text), bytes);
    }
    EXPECT_EQ(ssdprep::Bytes(u"a\u007F\u0080"), "a\x7F?");
    const std::uint8_t units[] = {'a', 0, 'b', 0, 0, 0, 'c', 0};
    EXPECT_EQ(ssdprep::Utf16Text(units, 8), u"ab");  // to the first zero unit
    EXPECT_EQ(ssdprep::Utf16Text(units, 3), u"a");   // an odd last byte left out
}

}  // namespace
