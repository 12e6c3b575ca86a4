// The tree's item store, without any toolkit: nodes placed by level, texts
// in one arena (text_arena.h), icons by reference (icon_table.h), colours
// and data, and finding by text (item_text.h).
//
// Items are kept in display order (pre-order over all rows, expanded or not),
// so an item's index is its position in that order and every index lookup is
// a plain array access. Each node knows only its parent and its next
// sibling: an item's first child is the item after it, when that one is its
// child, and ten million nodes take 160 MB. Appending an item is amortised
// O(1); inserting in the middle and removing renumber the nodes behind the
// change, O(n). Finding the n-th child of an item, or an item's place among
// its siblings, walks the siblings, from the place last asked about under
// the same parent when that one comes earlier, so a view that asks about
// neighbouring rows does not walk a large folder again and again. The top
// level keeps a list of its own, so its rows are reached at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <array>
#include <string_view>
#include <vector>

#include "tree/icon_table.h"
#include "tree/store_allocator.h"
#include "tree/text_arena.h"

namespace tree {

// Told about every change among rows it has seen (see
// TreeStore::see_children_of_parent).
class TreeStoreObserver {
 public:
  virtual void inserted(int32_t index) = 0;
  // The rows at `path` (as it was) and below it are gone.
  virtual void deleted(const std::vector<int>& path) = 0;
  virtual void changed(int32_t index) = 0;
  // The item gained its first child or lost its last.
  virtual void has_child_toggled(int32_t index) = 0;

 protected:
  ~TreeStoreObserver() = default;
};

// Item colours are 0xBBGGRR; NoColour leaves the theme's colour.
inline constexpr int32_t NoColour = -1;
enum class TreeColour { Foreground, Background };

class TreeStore {
 public:
  explicit TreeStore(IconKeeper icons = {}, TreeStoreObserver* observer = nullptr)
      : observer_(observer), icons_(icons) {}
  TreeStore(const TreeStore&) = delete;
  TreeStore& operator=(const TreeStore&) = delete;

  int32_t count() const { return static_cast<int32_t>(nodes_.size()); }
  bool valid(int32_t index) const { return index >= 0 && index < count(); }

  // Adds an item whose place follows from `level` and the item before
  // `position` (a negative position, or one past the count, appends).
  // Returns the new item's index: the position asked for, except where the
  // place chosen lies after the previous item's descendants. -1 when the
  // store cannot grow (the store is left unchanged then).
  int32_t add(int32_t position, const char* text, IconHandle icon, int32_t level);
  // Makes room for about this many more items and bytes of text, so that a
  // large tree is filled without copying what it holds so far. Room that is
  // never used costs address space only. Does nothing when the room cannot
  // be had.
  void reserve(size_t items, size_t text_bytes);
  // Removes the item with its descendants; returns how many items went.
  int32_t remove(int32_t index);
  void clear();

  // Per-item values; an index out of range reads as no item (0, none,
  // NoColour, an empty text) and writes nothing.
  int32_t depth(int32_t index) const;  // walks up to the top level
  int32_t parent(int32_t index) const;  // -1 for a top-level item
  int32_t child_count(int32_t index) const;  // walks the children
  bool has_children(int32_t index) const;
  int32_t top_level_count() const { return static_cast<int32_t>(roots_.size()); }
  const char* text(int32_t index) const;
  void set_text(int32_t index, const char* text);
  IconHandle icon(int32_t index) const;
  bool checked(int32_t index) const;
  bool inconsistent(int32_t index) const;
  void set_check(int32_t index, bool checked, bool inconsistent);
  int32_t colour(int32_t index, TreeColour which) const;
  // Index -1 sets the colour of every item.
  void set_colour(int32_t index, TreeColour which, int32_t colour);
  intptr_t data(int32_t index) const;
  void set_data(int32_t index, intptr_t value);

  // The first item after `after` in display order, every row counted and
  // wrapping round to the first, whose text holds `needle` (text_contains);
  // `after` itself comes last. -1 when none does or the needle is empty.
  int32_t find(int32_t after, std::string_view needle) const;

  // Addressing as a view does it: the positions among siblings from the top
  // level down (empty for an index out of range), and back (-1 when no item
  // is there).
  std::vector<int> path(int32_t index) const;
  int32_t at_path(const int* positions, int depth) const;
  // The n-th child of an item (-1: of the top level); -1 when there is none.
  int32_t child(int32_t parent, int n) const;
  // The sibling after an item; -1 when it is the last.
  int32_t next_sibling(int32_t index) const;
  // Changes among the children of an item that no observer has seen are not
  // reported, except for the item's own has-children state; seeing them
  // (a view building the rows) makes them reported from then on. The top
  // level is always seen.
  void see_children_of_parent(int32_t index);

  // Holding reports back, for filling a large tree: from hold_reports on,
  // items appended are not reported (nor any change to them) until
  // report_held reports them, in order, as adding them would have. Items
  // before reported_count() are the ones observers know; the held ones
  // always come after them. An item inserted among the known ones is
  // reported at once.
  void hold_reports();
  int32_t reported_count() const {
    return holding_ ? static_cast<int32_t>(reported_end_) : count();
  }
  int32_t held_count() const { return count() - reported_count(); }
  // Reports up to `items` held items; returns how many are still held.
  int32_t report_held(int32_t items);
  // Counts every held item as reported without a report: for observers that
  // take in the whole store afresh.
  void take_held_as_reported() { reported_end_ = static_cast<uint32_t>(nodes_.size()); }
  // Reports every held item and stops holding.
  void release_reports();

  // Counts the renumberings of existing items (insertions before the end,
  // removals, clearing): item indexes taken before one are stale.
  uint32_t generation() const { return generation_; }
  // Counts the replacements of an existing item's text (set_text).
  uint32_t text_changes() const { return text_changes_; }

 private:
  static constexpr uint32_t None = UINT32_MAX;

  // 16 bytes: ten million of them take 160 MB. An item's depth is not
  // kept: it is counted on the way up to the top level, except for the last
  // item's, which appending needs and last_depth_ holds.
  struct Node {
    uint32_t parent;    // node index, None at the top level
    uint32_t next;      // the next sibling, None for the last child
    uint32_t text_low;  // offset of the text in text_,
    uint32_t text_high : TextArena::OffsetBits - 32;  // 40 bits in all
    uint32_t icon : IconTable::SlotBits;  // slot in icons_, 0 = none
    uint32_t checked : 1;
    uint32_t inconsistent : 1;
    // An observer has seen this node's children, so changes among them are
    // reported; never cleared, which errs on the side of reporting.
    uint32_t children_shown : 1;

    uint64_t text() const { return uint64_t{text_high} << 32 | text_low; }
    void set_text(uint64_t offset) {
      text_low = static_cast<uint32_t>(offset);
      text_high = static_cast<uint32_t>(offset >> 32);
    }
  };
  static_assert(sizeof(Node) == 16);
  // A child whose place among the children of `parent` is known, the
  // starting point for the next walk over those children. A few of them,
  // one per parent slot, so that each level of a path keeps its own.
  struct SiblingMark {
    uint32_t parent = None;
    uint32_t node = None;
    uint32_t position = 0;
  };
  static constexpr size_t SiblingMarks = 16;
  // Colours and data, kept for every node only once any item has one.
  struct Extra {
    int32_t foreground = NoColour;
    int32_t background = NoColour;
    intptr_t data = 0;
  };

  bool level_shown(uint32_t parent) const;
  uint32_t first_child(uint32_t parent) const;
  uint32_t depth_of(uint32_t node) const;
  uint32_t count_depth(uint32_t node) const;
  uint32_t ancestor_at(uint32_t node, uint32_t node_depth, uint32_t depth) const;
  uint32_t subtree_end(uint32_t node) const;
  uint32_t sibling_position(uint32_t node) const;
  uint32_t nth_child(uint32_t parent, uint32_t n) const;
  uint32_t previous_sibling(uint32_t node) const;
  SiblingMark& mark_for(uint32_t parent) const;
  template <typename Usable>
  SiblingMark walk_start(uint32_t parent, Usable usable) const;
  void compact_text();
  Extra& extra(uint32_t node);
  void shift_indexes(uint32_t first, uint32_t from, int64_t delta);
  void renumbered();
  void changed(uint32_t node);
  void report_added(uint32_t node, bool gave_children);

  TreeStoreObserver* observer_;
  uint32_t generation_ = 0;
  uint32_t text_changes_ = 0;
  template <typename T>
  using Array = std::vector<T, StoreAllocator<T>>;

  Array<Node> nodes_;
  Array<Extra> extras_;  // empty, or one per node
  std::vector<uint32_t> roots_;  // the top-level nodes, in index order
  uint32_t last_depth_ = 0;      // the depth of the last node
  bool holding_ = false;         // see hold_reports
  uint32_t reported_end_ = 0;    // while holding: the first held node
  // Forgotten whenever the nodes are renumbered; the store is used from one
  // thread at a time, const calls included.
  mutable std::array<SiblingMark, SiblingMarks> marks_{};
  TextArena text_;
  IconTable icons_;
};

}  // namespace tree
