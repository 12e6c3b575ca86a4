#include "tests/support/reference_matching.h"

#include <gtest/gtest.h>

using namespace test_support;


namespace {

TEST(TermMatches, Table) {
  struct Case {
    std::u16string name, term;
    bool matches;
  } cases[] = {
      {u"S\u00C3O PAULO", u"s\u00E3o", true},
      {u"A\u00C7\u00C3O", u"a\u00E7\u00E3o", true},
      {u"\u00C9COLE", u"\u00E9cole", true},
      {u"\u00E9cole", u"\u00C9COLE", true},
      {u"\u00D1andu", u"\u00F1", false},            // not among the folded capitals
      {u"\u00C8RE", u"\u00E8re", false},
      {u"\u0391\u0392\u0393", u"\u03B1\u03B2\u03B3", false},  // no other script folds
      {u"name", u"", false},
      {u"", u"x", false},
      {u"ab", u"abc", false},
      {u"a x", u" x", true},
      {u"ax", u" x", false},
      {u"Docs/Report.PDF", u"report.pdf", true},
      {u"\uFEFFdoc", u"doc", true},
      {u"doc", u"\uFEFFdoc", false},
      {u"\u00DCBER", u"\u00FCber", true},
      {u"\u00C4rger", u"\u00E4rger", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(term_matches(c.name, c.term), c.matches);
  }
}

TEST(TextOperations, Table) {
  EXPECT_EQ(find_text(u"abcabc", u"cab"), 3);
  EXPECT_EQ(find_text(u"abc", u""), 0);
  EXPECT_EQ(find_text(u"", u"a"), 0);
  EXPECT_EQ(find_text(u"abc", u"abc"), 1);
  EXPECT_EQ(find_text(u"ab", u"abc"), 0);
  EXPECT_EQ(replace_all(u"aaa", u"aa", u"b"), u"ba");
  EXPECT_EQ(replace_all(u"abc", u"", u"x"), u"abc");
  EXPECT_EQ(replace_all(u"\u00C0\u00C0", u"\u00C0", u"\u00E0"), u"\u00E0\u00E0");
  EXPECT_EQ(replace_all(u"abab", u"ab", u"abab"), u"abababab");  // no rescan of replacements
  EXPECT_EQ(fold_accents(u"\u00DCBER"), u"\u00FCBER");
  EXPECT_EQ(normalise_name(u"\u00DCBER"), u"\u00FCber");
  EXPECT_EQ(to_lower(u"AZaz@[\u00C0\u0130"), u"azaz@[\u00C0\u0130");
}

TEST(NormaliseInPlace, AgreesWithTheFoldingRulesForEveryUnit) {
  std::u16string all;
  for (unsigned u = 1; u <= 0xFFFF; ++u) all.push_back(static_cast<char16_t>(u));
  std::u16string fast = all;
  normalise_in_place(fast);
  EXPECT_EQ(fast, normalise_name(all));
}

}  // namespace
