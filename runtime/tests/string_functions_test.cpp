#include "runtime/string_functions.h"

#include <gtest/gtest.h>

#include <climits>

using namespace runtime;

namespace {

TEST(StringLeftRight, ClampCounts) {
  struct Case {
    std::u16string text;
    int32_t count;
    std::u16string left, right;
  } cases[] = {
      {u"abc", 2, u"ab", u"bc"}, {u"abc", 5, u"abc", u"abc"}, {u"abc", -1, u"", u""},
      {u"abc", 0, u"", u""},     {u"", 3, u"", u""},          {u"abc", 1, u"a", u"c"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(string_left(c.text, c.count), c.left) << c.count;
    EXPECT_EQ(string_right(c.text, c.count), c.right) << c.count;
  }
  EXPECT_EQ(string_length(u""), 0);
  EXPECT_EQ(string_length({}), 0);
  EXPECT_EQ(string_length(u"\U0001F600"), 2);  // a surrogate pair counts as two
}

TEST(StringField, Table) {
  struct Case {
    std::u16string text;
    int32_t index;
    std::u16string delimiter, field;
  } cases[] = {
      {u"a,,b", 1, u",", u"a"},  {u"a,,b", 2, u",", u""},   {u"a,,b", 3, u",", u"b"},
      {u"a,,b", 4, u",", u""},   {u",a", 1, u",", u""},     {u",a", 2, u",", u"a"},
      {u"a,", 2, u",", u""},     {u"a,", 3, u",", u""},     {u"abc", 1, u",", u"abc"},
      {u"abc", 2, u",", u""},    {u"a,b", 0, u",", u""},    {u"a,b", -1, u",", u""},
      {u"a;b,c", 2, u";,", u"b,c"}, {u"abc", 1, u"", u"abc"}, {u"abc", 2, u"", u""},
      {u"x\ny\nz\n", 3, u"\n", u"z"}, {u"x\ny\nz\n", 4, u"\n", u""}, {u"x\ny\nz\n", 5, u"\n", u""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(string_field(c.text, c.index, c.delimiter), c.field)
        << std::string(c.text.begin(), c.text.end()) << " #" << c.index;
}

TEST(ParseInt, Table) {
  struct Case {
    std::u16string text;
    int64_t value;
  } cases[] = {
      {u"42", 42},
      {u" \t 42abc", 42},
      {u"-17", -17},
      {u"+5", 5},
      {u"-+5", 0},
      {u"- 5", 0},
      {u"+-5", 0},
      {u"$ff", 255},
      {u"$FF", 255},
      {u"-$10", -16},
      {u"$", 0},
      {u"$g", 0},
      {u"%101", 5},
      {u"%2", 0},
      {u"%1012", 5},
      {u"1.9", 1},
      {u"0x10", 0},
      {u"abc", 0},
      {u"", 0},
      {u"\uFEFF12", 0},
      {u"\u0661", 0},  // a non-ASCII digit
      {u"4294967297", 1LL << 32 | 1},
      {u"9223372036854775808", INT64_MIN},
      {u"18446744073709551617", 1},
      {u"-9223372036854775808", INT64_MIN},
  };
  for (const auto& c : cases)
    EXPECT_EQ(parse_int(c.text), c.value) << std::string(c.text.begin(), c.text.end());
  EXPECT_EQ(parse_int({}), 0);
}

TEST(StringsEqual, ComparesUnitsExactly) {
  EXPECT_TRUE(strings_equal({}, u""));
  EXPECT_TRUE(strings_equal(u"/", u"/"));
  EXPECT_FALSE(strings_equal(u"a", u"A"));
  EXPECT_FALSE(strings_equal(u"a", u"ab"));
}

}  // namespace
