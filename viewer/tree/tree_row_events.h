// What the rows of a tree post to the event queue: a selection change, and
// a click inside a row's check box, which flips it.
#pragma once

#include <gtk/gtk.h>

namespace tree {

// The handler of the selection's "changed" signal; `number` is the tree's
// widget number.
void on_selection_changed(GtkTreeSelection* selection, gpointer number) noexcept;

// The handler of the check-box renderer's "toggled" signal; `tree_view` is
// the view.
void on_check_toggled(GtkCellRendererToggle* cell, gchar* path_text, gpointer tree_view) noexcept;

}  // namespace tree
