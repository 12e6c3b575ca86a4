#include "match_list.h"

#include <gtest/gtest.h>

namespace {

std::u16string path_of(int i) { return u"p" + std::u16string(1, static_cast<char16_t>(u'a' + i)); }

void fill(MatchList& list, int n) {
  for (int i = 0; i < n; ++i) list_insert(list)->path = path_of(i);
}

void expect_consistent(const MatchList& list) {
  int32_t seen = 0;
  const MatchElement* previous = nullptr;
  for (const MatchElement* e = list.first; e; e = e->next, ++seen) {
    EXPECT_EQ(e->previous, previous);
    previous = e;
  }
  EXPECT_EQ(seen, list.count);
  EXPECT_EQ(list.last, previous);
}

TEST(MatchList, FirstInsertIsFirstLastAndCursor) {
  MatchList list = list_create();
  EXPECT_EQ(list_move_to(list, 0), nullptr);
  MatchElement* e = list_insert(list);
  EXPECT_EQ(list.first, e);
  EXPECT_EQ(list.last, e);
  EXPECT_EQ(list.cursor, e);
  EXPECT_EQ(list.cursor_position, 0);
  EXPECT_TRUE(e->path.empty());
}

TEST(MatchList, InsertsKeepTheirOrderAndEveryMoveReachesItsElement) {
  MatchList list = list_create();
  fill(list, 10);
  expect_consistent(list);
  // Every pair of start and target positions: forward, backward, from no cursor.
  for (int from = -1; from < 10; ++from) {
    for (int to = 0; to < 10; ++to) {
      if (from >= 0) ASSERT_NE(list_move_to(list, from), nullptr);
      else list_move_to(list, -1);
      MatchElement* e = list_move_to(list, to);
      ASSERT_NE(e, nullptr);
      EXPECT_EQ(std::u16string_view(e->path), path_of(to)) << from << " -> " << to;
      EXPECT_EQ(list.cursor_position, to);
    }
  }
}

TEST(MatchList, OutOfRangeMovesLeaveNoCursor) {
  MatchList list = list_create();
  fill(list, 3);
  for (int32_t position : {-1, 3, 1000}) {
    EXPECT_EQ(list_move_to(list, position), nullptr);
    EXPECT_TRUE(list.no_cursor);
    EXPECT_EQ(list.cursor_position, position);
  }
  // An insert without a cursor goes in front.
  list_insert(list)->path = u"front";
  EXPECT_EQ(std::u16string_view(list.first->path), u"front");
  EXPECT_EQ(std::u16string_view(list_move_to(list, 1)->path), path_of(0));
  expect_consistent(list);
}

TEST(MatchList, InsertAfterAMovedCursorGoesInTheMiddle) {
  MatchList list = list_create();
  fill(list, 4);
  list_move_to(list, 1);
  list_insert(list)->path = u"mid";
  EXPECT_EQ(list.cursor_position, 2);
  const std::u16string expected[] = {path_of(0), path_of(1), u"mid", path_of(2), path_of(3)};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(std::u16string_view(list_move_to(list, i)->path), expected[i]);
  expect_consistent(list);
}

TEST(MatchList, ALongListIsFreedWithoutDeepRecursion) {
  MatchList list = list_create();
  fill(list, 1);
  for (int i = 0; i < 1'000'000; ++i) list_insert(list);
  EXPECT_EQ(list.count, 1'000'001);
}

}  // namespace
