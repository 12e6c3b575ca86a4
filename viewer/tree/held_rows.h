// The loading policy: rows appended in bulk are held back from the view
// (TreeStore::hold_reports) and shown together, which costs the view far
// less than one row at a time. A view the user has not touched yet is built
// afresh; otherwise held rows are announced one by one, within a deadline.
#pragma once

#include <gtk/gtk.h>

namespace tree {

// Shows the view held rows until `deadline` (g_get_monotonic_time, -1: no
// limit); true once none is held.
bool show_held_rows(GtkTreeView* view, gint64 deadline);
// For operations that may name any row.
void show_every_held_row(GtkTreeView* view);

}  // namespace tree
