#include "tree/folded_search.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tree;

namespace {

struct FoldCase {
  const char* text;
  const char* needle;
  bool found;
};

class FoldedSearchFoldTest : public testing::TestWithParam<FoldCase> {};

TEST_P(FoldedSearchFoldTest, MatchesAsTheToolkitTypeAheadCompares) {
  TreeStore items;
  items.add(-1, GetParam().text, nullptr, 0);
  FoldedSearch search;
  EXPECT_EQ(search.next(items, -1, GetParam().needle), GetParam().found ? 0 : -1)
      << GetParam().text << " / " << GetParam().needle;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, FoldedSearchFoldTest,
    testing::Values(FoldCase{"README.txt", "readme", true},
                    FoldCase{"readme.txt", "READ", true},
                    FoldCase{"\xC3\x89" "COLE", "\xC3\xA9" "cole", true},    // ÉCOLE / école
                    FoldCase{"cafe\xCC\x81", "caf\xC3\xA9", true},           // cafe + U+0301 / café
                    FoldCase{"caf\xC3\xA9", "cafe\xCC\x81", true},
                    FoldCase{"Stra\xC3\x9F" "e", "STRASSE", true},          // Straße
                    FoldCase{"\xEF\xAC\x81le", "file", true},                // ﬁle ligature
                    FoldCase{"\xCE\xA3\xCE\x9F\xCE\xA6", "\xCF\x83\xCE\xBF", true},  // ΣΟΦ / σο
                    FoldCase{"cafe", "caf\xC3\xA9", false},
                    FoldCase{"abc", "abd", false},
                    FoldCase{"abc", "", false}));

// Items 0..5; the matching ones are 1, 3 and 4.
std::vector<const char*> Rows = {"one", "match a", "two", "Match b", "MATCH c", "three"};


struct StepCase {
  int32_t from;
  bool forward;
  int32_t expected;
};

class FoldedSearchStepTest : public testing::TestWithParam<StepCase> {};

TEST_P(FoldedSearchStepTest, GoesRoundTheEnds) {
  TreeStore items;
  for (const char* row : Rows) items.add(-1, row, nullptr, 0);
  FoldedSearch search;
  const StepCase& c = GetParam();
  EXPECT_EQ(c.forward ? search.next(items, c.from, "match") : search.previous(items, c.from, "match"),
            c.expected)
      << "from " << c.from << (c.forward ? " forward" : " backward");
}

INSTANTIATE_TEST_SUITE_P(Steps, FoldedSearchStepTest,
                         testing::Values(StepCase{-1, true, 1}, StepCase{0, true, 1}, StepCase{1, true, 3},
                                         StepCase{3, true, 4}, StepCase{4, true, 1}, StepCase{5, true, 1},
                                         StepCase{5, false, 4}, StepCase{4, false, 3},
                                         StepCase{3, false, 1}, StepCase{1, false, 4},
                                         StepCase{0, false, 4}, StepCase{-1, false, 4},
                                         StepCase{99, true, 1}));

TEST(FoldedSearchTest, TheOnlyMatchIsFoundFromItselfBothWays) {
  TreeStore items;
  for (const char* row : {"a", "needle", "b"}) items.add(-1, row, nullptr, 0);
  FoldedSearch search;
  EXPECT_EQ(search.next(items, 1, "NEEDLE"), 1);
  EXPECT_EQ(search.previous(items, 1, "NEEDLE"), 1);
}

TEST(FoldedSearchTest, NoMatchAcrossTheEndOfOneTextIntoTheNext) {
  TreeStore items;
  items.add(-1, "ab", nullptr, 0);
  items.add(-1, "cd", nullptr, 0);
  FoldedSearch search;
  EXPECT_EQ(search.next(items, -1, "bc"), -1);
  EXPECT_EQ(search.previous(items, -1, "bc"), -1);
}

// The folded texts follow the store: appended items, replaced texts and
// removed items.
TEST(FoldedSearchTest, FollowsChangesToTheStore) {
  TreeStore items;
  items.add(-1, "first", nullptr, 0);
  FoldedSearch search;
  EXPECT_EQ(search.next(items, -1, "later"), -1);
  items.add(-1, "Later", nullptr, 0);
  EXPECT_EQ(search.next(items, -1, "later"), 1);
  items.set_text(0, "later too");
  EXPECT_EQ(search.next(items, 1, "later"), 0);
  items.remove(0);
  EXPECT_EQ(search.next(items, -1, "too"), -1);
  EXPECT_EQ(search.next(items, -1, "later"), 0);
  items.clear();
  EXPECT_EQ(search.next(items, -1, "later"), -1);
}

}  // namespace
