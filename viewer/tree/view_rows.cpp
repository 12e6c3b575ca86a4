#include "tree/view_rows.h"

#include "tree/tree_model.h"

namespace tree {

int32_t tree_flags(GtkTreeView* view) {
  return GPOINTER_TO_INT(g_object_get_data(G_OBJECT(view), FlagsKey));
}

TreeStore* view_items(GtkTreeView* view) { return tree_items(gtk_tree_view_get_model(view)); }

Path cursor_path(GtkTreeView* view) {
  GtkTreePath* path = nullptr;
  gtk_tree_view_get_cursor(view, &path, nullptr);
  return Path(path);
}

int32_t cursor_item(GtkTreeView* view) {
  Path path = cursor_path(view);
  GtkTreeIter iter;
  if (!path || !gtk_tree_model_get_iter(gtk_tree_view_get_model(view), &iter, path.get())) return -1;
  return tree_model_index(gtk_tree_view_get_model(view), &iter);
}

void move_cursor(GtkTreeView* view, GtkTreePath* path) {
  gtk_tree_view_set_cursor(view, path, nullptr, FALSE);
}

bool is_first_row(GtkTreePath* path) {
  return gtk_tree_path_get_depth(path) == 1 && gtk_tree_path_get_indices(path)[0] == 0;
}

// Before the view has measured its rows, moving the cursor to the first row
// scrolls that row just out of sight.
void move_cursor_keeping_top(GtkTreeView* view, GtkTreePath* path) {
  move_cursor(view, path);
  if (is_first_row(path)) gtk_tree_view_scroll_to_cell(view, path, nullptr, TRUE, 0.0f, 0.0f);
}

bool row_shown(GtkTreeView* view, const TreeStore& items, int32_t index) {
  for (int32_t a = items.parent(index); a >= 0; a = items.parent(a)) {
    Path path(tree_model_path(gtk_tree_view_get_model(view), a));
    if (!gtk_tree_view_row_expanded(view, path.get())) return false;
  }
  return true;
}

void reveal_item(GtkTreeView* view, int32_t index) {
  Path path(tree_model_path(gtk_tree_view_get_model(view), index));
  if (!path) return;
  if (gtk_tree_path_get_depth(path.get()) > 1) {
    Path parent(gtk_tree_path_copy(path.get()));
    gtk_tree_path_up(parent.get());
    gtk_tree_view_expand_to_path(view, parent.get());
  }
  move_cursor(view, path.get());
  gtk_tree_view_scroll_to_cell(view, path.get(), nullptr, TRUE, 0.5f, 0.0f);
}

}  // namespace tree
