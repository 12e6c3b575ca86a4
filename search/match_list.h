// The paths of one search's matches, in the order they were found: a doubly
// linked list with a cursor. New elements go after the cursor and become the
// cursor; moves walk from the nearest known element.
//
// Elements and their paths live in the list's own arena: a search may find
// millions of matches, and they are all released together with the list.
#pragma once

#include <cstdint>
#include <memory_resource>
#include <memory>
#include <string>

#include "large_memory.h"

struct MatchElement {
  explicit MatchElement(std::pmr::memory_resource* arena) : path(arena) {}
  MatchElement* next = nullptr;
  MatchElement* previous = nullptr;
  std::pmr::u16string path;
};

struct MatchList {
  MatchElement* first = nullptr;
  MatchElement* last = nullptr;
  MatchElement* cursor = nullptr;
  int32_t count = 0;
  int32_t cursor_position = 0;  // holds an invalid position after a failed move
  bool no_cursor = true;

  MatchList() = default;
  // Elements point into the list's own arena: a list stays where it is made.
  MatchList(const MatchList&) = delete;
  MatchList& operator=(const MatchList&) = delete;
  ~MatchList();

  std::pmr::memory_resource* arena() { return &arena_; }

 private:
  LargeBlockResource blocks_;
  std::pmr::monotonic_buffer_resource arena_{size_t{2} << 20, &blocks_};
};

// An empty list, made in place: `MatchList list = list_create();`.
MatchList list_create();
// Adds an element with an empty path after the cursor (in front when there is
// no cursor) and returns it; it becomes the cursor.
MatchElement* list_insert(MatchList& list);
// Makes the element at the 0-based position the cursor and returns it;
// nullptr (and no cursor) when the position is outside the list.
MatchElement* list_move_to(MatchList& list, int32_t position);
