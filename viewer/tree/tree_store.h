// The tree's item store, without any toolkit: nodes placed by level, texts
// in one arena, icons by reference, colours and data, and finding by text.
//
// Items are kept in display order (pre-order over all rows, expanded or not),
// so an item's index is its position in that order and every index lookup is
// a plain array access. Appending an item is amortised O(1); inserting in the
// middle and removing renumber the nodes behind the change, O(n).
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "large_memory.h"

namespace tree {

// An icon as the caller knows it (a toolkit image); the store only counts
// its uses. IconKeeper takes a reference for the store when an icon is first
// used and gives it back when the last item showing it goes.
using IconHandle = void*;
struct IconKeeper {
  void (*keep)(IconHandle) = nullptr;
  void (*release)(IconHandle) = nullptr;
};

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

// The view shows at most this many characters of an item's text, the first
// ones followed by "…": laying out a line of millions of characters takes
// the toolkit seconds on every repaint. The store keeps the whole text.
inline constexpr size_t DisplayedTextLimit = 4000;
// The text as a view shows it when it is longer than DisplayedTextLimit
// characters: its first ones and "…", in `shown`. False (and `shown`
// untouched) when the text is short enough as it is.
bool displayed_text(const char* text, std::string& shown);
// Whether `text` holds `needle`, letters A to Z matching either case.
bool text_contains(const char* text, std::string_view needle);

// The store's large arrays: a million-row tree fills tens of megabytes.
template <typename T>
struct StoreAllocator {
  using value_type = T;
  StoreAllocator() = default;
  template <typename U>
  StoreAllocator(const StoreAllocator<U>&) {}
  T* allocate(size_t count) {
    if (count > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
    return static_cast<T*>(runtime::allocate_large_block(count * sizeof(T)));
  }
  void deallocate(T* memory, size_t count) { runtime::free_large_block(memory, count * sizeof(T)); }
  template <typename U>
  bool operator==(const StoreAllocator<U>&) const {
    return true;
  }
};

// Item colours are 0xBBGGRR; NoColour leaves the theme's colour.
inline constexpr int32_t NoColour = -1;
enum class TreeColour { Foreground, Background };

class TreeStore {
 public:
  explicit TreeStore(IconKeeper icons = {}, TreeStoreObserver* observer = nullptr)
      : keeper_(icons), observer_(observer) {}
  ~TreeStore();
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
  int32_t depth(int32_t index) const;
  int32_t parent(int32_t index) const;  // -1 for a top-level item
  int32_t child_count(int32_t index) const;
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

  // Counts the renumberings of existing items (insertions before the end,
  // removals, clearing): item indexes taken before one are stale.
  uint32_t generation() const { return generation_; }

 private:
  static constexpr uint32_t None = UINT32_MAX;
  static constexpr uint32_t IconBits = 21;
  static constexpr uint64_t TextLimit = uint64_t{1} << 40;

  // 20 bytes: ten million of them take 200 MB. A node's position among its
  // siblings is not kept: children lists are in index order, so it is found
  // by a binary search.
  struct Node {
    uint32_t parent;    // node index, None at the top level
    uint32_t depth;     // 0 at the top level
    uint32_t children;  // list in lists_, None without children
    uint32_t text_low;  // offset of the zero-terminated text in text_,
    uint32_t text_high : 40 - 32;  // 40 bits in all
    uint32_t icon : IconBits;  // slot in icons_, 0 = none
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
  static_assert(sizeof(Node) == 20);
  // Colours and data, kept for every node only once any item has one.
  struct Extra {
    int32_t foreground = NoColour;
    int32_t background = NoColour;
    intptr_t data = 0;
  };
  struct Icon {
    IconHandle handle = nullptr;
    uint32_t uses = 0;
  };

  std::vector<uint32_t>& child_list(uint32_t parent);
  const std::vector<uint32_t>& child_list(uint32_t parent) const;
  bool level_shown(uint32_t parent) const;
  uint32_t subtree_end(uint32_t node) const;
  uint32_t ancestor_at(uint32_t node, uint32_t depth) const;
  uint64_t store_text(const char* text);
  void drop_text(uint64_t offset);
  void compact_text();
  uint32_t take_icon(IconHandle handle);
  void drop_icon(uint32_t slot);
  void free_list(uint32_t list);
  Extra& extra(uint32_t node);
  uint32_t sibling_position(uint32_t node) const;
  void shift_after_insert(uint32_t at);
  void shift_after_remove(uint32_t at, uint32_t removed);
  void renumbered();
  void changed(uint32_t node);

  IconKeeper keeper_;
  TreeStoreObserver* observer_;
  uint32_t generation_ = 0;
  template <typename T>
  using Array = std::vector<T, StoreAllocator<T>>;
  using Text = std::basic_string<char, std::char_traits<char>, StoreAllocator<char>>;

  Array<Node> nodes_;
  Array<Extra> extras_;  // empty, or one per node
  std::vector<uint32_t> roots_;
  Array<std::vector<uint32_t>> lists_;
  std::vector<uint32_t> free_lists_;
  Text text_;
  size_t text_garbage_ = 0;
  std::vector<Icon> icons_{1};  // slot 0 stands for no icon
  std::vector<uint32_t> free_icons_;
  std::unordered_map<IconHandle, uint32_t> icon_slots_;
};

}  // namespace tree
