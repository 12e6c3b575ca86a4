// An item's text as a view shows it (cut to DisplayedTextLimit characters)
// and as the store's find compares it (A to Z in either case).
#include "tree/item_text.h"

#include <gtest/gtest.h>

#include <string>

using namespace tree;

namespace {

TEST(DisplayedText, LongTextsAreCutAtACharacterAndMarked) {
  std::string shown = "untouched";
  EXPECT_FALSE(displayed_text("short", shown));
  EXPECT_EQ(shown, "untouched");
  const std::string limit(DisplayedTextLimit, 'x');
  EXPECT_FALSE(displayed_text(limit.c_str(), shown));
  ASSERT_TRUE(displayed_text((limit + "y").c_str(), shown));
  EXPECT_EQ(shown, limit + "\xE2\x80\xA6");
  // Counted in characters, never cut inside one.
  std::string wide;
  for (size_t i = 0; i < DisplayedTextLimit + 10; ++i) wide += "\xC3\xA9";
  ASSERT_TRUE(displayed_text(wide.c_str(), shown));
  EXPECT_EQ(shown.size(), 2 * DisplayedTextLimit + 3);
  EXPECT_EQ(shown.substr(shown.size() - 5), "\xC3\xA9\xE2\x80\xA6");
}

struct ContainsCase {
  const char* name;
  const char* text;
  const char* needle;
  bool found;
};

void PrintTo(const ContainsCase& c, std::ostream* out) { *out << c.name; }

class TextContains : public testing::TestWithParam<ContainsCase> {};

TEST_P(TextContains, MatchesLettersInEitherCase) {
  const ContainsCase& c = GetParam();
  EXPECT_EQ(text_contains(c.text, c.needle), c.found);
}

INSTANTIATE_TEST_SUITE_P(
    ItemText, TextContains,
    testing::Values(ContainsCase{"LowerNeedleInCapitalisedText", "Match one", "match", true},
                    ContainsCase{"CapitalNeedleInLowerText", "Middle", "MIDDLE", true},
                    ContainsCase{"PartOfAWord", "Other", "ther", true},
                    ContainsCase{"AtTheVeryEnd", "Match one", "one", true},
                    ContainsCase{"AfterAFalseStart", "aaab", "AAB", true},
                    ContainsCase{"NonAsciiExactly", "Last caf\xC3\xA9", "caf\xC3\xA9", true},
                    // Only A to Z fold: É is not é.
                    ContainsCase{"NonAsciiNotFolded", "caf\xC3\xA9", "CAF\xC3\x89", false},
                    // Signs beside the letters in ASCII, 0x20 apart like the
                    // two cases of a letter, are not letters.
                    ContainsCase{"AtSignIsNoBacktick", "`x", "@x", false},
                    ContainsCase{"BracketIsNoBrace", "a{b", "a[b", false},
                    ContainsCase{"SignFirst", "folder/File", "/file", true},
                    ContainsCase{"NoMatch", "Top", "nowhere", false},
                    ContainsCase{"NeedleLongerThanTheText", "Match one", "Match one and more", false},
                    ContainsCase{"EmptyTextHoldsNoLetter", "", "a", false},
                    ContainsCase{"EmptyNeedleIsInEveryText", "", "", true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
