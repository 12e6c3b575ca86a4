// What the tree does with the keyboard and the mouse, none of which posts an
// event of its own:
//
// - Enter, Space and a double click open a closed folder row and close an
//   open one; Right opens (or goes to the first child), Left closes (or
//   goes to the parent).
// - Ctrl+F, or typing, opens the find bar (find_bar.h); Ctrl+G and F3 go
//   to the next match, Shift+Ctrl+G and Shift+F3 to the previous one.
// - Ctrl+C copies the row's text, Ctrl+Shift+C its path: the texts from its
//   top-level row down to it, joined by "/".
// - Ctrl+W and Ctrl+Q ask for the window to close, as its close button
//   does.
// - A right click, Shift+F10 and the Menu key open the row's menu: Copy,
//   Copy Path, Expand All (everything below the row) and Collapse All.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <string>

#include "tree/tree_store.h"

namespace tree {

// Equips the view with the gestures above.
void attach_gestures(GtkTreeView* view);

// Ctrl+W or Ctrl+Q.
bool is_close_key(const GdkEventKey* event);
// Posts the close request of the widget's window, as its close button does.
void request_window_close(GtkWidget* widget);

// The texts from the item's top-level ancestor down to the item, joined by
// "/"; empty for an index out of range.
std::string item_path_text(const TreeStore& items, int32_t index);

}  // namespace tree
