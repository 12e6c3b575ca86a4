// What assistive technology learns of the tree: the names of the tree and
// of its find entry, the states "busy" (the template is still being read)
// and "invalid entry" (the find text matches nothing), and the description
// of a folder row's icon. The busy state also shows as the busy cursor.
//
// The object data it keeps is listed with the others in gtk/object_data.h.
#pragma once

#include <gtk/gtk.h>

#include <string>

namespace tree {

// Prepares a tree view that has just been placed in its window: its
// accessible name becomes the window's title, the icon of a folder row is
// described as "folder" and a row without an icon reports no image, and the
// busy cursor comes back whenever the view's window is made again.
void attach_accessibility(GtkWidget* view);

// The tree view's accessible name (the window's title).
void name_tree(GtkWidget* view, const std::string& name);

// The find entry's accessible name, "Find".
void name_find_entry(GtkWidget* entry);

// While busy, the tree shows the busy cursor and its accessible state set
// holds "busy"; both end with set_tree_busy(view, false).
void set_tree_busy(GtkWidget* view, bool busy);

// The find entry's accessible state "invalid entry", set while its text
// matches no row.
void set_entry_invalid(GtkWidget* entry, bool invalid);

// Whether set_tree_busy holds the view busy.
bool tree_busy(GtkWidget* view);

}  // namespace tree
