// Small steps on the rows of a tree view that several parts of the tree
// take: its cursor, showing an item, and the creation flags it carries.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <memory>

#include "gtk/object_data.h"
#include "gtk/owned_types.h"
#include "tree/tree_store.h"

namespace tree {

using Path = gtk::OwnedTreePath;

// The creation flags stored on the view ("gw_flags").
inline constexpr const char* FlagsKey = gtk::TreeFlagsKey;
int32_t tree_flags(GtkTreeView* view);

// The view's item store; nullptr for a view of another model.
TreeStore* view_items(GtkTreeView* view);

Path cursor_path(GtkTreeView* view);
// The item under the cursor, -1 without one.
int32_t cursor_item(GtkTreeView* view);
void move_cursor(GtkTreeView* view, GtkTreePath* path);
bool is_first_row(GtkTreePath* path);
// Moves the cursor as move_cursor does, and keeps the first row at the top.
void move_cursor_keeping_top(GtkTreeView* view, GtkTreePath* path);
// Whether the view shows the item: every ancestor is expanded.
bool row_shown(GtkTreeView* view, const TreeStore& items, int32_t index);
// Shows the item: opens the folders above it, puts the cursor on it and
// scrolls it to the middle of the view.
void reveal_item(GtkTreeView* view, int32_t index);

}  // namespace tree
