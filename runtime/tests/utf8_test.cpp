#include "utf8.h"

#include <gtest/gtest.h>

namespace {

TEST(DecodeUtf8, Table) {
  struct Case {
    std::string bytes;
    std::u16string units;
  } cases[] = {
      {"plain", u"plain"},
      {"\xC3\xA9", u"\u00E9"},
      {"\xE2\x82\xAC", u"\u20AC"},
      {"\xF0\x9F\x98\x80", u"\xD83D\xDE00"},
      {"\xEF\xBB\xBFx", u"\uFEFFx"},              // no byte-order mark is stripped
      {"a\xC3\x41", u"a\u0003"},                 // the A is consumed
      {"ab\x80" "c", u"ab"},                      // stray continuation stops
      {"\xBF" "abc", u""},
      {"ab\xE2", u"ab"},                          // too few bytes follow
      {"ab\xE2\x82", u"ab\u0082"},                // the terminating zero is consumed
      {"\xF5\x80\x80\x80", u""},                  // above U+10FFFF
      {"a\xF8" "b", u"a"},
      {"a\xC0\x80" "b", u"a"},                    // overlong zero ends the string
      {"\xED\xA0\x80", u"\xD800"},                // encoded surrogates pass
      {"\xC1\x81", u"A"},                         // overlong forms are not rejected
      {"\xF4\x8F\xBF\xBF", u"\xDBFF\xDFFF"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(decode_utf8(c.bytes), c.units) << testing::PrintToString(c.bytes);
    EXPECT_EQ(decode_utf8_length(c.bytes), c.units.size()) << testing::PrintToString(c.bytes);
  }
}

TEST(EncodeUtf8, Table) {
  struct Case {
    std::u16string units;
    std::string bytes;
  } cases[] = {
      {u"plain", "plain"},
      {u"\u00E9", "\xC3\xA9"},
      {u"\u20AC", "\xE2\x82\xAC"},
      {u"\xD83D\xDE00", "\xF0\x9F\x98\x80"},
      {u"\xDC00", "\xED\xB0\x80"},   // a lone low surrogate is written as it is
      {u"ab\xD800" u"c", "ab"},      // an unpaired high surrogate stops
      {u"ab\xD800", "ab"},
      {u"\xD800" u"x", ""},
      {std::u16string(u"ab\0cd", 5), "ab"},
      {u"\u07FF\u0800\uFFFF", "\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(encode_utf8(c.units), c.bytes);
    EXPECT_EQ(encode_utf8_length(c.units), c.bytes.size());
  }
}

TEST(Utf8, EveryScalarValueRoundTrips) {
  std::u16string units;
  for (char32_t cp = 1; cp <= 0x10FFFF; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    if (cp < 0x10000) {
      units.push_back(static_cast<char16_t>(cp));
    } else {
      units.push_back(static_cast<char16_t>(0xD800 | ((cp - 0x10000) >> 10)));
      units.push_back(static_cast<char16_t>(0xDC00 | ((cp - 0x10000) & 0x3FF)));
    }
  }
  EXPECT_EQ(decode_utf8(encode_utf8(units)), units);
}

}  // namespace
