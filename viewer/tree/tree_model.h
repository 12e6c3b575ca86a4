// The tree's item store as a GtkTreeModel: a thin adapter that shows a
// TreeStore (tree_store.h) in the tree's seven columns (TreeColumn) and turns
// the store's change notes into the model's row signals.
//
// A view holds a reference (gtk_tree_model_ref_node) on each row it has
// built; the adapter tells the store so, and the store reports changes only
// among rows a view has built (the children of a row never expanded change
// silently, except for their parent's has-child state). Bulk appends under
// collapsed rows therefore cost the view nothing. Items the store holds back
// (TreeStore::hold_reports) are not rows of the model until reported.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>

#include "gtk/gobject_ptr.h"
#include "tree/tree_store.h"

namespace tree {

struct TreeColumn {
  enum : int {
    Check = 0,         // gboolean: check mark
    Inconsistent = 1,  // gboolean: third check state
    Icon = 2,          // GdkPixbuf: item icon, or none
    Text = 3,          // UTF-8 string, at most DisplayedTextLimit characters
    Foreground = 4,    // GdkColor: text colour, or none
    Background = 5,    // GdkColor: row background, or none
    Data = 6,          // glong: the program's item data
    Count = 7,
  };
};

// A new, empty item store; the caller holds its only reference. Icons are
// GdkPixbufs, of which the store keeps one reference each.
gtk::GObjectPtr<GtkTreeModel> create_tree_item_model();
// The store behind a model made by create_tree_item_model, else nullptr.
TreeStore* tree_items(GtkTreeModel* model);

// The iter of an item (false for an index out of range) and back (-1 for an
// iter that does not belong to the store's current state), for a model made
// by create_tree_item_model.
bool tree_model_iter(GtkTreeModel* model, int32_t index, GtkTreeIter* iter);
int32_t tree_model_index(GtkTreeModel* model, const GtkTreeIter* iter);
// Newly allocated path of an item, or nullptr.
GtkTreePath* tree_model_path(GtkTreeModel* model, int32_t index);

}  // namespace tree
