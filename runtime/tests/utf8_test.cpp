#include "runtime/utf8.h"

#include <gtest/gtest.h>

using namespace runtime;

namespace {

// The number of units the lenient decoding yields, counted without them.
size_t decode_utf8_length(std::string_view bytes) {
  size_t count = 0;
  utf8_detail::walk_utf8(bytes, [&](char16_t) { ++count; });
  return count;
}

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

namespace {

std::u16string replaced(std::string_view bytes) {
  std::u16string out;
  decode_utf8_replacing(bytes, out);
  return out;
}

TEST(Utf8Replacing, EachMaximalSubpartBecomesOneReplacement) {
  struct Case {
    std::string bytes;
    std::u16string units;
  } cases[] = {
      {"plain", u"plain"},
      {"", u""},
      {"caf\xE9 au lait", u"caf\uFFFD au lait"},
      {"\xF4\x8F\xBF\xBF", u"\xDBFF\xDFFF"},
      {"\xEF\xBF\xBD", u"\uFFFD"},                           // a real U+FFFD
      {"\xEF\xBB\xBFx", u"\uFEFFx"},                         // not stripped here
      // The example of the Unicode standard, chapter 3.
      {"a\xF1\x80\x80\xE1\x80\xC2" "b\x80" "c\x80\xBF" "d", u"a\uFFFD\uFFFD\uFFFDb\uFFFDc\uFFFD\uFFFDd"},
      {"/sur\xED\xA0\x80/z", u"/sur\uFFFD\uFFFD\uFFFD/z"},   // encoded surrogate
      {"\xC0\x80", u"\uFFFD\uFFFD"},                          // overlong zero
      {"\xC1\x81", u"\uFFFD\uFFFD"},
      {"\xE0\x80\x80", u"\uFFFD\uFFFD\uFFFD"},
      {"\xF0\x80\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},    // above U+10FFFF
      {"\xF5\x80", u"\uFFFD\uFFFD"},
      {"a\xFF/lib", u"a\uFFFD/lib"},
      {"ab\xE2\x82", u"ab\uFFFD"},                            // cut at the end
      {"\xE2\x82" "A", u"\uFFFD" "A"},
      {"\xF0\x9F\x98", u"\uFFFD"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(replaced(c.bytes), c.units) << testing::PrintToString(c.bytes);
    EXPECT_EQ(repair_utf8(c.bytes), encode_utf8(c.units)) << testing::PrintToString(c.bytes);
    EXPECT_EQ(is_well_formed_utf8(c.bytes), repair_utf8(c.bytes) == c.bytes) << testing::PrintToString(c.bytes);
  }
}

TEST(Utf8Replacing, WellFormedLongRunsAndLateFaults) {
  std::string text(1000, 'x');
  EXPECT_TRUE(is_well_formed_utf8(text));
  text += "\xC3\xA9";
  EXPECT_TRUE(is_well_formed_utf8(text));
  text.insert(text.begin() + 517, '\x80');
  EXPECT_FALSE(is_well_formed_utf8(text));
  EXPECT_EQ(repair_utf8(text).size(), text.size() + 2);
}

// Every sequence of up to three bytes from an alphabet of boundary bytes:
// repairing is idempotent, keeps well-formed text as it is and always
// yields text that decodes to what the replacing decoder yields.
TEST(Utf8Replacing, AgreesWithItselfOnEveryShortSequence) {
  const std::string alphabet = "a\x7F\x80\x8F\x90\x9F\xA0\xBF\xC0\xC1\xC2\xDF\xE0\xE1\xED\xEE\xEF\xF0\xF1\xF4\xF5\xFF";
  std::string bytes;
  for (char x : alphabet)
    for (char y : alphabet)
      for (char z : alphabet) {
        bytes = {x, y, z};
        const std::string repaired = repair_utf8(bytes);
        ASSERT_TRUE(is_well_formed_utf8(repaired)) << testing::PrintToString(bytes);
        EXPECT_EQ(repair_utf8(repaired), repaired);
        EXPECT_EQ(replaced(repaired), replaced(bytes));
        if (is_well_formed_utf8(bytes)) {
          EXPECT_EQ(repaired, bytes);
        }
      }
}

}  // namespace
