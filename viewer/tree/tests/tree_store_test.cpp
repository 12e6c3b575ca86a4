// The tree's item store without any toolkit: placement by level, indexes,
// removal, addressing by path, texts, item values, icons and finding.
#include "tree/tree_store.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "tree/tests/item_listing.h"

using namespace tree;

namespace {

struct Store {
  TreeStore items;
};

void walk(const TreeStore& items, int32_t parent, std::string& out) {
  for (int32_t child = items.child(parent, 0); child >= 0; child = items.next_sibling(child)) {
    if (!out.empty()) out += ' ';
    out += std::to_string(items.depth(child)) + items.text(child);
    walk(items, child, out);
  }
}

// The same, walking from the top level down through children and siblings,
// as a view does.
std::string by_walk(const TreeStore& items) {
  std::string out;
  walk(items, -1, out);
  return out;
}

// Index, path, parent and children agree for every item.
void expect_addressing_consistent(const Store& s) {
  for (int32_t i = 0; i < s.items.count(); ++i) {
    SCOPED_TRACE("index " + std::to_string(i));
    const std::vector<int> path = s.items.path(i);
    ASSERT_EQ(path.size(), static_cast<size_t>(s.items.depth(i) + 1));
    EXPECT_EQ(s.items.at_path(path.data(), static_cast<int>(path.size())), i);
    const int32_t parent = s.items.parent(i);
    EXPECT_EQ(s.items.child(parent, path.back()), i);
    if (parent >= 0) {
      EXPECT_EQ(s.items.depth(parent) + 1, s.items.depth(i));
    }
  }
}

struct Add {
  int32_t position;
  int32_t level;
};

struct PlacementCase {
  const char* name;
  std::vector<Add> adds;   // item n gets the text 'a' + n
  std::vector<int32_t> indexes;  // what each add returned
  const char* tree;        // by_index afterwards
};

void PrintTo(const PlacementCase& c, std::ostream* out) { *out << c.name; }

class Placement : public testing::TestWithParam<PlacementCase> {};

TEST_P(Placement, PlacesItemsByLevelAndPreviousItem) {
  const PlacementCase& c = GetParam();
  Store s;
  std::vector<int32_t> indexes;
  for (size_t n = 0; n < c.adds.size(); ++n) {
    std::string text(1, static_cast<char>('a' + n));
    indexes.push_back(s.items.add(c.adds[n].position, text.c_str(), nullptr, c.adds[n].level));
  }
  EXPECT_EQ(indexes, c.indexes);
  EXPECT_EQ(by_index(s.items), c.tree);
  EXPECT_EQ(by_walk(s.items), c.tree);
  expect_addressing_consistent(s);
}

const PlacementCase PlacementCases[] = {
    {"FirstItemAtLevel3LandsOnTop", {{-1, 3}}, {0}, "0a"},
    {"LevelAboveDepthMakesChildOnly", {{-1, 0}, {-1, 3}, {-1, 3}}, {0, 1, 2}, "0a 1b 2c"},
    {"EqualLevelMakesSibling", {{-1, 0}, {-1, 1}, {-1, 1}, {-1, 0}}, {0, 1, 2, 3}, "0a 1b 1c 0d"},
    {"LowerLevelFollowsAncestor",
     {{-1, 0}, {-1, 1}, {-1, 2}, {-1, 1}},
     {0, 1, 2, 3},
     "0a 1b 2c 1d"},
    {"Level0AfterDeepItemIsNewTopRow", {{-1, 0}, {-1, 1}, {-1, 2}, {-1, 0}}, {0, 1, 2, 3},
     "0a 1b 2c 0d"},
    {"NegativeLevelActsAsLevel0", {{-1, 0}, {-1, 1}, {-1, 2}, {-1, -5}}, {0, 1, 2, 3},
     "0a 1b 2c 0d"},
    {"NegativeLevelFirst", {{-1, -1}, {-1, -1}}, {0, 1}, "0a 0b"},
    {"Position0InsertsFirstTopRowWhateverTheLevel",
     {{-1, 0}, {-1, 1}, {0, 2}},
     {0, 1, 0},
     "0c 0a 1b"},
    {"Position0InEmptyTree", {{0, 7}}, {0}, "0a"},
    {"PositionBeyondCountAppends", {{-1, 0}, {10, 1}, {3, 1}}, {0, 1, 2}, "0a 1b 1c"},
    {"PositionEqualToCountAppends", {{-1, 0}, {1, 0}}, {0, 1}, "0a 0b"},
    {"MiddleLevelAboveDepthBecomesFirstChild",
     {{-1, 0}, {-1, 0}, {1, 5}},
     {0, 1, 1},
     "0a 1c 0b"},
    {"MiddleLowerLevelRaisedToFollowingItem",
     {{-1, 0}, {-1, 1}, {-1, 1}, {2, 0}},
     {0, 1, 2, 2},
     "0a 1b 1d 1c"},
    {"MiddleLowerLevelWithoutRaise",
     {{-1, 0}, {-1, 1}, {-1, 2}, {-1, 0}, {3, 1}},
     {0, 1, 2, 3, 3},
     "0a 1b 2c 1e 0d"},
    {"MiddleNegativeLevelBeforeTopRow",
     {{-1, 0}, {-1, 1}, {-1, 2}, {-1, 0}, {3, -5}},
     {0, 1, 2, 3, 3},
     "0a 1b 2c 0e 0d"},
    // The placement rules put these rows after the previous item's
    // descendants; the index is where the row shows.
    {"MiddleRaiseAbovePreviousDepthFollowsTheNextItem",
     {{-1, 0}, {-1, 1}, {1, -1}},
     {0, 1, 2},
     "0a 1b 1c"},
    {"MiddleEqualLevelFollowsPreviousSubtree", {{-1, 0}, {-1, 1}, {1, 0}}, {0, 1, 2}, "0a 1b 0c"},
    {"MiddleEqualDeepLevelFollowsPreviousSubtree",
     {{-1, 0}, {-1, 1}, {-1, 2}, {-1, 2}, {2, 1}},
     {0, 1, 2, 3, 4},
     "0a 1b 2c 2d 1e"},
};

INSTANTIATE_TEST_SUITE_P(Tree, Placement, testing::ValuesIn(PlacementCases),
                         [](const auto& info) { return std::string(info.param.name); });


// A plain tree of nodes, placed by the same rules, to compare with.
class ReferenceTree {
 public:
  struct Node {
    std::string text;
    Node* parent = nullptr;
    std::vector<std::unique_ptr<Node>> children;
  };

  int32_t add(int32_t position, const std::string& text, int32_t level) {
    std::vector<Node*> order = flatten();
    int32_t count = static_cast<int32_t>(order.size());
    int32_t index = position < 0 || position > count ? count : position;
    Node* parent = nullptr;
    Node* after = nullptr;
    if (index > 0) {
      Node* previous = order[index - 1];
      int64_t d = depth(previous);
      int64_t wanted = level;
      if (wanted > d) {
        parent = previous;
      } else if (wanted == d) {
        parent = previous->parent;
        after = previous;
      } else {
        if (index < count && depth(order[index]) > wanted) wanted = depth(order[index]);
        if (wanted <= 0) {
          after = previous;
          while (after->parent) after = after->parent;
        } else if (wanted > d) {
          parent = previous;
          after = order[index];
        } else {
          after = previous;
          while (depth(after) > wanted) after = after->parent;
          parent = after->parent;
        }
      }
    }
    auto& siblings = parent ? parent->children : roots_;
    size_t at = 0;
    if (after)
      while (siblings[at].get() != after) ++at;
    auto node = std::make_unique<Node>();
    node->text = text;
    node->parent = parent;
    Node* added = node.get();
    siblings.insert(siblings.begin() + (after ? at + 1 : 0), std::move(node));
    order = flatten();
    for (size_t i = 0; i < order.size(); ++i)
      if (order[i] == added) return static_cast<int32_t>(i);
    return -1;
  }

  int32_t remove(int32_t index) {
    std::vector<Node*> order = flatten();
    if (index < 0 || index >= static_cast<int32_t>(order.size())) return 0;
    Node* node = order[index];
    int32_t removed = size(node);
    auto& siblings = node->parent ? node->parent->children : roots_;
    for (auto it = siblings.begin(); it != siblings.end(); ++it)
      if (it->get() == node) {
        siblings.erase(it);
        break;
      }
    return removed;
  }

  std::string describe() {
    std::string out;
    for (Node* node : flatten()) {
      if (!out.empty()) out += ' ';
      out += std::to_string(depth(node)) + node->text;
    }
    return out;
  }

 private:
  static int64_t depth(const Node* node) {
    int64_t d = 0;
    for (; node->parent; node = node->parent) ++d;
    return d;
  }
  static int32_t size(const Node* node) {
    int32_t n = 1;
    for (auto& child : node->children) n += size(child.get());
    return n;
  }
  static void flatten(std::vector<std::unique_ptr<Node>>& list, std::vector<Node*>& out) {
    for (auto& node : list) {
      out.push_back(node.get());
      flatten(node->children, out);
    }
  }
  std::vector<Node*> flatten() {
    std::vector<Node*> out;
    flatten(roots_, out);
    return out;
  }
  std::vector<std::unique_ptr<Node>> roots_;
};

TEST(TreeStoreTest, RandomEditsMatchAPlainTree) {
  std::mt19937 random(20240611);
  for (int round = 0; round < 20; ++round) {
    Store s;
    ReferenceTree reference;
    for (int step = 0; step < 300; ++step) {
      int32_t count = s.items.count();
      std::string text = std::to_string(step);
      if (count > 0 && random() % 5 == 0) {
        int32_t index = static_cast<int32_t>(random() % count);
        ASSERT_EQ(s.items.remove(index), reference.remove(index));
      } else {
        // Mostly appends, some insertions anywhere, levels -2 .. 5.
        int32_t position = random() % 3 == 0 ? static_cast<int32_t>(random() % (count + 2)) - 1 : -1;
        int32_t level = static_cast<int32_t>(random() % 8) - 2;
        ASSERT_EQ(s.items.add(position, text.c_str(), nullptr, level),
                  reference.add(position, text, level));
      }
      ASSERT_EQ(by_index(s.items), reference.describe()) << "after step " << step;
      // Addressing after every kind of change: what the store remembers of
      // earlier walks must never outlive a renumbering.
      if (step % 7 == 0) {
        ASSERT_EQ(by_walk(s.items), reference.describe()) << "after step " << step;
        expect_addressing_consistent(s);
      }
    }
    ASSERT_EQ(by_walk(s.items), reference.describe());
    expect_addressing_consistent(s);
  }
}

// A chain of folders, each inside the one before: appending stays cheap
// however deep the tree, and depths and paths count every level.
TEST(TreeStoreTest, DeepChainsKeepTheirDepths) {
  constexpr int32_t Depth = 100'000;
  Store s;
  for (int32_t level = 0; level < Depth; ++level) ASSERT_EQ(s.items.add(-1, "d", nullptr, level), level);
  EXPECT_EQ(s.items.depth(Depth - 1), Depth - 1);
  EXPECT_EQ(s.items.depth(Depth / 2), Depth / 2);
  EXPECT_EQ(s.items.path(Depth - 1), std::vector<int>(Depth, 0));
  // Back out to the top level in one step.
  EXPECT_EQ(s.items.add(-1, "top", nullptr, 0), Depth);
  EXPECT_EQ(s.items.depth(Depth), 0);
  EXPECT_EQ(s.items.next_sibling(0), Depth);
  EXPECT_EQ(s.items.remove(1), Depth - 1);
  EXPECT_EQ(by_walk(s.items), "0d 0top");
}

// A folder of many children, read the way a view reads it: each child by
// its place, each place from the child, forwards and backwards, while more
// children arrive.
TEST(TreeStoreTest, LargeFoldersAreAddressedInAnyOrder) {
  constexpr int Children = 50'000;
  Store s;
  s.items.add(-1, "folder", nullptr, 0);
  for (int i = 0; i < Children; ++i) {
    const int32_t added = s.items.add(-1, "c", nullptr, 1);
    ASSERT_EQ(s.items.path(added), (std::vector<int>{0, i}));
  }
  EXPECT_EQ(s.items.child_count(0), Children);
  for (int i = 0; i < Children; ++i) ASSERT_EQ(s.items.child(0, i), i + 1);
  for (int i = Children - 1; i >= 0; i -= 97) {
    ASSERT_EQ(s.items.child(0, i), i + 1);
    ASSERT_EQ(s.items.path(i + 1), (std::vector<int>{0, i}));
  }
  EXPECT_EQ(s.items.child(0, Children), -1);
  s.items.add(1, "first", nullptr, 1);
  EXPECT_EQ(s.items.child_count(0), Children + 1);
  EXPECT_STREQ(s.items.text(s.items.child(0, 0)), "first");
  EXPECT_EQ(s.items.path(Children + 1), (std::vector<int>{0, Children}));
}

TEST(TreeStoreTest, TextsCanBeReplacedWithLongerShorterAndEmptyOnes) {
  Store s;
  s.items.add(-1, "first", nullptr, 0);
  s.items.add(-1, nullptr, nullptr, 0);
  s.items.add(-1, "th\xC3\xA9", nullptr, 0);
  EXPECT_STREQ(s.items.text(1), "");
  s.items.set_text(0, "a much longer text than before");
  s.items.set_text(2, "x");
  s.items.set_text(1, "now set");
  EXPECT_STREQ(s.items.text(0), "a much longer text than before");
  EXPECT_STREQ(s.items.text(1), "now set");
  EXPECT_STREQ(s.items.text(2), "x");
  s.items.set_text(0, nullptr);
  EXPECT_STREQ(s.items.text(0), "");
  s.items.set_text(5, "nowhere");
  EXPECT_STREQ(s.items.text(5), "");
  EXPECT_EQ(by_walk(s.items), "0 0now set 0x");
}

TEST(TreeStoreTest, ReplacedTextsAreCompactedAway) {
  Store s;
  std::string big(4096, 'q');
  for (int i = 0; i < 10; ++i) s.items.add(-1, ("keep" + std::to_string(i)).c_str(), nullptr, 0);
  for (int round = 0; round < 2000; ++round) s.items.set_text(round % 10, (big + std::to_string(round)).c_str());
  for (int i = 0; i < 10; ++i) EXPECT_EQ(s.items.text(i), big + std::to_string(1990 + i));
}

TEST(TreeStoreTest, ItemValuesTravelWithTheirItems) {
  Store s;
  s.items.add(-1, "a", nullptr, 0);
  s.items.add(-1, "b", nullptr, 1);
  s.items.set_check(1, true, false);
  s.items.set_colour(1, TreeColour::Foreground, 0x0000FF);
  s.items.set_colour(0, TreeColour::Background, 0x123456);
  s.items.set_data(1, intptr_t{-7});
  EXPECT_TRUE(s.items.checked(1));
  EXPECT_FALSE(s.items.inconsistent(1));
  EXPECT_EQ(s.items.colour(1, TreeColour::Foreground), 0x0000FF);
  EXPECT_EQ(s.items.colour(1, TreeColour::Background), NoColour);
  EXPECT_EQ(s.items.colour(0, TreeColour::Background), 0x123456);
  EXPECT_EQ(s.items.data(1), -7);
  EXPECT_EQ(s.items.data(0), 0);
  // -1 reaches every item; NoColour removes.
  s.items.set_colour(-1, TreeColour::Background, 0x00FF00);
  EXPECT_EQ(s.items.colour(0, TreeColour::Background), 0x00FF00);
  EXPECT_EQ(s.items.colour(1, TreeColour::Background), 0x00FF00);
  s.items.set_colour(0, TreeColour::Background, NoColour);
  EXPECT_EQ(s.items.colour(0, TreeColour::Background), NoColour);
  s.items.add(0, "new first", nullptr, 0);
  EXPECT_EQ(s.items.data(2), -7);
  EXPECT_TRUE(s.items.checked(2));
  EXPECT_EQ(s.items.colour(2, TreeColour::Foreground), 0x0000FF);
  s.items.remove(0);
  EXPECT_EQ(s.items.data(1), -7);
}

TEST(TreeStoreTest, OutOfRangeIndexesReadAsNoItem) {
  Store s;
  s.items.add(-1, "only", nullptr, 0);
  for (int32_t index : {-1, 1, 1000}) {
    s.items.set_check(index, true, true);
    s.items.set_data(index, 5);
    s.items.set_colour(index == -1 ? -2 : index, TreeColour::Foreground, 0x10);
    EXPECT_EQ(s.items.depth(index), 0);
    EXPECT_STREQ(s.items.text(index), "");
    EXPECT_FALSE(s.items.checked(index));
    EXPECT_EQ(s.items.data(index), 0);
    EXPECT_EQ(s.items.colour(index, TreeColour::Foreground), NoColour);
    EXPECT_EQ(s.items.icon(index), nullptr);
    EXPECT_TRUE(s.items.path(index).empty());
    EXPECT_EQ(s.items.next_sibling(index), -1);
  }
  const int beyond[] = {1};
  EXPECT_EQ(s.items.at_path(beyond, 1), -1);
  EXPECT_EQ(s.items.at_path(nullptr, 0), -1);
  EXPECT_EQ(s.items.child(0, 0), -1);
  EXPECT_FALSE(s.items.checked(0));
}

// The keeper holds one reference per distinct icon while any item shows it.
std::map<IconHandle, int>* references = nullptr;
void keep(IconHandle icon) { ++(*references)[icon]; }
void release(IconHandle icon) { --(*references)[icon]; }

TEST(TreeStoreTest, KeepsOneReferencePerIconWhileItemsShowIt) {
  std::map<IconHandle, int> counts;
  references = &counts;
  int folder = 0;
  int other = 0;
  {
    TreeStore items(IconKeeper{keep, release});
    items.add(-1, "a", &folder, 0);
    items.add(-1, "b", nullptr, 1);
    items.add(-1, "c", &folder, 1);
    items.add(-1, "d", &other, 0);
    EXPECT_EQ(counts[&folder], 1);
    EXPECT_EQ(counts[&other], 1);
    EXPECT_EQ(items.icon(2), &folder);
    items.remove(2);
    EXPECT_EQ(counts[&folder], 1);
    items.remove(0);  // takes b with it
    EXPECT_EQ(counts[&folder], 0);
    EXPECT_EQ(counts[&other], 1);
  }
  EXPECT_EQ(counts[&other], 0);
  references = nullptr;
}

struct FindCase {
  const char* name;
  int32_t after;
  const char* needle;
  int32_t found;
};

void PrintTo(const FindCase& c, std::ostream* out) { *out << c.name; }

class Find : public testing::TestWithParam<FindCase> {};

// Which rows hold the needle is text_contains's rule (item_text.h, tested
// there); here: the order in which find looks at the rows.
// Rows: 0 Top/ { 1 Middle/ { 2 Match one } } 3 Other/ { 4 match two } 5 Last
TEST_P(Find, FindsTheNextRowHoldingTheText) {
  Store s;
  s.items.add(-1, "Top", nullptr, 0);
  s.items.add(-1, "Middle", nullptr, 1);
  s.items.add(-1, "Match one", nullptr, 2);
  s.items.add(-1, "Other", nullptr, 0);
  s.items.add(-1, "match two", nullptr, 1);
  s.items.add(-1, "Last caf\xC3\xA9", nullptr, 0);
  EXPECT_EQ(s.items.find(GetParam().after, GetParam().needle), GetParam().found);
}

INSTANTIATE_TEST_SUITE_P(
    Store, Find,
    testing::Values(FindCase{"FromTheStartIntoClosedRows", -1, "match", 2},
                    FindCase{"AfterTheFirstMatch", 2, "match", 4},
                    FindCase{"WrapsRound", 4, "match", 2},
                    FindCase{"ItselfComesLast", 5, "Last", 5},
                    FindCase{"NoMatch", -1, "nowhere", -1},
                    FindCase{"EmptyNeedle", -1, "", -1},
                    FindCase{"AfterOutOfRangeStartsAtTheTop", 99, "match", 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TreeStoreTest, FindInAMillionRowsLooksAtEveryRow) {
  TreeStore items;
  for (int i = 0; i < 1'000'000; ++i) items.add(-1, "row", nullptr, i % 4);
  items.set_text(999'999, "the needle");
  EXPECT_EQ(items.find(-1, "needle"), 999'999);
  EXPECT_EQ(items.find(999'999, "needle"), 999'999);
}

// The view shows a cut text (item_text.h); the store keeps it whole.
TEST(TreeStoreTest, KeepsLongTextsWhole) {
  TreeStore items;
  const std::string huge(10'000'000, 'z');
  items.add(-1, huge.c_str(), nullptr, 0);
  EXPECT_EQ(std::string(items.text(0)).size(), huge.size());
}

}  // namespace
