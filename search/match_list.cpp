#include "match_list.h"

MatchList::~MatchList() {
  // The arena frees the memory; the elements are ended one by one, without
  // recursion however long the list.
  for (MatchElement* element = first; element;) {
    MatchElement* next = element->next;
    std::destroy_at(element);
    element = next;
  }
}

MatchList list_create() { return {}; }

MatchElement* list_insert(MatchList& list) {
  std::pmr::polymorphic_allocator<MatchElement> allocator(list.arena());
  MatchElement* inserted = allocator.new_object<MatchElement>(list.arena());
  list.count += 1;
  if (list.cursor && !list.no_cursor) {
    MatchElement* after = list.cursor;
    inserted->next = after->next;
    inserted->previous = after;
    after->next = inserted;
    list.cursor_position += 1;
  } else {
    inserted->next = list.first;
    list.first = inserted;
    list.cursor_position = 0;
    list.no_cursor = false;
  }
  if (inserted->next) inserted->next->previous = inserted;
  else list.last = inserted;
  list.cursor = inserted;
  return inserted;
}

namespace {

MatchElement* step_forward(MatchElement* from, int32_t steps) {
  while (steps-- > 0) from = from->next;
  return from;
}

MatchElement* step_back(MatchElement* from, int32_t steps) {
  while (steps-- > 0) from = from->previous;
  return from;
}

}  // namespace

MatchElement* list_move_to(MatchList& list, int32_t position) {
  const bool had_cursor = !list.no_cursor && list.cursor;
  const int32_t from = list.cursor_position;
  list.cursor_position = position;
  if (position < 0 || position >= list.count) {
    list.cursor = nullptr;
    list.no_cursor = true;
    return nullptr;
  }
  const int32_t back_from_last = list.count - 1 - position;
  MatchElement* reached;
  if (!had_cursor) {
    reached = position < list.count / 2 ? step_forward(list.first, position)
                                        : step_back(list.last, back_from_last);
  } else if (from < position) {
    const int32_t d = position - from;
    reached = d < list.count - position ? step_forward(list.cursor, d) : step_back(list.last, back_from_last);
  } else {
    const int32_t d = from - position;
    reached = position <= d ? step_forward(list.first, position) : step_back(list.cursor, d);
  }
  list.cursor = reached;
  list.no_cursor = false;
  return reached;
}
