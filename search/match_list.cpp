#include "match_list.h"

MatchList::~MatchList() {
  for (auto element = std::move(first); element;) element = std::move(element->next);
}

MatchList list_create() { return MatchList(); }

MatchElement* list_insert(MatchList& list) {
  auto element = std::make_unique<MatchElement>();
  MatchElement* inserted = element.get();
  list.count += 1;
  if (list.cursor && !list.no_cursor) {
    MatchElement* after = list.cursor;
    element->next = std::move(after->next);
    element->previous = after;
    after->next = std::move(element);
    list.cursor_position += 1;
  } else {
    element->next = std::move(list.first);
    list.first = std::move(element);
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
  while (steps-- > 0) from = from->next.get();
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
    reached = position < list.count / 2 ? step_forward(list.first.get(), position)
                                        : step_back(list.last, back_from_last);
  } else if (from < position) {
    const int32_t d = position - from;
    reached = d < list.count - position ? step_forward(list.cursor, d) : step_back(list.last, back_from_last);
  } else {
    const int32_t d = from - position;
    reached = position <= d ? step_forward(list.first.get(), position) : step_back(list.cursor, d);
  }
  list.cursor = reached;
  list.no_cursor = false;
  return reached;
}
