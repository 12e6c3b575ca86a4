// The tooltip of a row whose text the view does not show whole: cut by the
// edge of the visible tree, or so long that the view shows only its start.
// The tooltip shows the whole text, wrapped; a text longer than
// DisplayedTextLimit characters shows that many and ends in "…".
#pragma once

#include <gtk/gtk.h>

namespace tree {

void attach_row_tooltip(GtkTreeView* view);

}  // namespace tree
