#include "runtime/object_registry.h"

#include <gtest/gtest.h>

#include <vector>

using namespace runtime;

namespace {

struct Thing {
  int handle = 0;
  bool live() const { return handle != 0; }
};

struct RegistryTest : testing::Test {
  std::vector<int> released;
  ObjectRegistry<Thing> registry{16, [this](int number) {
                                   released.push_back(number);
                                   // Like every kind's close path: only live
                                   // entries are closed, and closing ends in release.
                                   if (registry.find(number)) registry.release(number);
                                 }};
};

// Fills a new entry, making it live; returns its number.
int made_live(ObjectRegistry<Thing>::Found found) {
  found.entry->handle = 1;
  return found.number;
}

TEST_F(RegistryTest, AllocatedEntryIsNotLiveUntilFilled) {
  const auto [number, three] = registry.allocate(3);
  ASSERT_NE(three, nullptr);
  EXPECT_EQ(number, 3);
  EXPECT_EQ(registry.capacity(), 16);
  EXPECT_EQ(registry.find(3), nullptr);
  EXPECT_EQ(registry.find(4), nullptr);
  three->handle = 7;
  EXPECT_EQ(registry.find(3), three);
  EXPECT_TRUE(released.empty());
}

TEST_F(RegistryTest, LargeNumberGrowsByTheGrowthStep) {
  ASSERT_NE(registry.allocate(20).entry, nullptr);
  EXPECT_EQ(registry.capacity(), 36);
  EXPECT_EQ(registry.find(35), nullptr);
}

TEST_F(RegistryTest, ReuseOfLiveNumberReleasesItFirstAndKeepsTheBlock) {
  Thing* zero = registry.allocate(0).entry;
  zero->handle = 1;
  Thing* again = registry.allocate(0).entry;
  EXPECT_EQ(again, zero);
  EXPECT_EQ(released, std::vector<int>{0});
  EXPECT_EQ(again->handle, 0);  // cleared by the close path
}

TEST_F(RegistryTest, ReleasedNumberFindsNothingAndIsReusedWithTheSameBlock) {
  Thing* zero = registry.allocate(0).entry;
  zero->handle = 1;
  registry.release(0);
  EXPECT_EQ(registry.find(0), nullptr);
  EXPECT_EQ(registry.allocate(0).entry, zero);
  EXPECT_EQ(released, std::vector<int>{0});  // called, found nothing live
}

TEST_F(RegistryTest, ReleaseAllVisitsNumbersAscendingThenAutomaticOldestFirst) {
  registry.allocate(2).entry->handle = 1;
  registry.allocate(0).entry->handle = 1;
  const int older = made_live(registry.allocate(-1));
  const int newer = made_live(registry.allocate(-1));
  registry.allocate(5);  // never filled: not live, not visited
  EXPECT_LT(older, -1);
  EXPECT_NE(older, newer);
  registry.release_all();
  EXPECT_EQ(released, (std::vector<int>{0, 2, older, newer}));
  EXPECT_EQ(registry.find(older), nullptr);
  EXPECT_EQ(registry.find(2), nullptr);
}

TEST_F(RegistryTest, IterationSurvivesReleasingOtherAutomaticEntries) {
  const int a = made_live(registry.allocate(-1));
  const int b = made_live(registry.allocate(-1));
  const int c = made_live(registry.allocate(-1));
  registry.rewind();
  auto first = registry.next();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->number, a);
  registry.release(a);
  registry.release(b);
  auto second = registry.next();
  ASSERT_TRUE(second);
  EXPECT_EQ(second->number, c);
  EXPECT_FALSE(registry.next());
}

TEST(RegistryWithoutCallback, ReleaseAllDoesNothing) {
  ObjectRegistry<Thing> registry(16);
  registry.allocate(1).entry->handle = 9;
  registry.release_all();
  ASSERT_NE(registry.find(1), nullptr);
}

TEST(RegistryUnknownNumbers, FindAndReleaseOfUnknownAutomaticNumbersAreHarmless) {
  ObjectRegistry<Thing> registry(16);
  EXPECT_EQ(registry.find(-7), nullptr);
  EXPECT_EQ(registry.find(1 << 30), nullptr);
  registry.release(-7);
  registry.release(1 << 30);
  EXPECT_EQ(registry.allocate(-5).entry, nullptr);
}

}  // namespace
