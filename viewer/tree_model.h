// The tree widget's item store: a GtkTreeModel over a compact node array.
//
// Items are kept in display order (pre-order over all rows, expanded or not),
// so an item's index is its position in that order and every index lookup is
// a plain array access. Appending an item is amortised O(1); inserting in the
// middle and removing renumber the nodes behind the change, O(n).
//
// The model shows the tree's seven columns (TreeColumn). It tells attached
// views about every change that they can see: a view holds a reference
// (gtk_tree_model_ref_node) on each row it has built, so a level whose rows
// no view has ever built (the children of a row never expanded) changes
// silently, except that its parent's has-child state is always reported.
// Bulk appends under collapsed rows therefore cost the view nothing.
#pragma once

#include <gtk/gtk.h>

#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "gobject_ptr.h"
#include "large_memory.h"

enum TreeColumn : int {
  TreeColumnCheck = 0,         // gboolean: check mark
  TreeColumnInconsistent = 1,  // gboolean: third check state
  TreeColumnIcon = 2,          // GdkPixbuf: item icon, or none
  TreeColumnText = 3,          // UTF-8 string
  TreeColumnForeground = 4,    // GdkColor: text colour, or none
  TreeColumnBackground = 5,    // GdkColor: row background, or none
  TreeColumnData = 6,          // glong: the program's item data
  TreeColumnCount = 7,
};

// The store's large arrays: a million-row tree fills tens of megabytes.
template <typename T>
struct StoreAllocator {
  using value_type = T;
  StoreAllocator() = default;
  template <typename U>
  StoreAllocator(const StoreAllocator<U>&) {}
  T* allocate(size_t count) {
    if (count > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
    return static_cast<T*>(allocate_large_block(count * sizeof(T)));
  }
  void deallocate(T* memory, size_t count) { free_large_block(memory, count * sizeof(T)); }
  template <typename U>
  bool operator==(const StoreAllocator<U>&) const {
    return true;
  }
};

// The view shows at most this many characters of an item's text, the first
// ones followed by "…": laying out a line of millions of characters takes
// the toolkit seconds on every repaint. The store keeps the whole text.
inline constexpr size_t DisplayedTextLimit = 4000;
// The text as the view shows it: itself, or its first DisplayedTextLimit
// characters and "…". Null when the text is short enough as it is.
char* displayed_text(const char* text);
// Whether `text` holds `needle`, letters A to Z matching either case.
bool text_contains(const char* text, std::string_view needle);

// Item colours are 0xBBGGRR; NoColour leaves the theme's colour.
inline constexpr int32_t NoColour = -1;
enum class TreeColour { Foreground, Background };

class TreeItems {
 public:
  // `model` is the GtkTreeModel that carries this store; it emits the
  // model's signals.
  explicit TreeItems(GtkTreeModel* model) : model_(model) {}
  TreeItems(const TreeItems&) = delete;
  TreeItems& operator=(const TreeItems&) = delete;

  int32_t count() const { return static_cast<int32_t>(nodes_.size()); }
  bool valid(int32_t index) const { return index >= 0 && index < count(); }

  // Adds an item whose place follows from `level` and the item before
  // `position` (a negative position, or one past the count, appends).
  // Returns the new item's index: the position asked for, except where the
  // place chosen lies after the previous item's descendants. -1 when the
  // store cannot grow (the store is left unchanged then).
  int32_t add(int32_t position, const char* text, GdkPixbuf* icon, int32_t level);
  // Removes the item with its descendants; returns how many items went.
  int32_t remove(int32_t index);
  void clear();

  // Per-item values; an index out of range reads as no item (0, none,
  // NoColour, an empty text) and writes nothing.
  int32_t depth(int32_t index) const;
  int32_t parent(int32_t index) const;  // -1 for a top-level item
  int32_t child_count(int32_t index) const;
  const char* text(int32_t index) const;
  void set_text(int32_t index, const char* text);
  GdkPixbuf* icon(int32_t index) const;
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

  // The iter of an item (false for an index out of range) and back (-1 for
  // an iter that does not belong to the store's current state).
  bool iter(int32_t index, GtkTreeIter* iter) const;
  int32_t index(const GtkTreeIter* iter) const;
  // Newly allocated path of an item, or nullptr.
  GtkTreePath* path(int32_t index) const;

  // GtkTreeModel implementation.
  gboolean model_get_iter(GtkTreeIter* iter, GtkTreePath* path) const;
  void model_get_value(const GtkTreeIter* iter, int column, GValue* value) const;
  gboolean model_iter_next(GtkTreeIter* iter) const;
  gboolean model_iter_nth_child(GtkTreeIter* iter, const GtkTreeIter* parent, int n) const;
  gboolean model_iter_has_child(const GtkTreeIter* iter) const;
  int model_iter_n_children(const GtkTreeIter* iter) const;
  gboolean model_iter_parent(GtkTreeIter* iter, const GtkTreeIter* child) const;
  void model_ref_node(const GtkTreeIter* iter);

 private:
  static constexpr uint32_t None = UINT32_MAX;
  static constexpr uint32_t IconBits = 29;

  struct Node {
    uint32_t parent;    // node index, None at the top level
    uint32_t sibling;   // position among the parent's children
    uint32_t depth;     // 0 at the top level
    uint32_t children;  // list in lists_, None without children
    uint64_t text;      // offset of the zero-terminated text in text_
    uint32_t icon : IconBits;  // slot in icons_, 0 = none
    uint32_t checked : 1;
    uint32_t inconsistent : 1;
    // A view has built this node's children, so changes among them are
    // reported; never cleared, which errs on the side of reporting.
    uint32_t children_shown : 1;
  };
  // Colours and data, kept for every node only once any item has one.
  struct Extra {
    int32_t foreground = NoColour;
    int32_t background = NoColour;
    intptr_t data = 0;
  };
  struct Icon {
    GObjectPtr<GdkPixbuf> pixbuf;
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
  uint32_t take_icon(GdkPixbuf* pixbuf);
  void drop_icon(uint32_t slot);
  void free_list(uint32_t list);
  Extra& extra(uint32_t node);
  void renumber_siblings(std::vector<uint32_t>& list, size_t from);
  void shift_after_insert(uint32_t at);
  void shift_after_remove(uint32_t at, uint32_t removed);
  void renew_stamp();
  bool node_of(const GtkTreeIter* iter, uint32_t& node) const;
  void fill(GtkTreeIter* iter, uint32_t node) const;
  void row_changed(uint32_t node);
  // Emits one of the model's row signals that take a path and an iter.
  using RowSignal = void (*)(GtkTreeModel*, GtkTreePath*, GtkTreeIter*);
  void emit_row(uint32_t node, RowSignal signal);

  GtkTreeModel* model_;
  int stamp_ = 1;
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
  std::unordered_map<GdkPixbuf*, uint32_t> icon_slots_;
};

// A new, empty item store; the caller holds its only reference.
GObjectPtr<GtkTreeModel> create_tree_item_model();
// The store behind a model made by create_tree_item_model, else nullptr.
TreeItems* tree_items(GtkTreeModel* model);
