// The tree widget: a single-selection tree view in a scrolled window, over
// the item store of tree_model.h. Items are added with a level and take their
// place after the item before them; an item's index is its position in
// display order, every row counted whether expanded or not.
//
// The view answers the keys, the mouse and the row menu of every desktop
// tree (tree_gestures.h), finds rows anywhere in the tree with its find bar
// (find_bar.h), shows a cut row's whole text in a tooltip (row_tooltip.h),
// and scrolls sideways as far as its widest row (column_width.h). Rows
// appended in bulk are held back and shown together (held_rows.h).
//
// Object data on the tree view: "gw_flags", the creation flags (integer).
#pragma once

#include <gtk/gtk.h>

#include <cstddef>
#include <cstdint>

namespace tree {

// Creation flags, combined as a plain bit set; other bits are ignored.
struct TreeFlags {
  enum : int32_t {
    NoLines = 1,     // no tree lines
    CheckBoxes = 4,  // a check box in front of every item
    ThreeState = 8,  // check boxes with a third, inconsistent state
  };
};

// Item state bits of get_item_state and set_item_state, a plain bit set.
struct TreeItemState {
  enum : int32_t {
    Selected = 1,
    Expanded = 2,
    Checked = 4,
    Collapsed = 8,
    Inconsistent = 16,
  };
};

// The tree's kind code in the widget layer.
inline constexpr int32_t TreeKindCode = 27;

// Creates a tree widget in the current widget list at (x, y), width × height
// pixels outside (the size goes to the toolkit as given; values below -1
// request nothing). Returns the tree view (GtkWidget*) for a chosen number,
// the automatic number for -1, and 0 when nothing could be created or placed.
intptr_t create_tree_widget(int32_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                            int32_t flags = 0);

// Puts the keyboard focus on tree `number` and, when no row holds the cursor
// yet, the cursor on its first row, so that the first key press acts. True
// once a row holds the cursor, or while the tree's find bar is open, which
// keeps the keyboard and the cursor until the user leaves it.
bool focus_first_row(int32_t number);

// Filling tree `number` in bulk: from hold_tree_appends on, items appended
// are held back from the view and shown by show_held_tree_rows, together,
// which costs the view far less than one row at a time; operations that
// may name any row show every held row first. show_held_tree_rows builds
// the view's rows afresh when that is cheaper and the user has not touched
// the view yet, else it announces held rows one by one until `deadline`
// (g_get_monotonic_time, -1: no limit); true once none is held.
// release_tree_appends shows every held row and ends the holding. The tree
// is busy (tree_accessibility.h) from hold_tree_appends until then.
void hold_tree_appends(int32_t number);
bool show_held_tree_rows(int32_t number, gint64 deadline);
void release_tree_appends(int32_t number);

// Makes room in tree `number` for about this many more items and bytes of
// text (see TreeStore::reserve).
void reserve_tree_items(int32_t number, size_t items, size_t text_bytes);

}  // namespace tree
