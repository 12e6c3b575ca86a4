// The store's icon table: one reference per distinct icon while any use is
// left, slots counted and reused, every reference given back at the end.
#include "tree/icon_table.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

using namespace tree;

namespace {

// What the keeper was asked, per icon: references held, and keeps and
// releases in all (a release more than the keeps is a fault of its own).
struct Counts {
  int held = 0;
  int keeps = 0;
  int releases = 0;
};
std::map<IconHandle, Counts>* counts = nullptr;

void keep(IconHandle icon) {
  Counts& c = (*counts)[icon];
  ++c.held;
  ++c.keeps;
}
void release(IconHandle icon) {
  Counts& c = (*counts)[icon];
  if (--c.held < 0) ADD_FAILURE() << "released an icon it did not keep";
  ++c.releases;
}

class IconTableTest : public testing::Test {
 protected:
  IconTableTest() { counts = &seen; }
  ~IconTableTest() override { counts = nullptr; }
  std::map<IconHandle, Counts> seen;
  int a = 0, b = 0, c = 0;  // three icons, by address
};

TEST_F(IconTableTest, KeepsOneReferencePerIconWhileItIsUsed) {
  IconTable icons({keep, release});
  const uint32_t first = icons.take(&a);
  EXPECT_EQ(icons.take(&a), first) << "the same icon shares its slot";
  const uint32_t other = icons.take(&b);
  EXPECT_NE(other, first);
  EXPECT_NE(first, 0u);
  EXPECT_NE(other, 0u);
  EXPECT_EQ(icons.handle(first), &a);
  EXPECT_EQ(icons.handle(other), &b);
  EXPECT_EQ(icons.uses(first), 2u);
  EXPECT_EQ(seen[&a].keeps, 1);
  EXPECT_EQ(seen[&b].keeps, 1);

  icons.drop(first);
  EXPECT_EQ(seen[&a].held, 1) << "one use is left";
  icons.drop(first);
  EXPECT_EQ(seen[&a].held, 0);
  EXPECT_EQ(seen[&a].releases, 1);
  EXPECT_EQ(icons.handle(first), nullptr);
  EXPECT_EQ(icons.uses(first), 0u);
  EXPECT_EQ(seen[&b].held, 1);
}

TEST_F(IconTableTest, NoIconIsSlotZeroAndTakesNoReference) {
  IconTable icons({keep, release});
  EXPECT_EQ(icons.take(nullptr), 0u);
  icons.drop(0);
  EXPECT_EQ(icons.handle(0), nullptr);
  EXPECT_TRUE(seen.empty());
}

TEST_F(IconTableTest, AFreedSlotGoesToTheNextNewIcon) {
  IconTable icons({keep, release});
  const uint32_t slot_a = icons.take(&a);
  const uint32_t slot_b = icons.take(&b);
  icons.drop(slot_a);
  EXPECT_EQ(icons.take(&c), slot_a);
  EXPECT_EQ(icons.handle(slot_a), &c);
  EXPECT_EQ(icons.handle(slot_b), &b);
  // The icon that had the slot before is a new icon again.
  const uint32_t again = icons.take(&a);
  EXPECT_NE(again, slot_a);
  EXPECT_NE(again, slot_b);
  EXPECT_EQ(seen[&a].keeps, 2);
}

TEST_F(IconTableTest, GivesBackEveryReferenceItStillHoldsWhenItGoes) {
  {
    IconTable icons({keep, release});
    icons.take(&a);
    icons.take(&a);
    icons.take(&b);
    icons.drop(icons.take(&c));
    EXPECT_EQ(seen[&c].releases, 1);
  }
  for (int* icon : {&a, &b, &c}) {
    EXPECT_EQ(seen[icon].held, 0);
    EXPECT_EQ(seen[icon].releases, 1) << "one reference, given back once";
  }
}

TEST(IconTable, CountsUsesWithoutAKeeper) {
  int a = 0;
  IconTable icons;
  const uint32_t slot = icons.take(&a);
  icons.take(&a);
  icons.drop(slot);
  EXPECT_EQ(icons.uses(slot), 1u);
  EXPECT_EQ(icons.handle(slot), &a);
}

// Two million references cost too much to count per icon: only in all.
int all_keeps = 0;
int all_releases = 0;
void count_keep(IconHandle) { ++all_keeps; }
void count_release(IconHandle) { ++all_releases; }

// A node keeps SlotBits of slot: once every slot is taken, a new icon gets
// none (and no reference), while the icons in the table keep theirs.
TEST(IconTable, ANewIconBeyondTheLastSlotShowsAsNone) {
  all_keeps = all_releases = 0;
  std::vector<char> handles(IconTable::SlotLimit + 1);
  {
    IconTable icons({count_keep, count_release});
    for (size_t i = 1; i < IconTable::SlotLimit; ++i) ASSERT_EQ(icons.take(&handles[i]), i);
    const int keeps = all_keeps;
    EXPECT_EQ(icons.take(&handles[0]), 0u);
    EXPECT_EQ(all_keeps, keeps) << "no reference for an icon that is not shown";
    EXPECT_EQ(icons.take(&handles[7]), 7u);
    icons.drop(7);
    icons.drop(7);
    EXPECT_EQ(all_releases, 1);
    EXPECT_EQ(icons.take(&handles[0]), 7u) << "a freed slot is used again";
    EXPECT_EQ(icons.take(&handles[IconTable::SlotLimit]), 0u);
  }
  EXPECT_EQ(all_keeps, static_cast<int>(IconTable::SlotLimit));
  EXPECT_EQ(all_releases, all_keeps);
}

}  // namespace
