// The paths of one search's matches, in the order they were found: a doubly
// linked list with a cursor. New elements go after the cursor and become the
// cursor; moves walk from the nearest known element.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct MatchElement {
  std::unique_ptr<MatchElement> next;  // owns the rest of the list
  MatchElement* previous = nullptr;
  std::u16string path;
};

struct MatchList {
  std::unique_ptr<MatchElement> first;
  MatchElement* last = nullptr;
  MatchElement* cursor = nullptr;
  int32_t count = 0;
  int32_t cursor_position = 0;  // holds an invalid position after a failed move
  bool no_cursor = true;

  MatchList() = default;
  MatchList(const MatchList&) = delete;
  MatchList& operator=(const MatchList&) = delete;
  MatchList(MatchList&&) = default;
  MatchList& operator=(MatchList&&) = default;
  // Unlinks iteratively: a long list must not recurse once per element.
  ~MatchList();
};

MatchList list_create();
// Adds an element with an empty path after the cursor (in front when there is
// no cursor) and returns it; it becomes the cursor.
MatchElement* list_insert(MatchList& list);
// Makes the element at the 0-based position the cursor and returns it;
// nullptr (and no cursor) when the position is outside the list.
MatchElement* list_move_to(MatchList& list, int32_t position);
