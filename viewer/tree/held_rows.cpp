#include "tree/held_rows.h"

#include <climits>
#include <cstdint>

#include "gtk/gobject_ptr.h"
#include "tree/find_bar.h"
#include "tree/tree_row_events.h"
#include "tree/tree_model.h"
#include "tree/view_rows.h"

namespace tree {

namespace {

// Below this many held rows, announcing them costs a few milliseconds; the
// view is built afresh only for more. Above this many rows in all, building
// the view afresh takes too long to do between two rounds of events.
constexpr int32_t RebuildMinimum = 10000;
constexpr int32_t RebuildMaximum = 2000000;

bool at_lower_end(GtkAdjustment* scroll) {
  return !scroll || gtk_adjustment_get_value(scroll) == gtk_adjustment_get_lower(scroll);
}

bool at_upper_end(GtkAdjustment* scroll) {
  return !scroll || gtk_adjustment_get_value(scroll) >=
                        gtk_adjustment_get_upper(scroll) - gtk_adjustment_get_page_size(scroll);
}

// A view as it started, or as End leaves it: nothing opened, scrolled or
// looked for, the cursor on the first row or nowhere, or on the last row
// with the view scrolled to its end; and the model shown by this view
// alone. Building such a view afresh loses nothing the user did: the cursor
// comes back, and with it the view's place.
bool view_untouched(GtkTreeView* view) {
  bool opened = false;
  gtk_tree_view_map_expanded_rows(
      view, [](GtkTreeView*, GtkTreePath*, gpointer flag) { *static_cast<bool*>(flag) = true; },
      &opened);
  if (opened) return false;
  if (!at_lower_end(gtk_tree_view_get_hadjustment(view))) return false;
  GtkAdjustment* down = gtk_tree_view_get_vadjustment(view);
  const Path cursor = cursor_path(view);
  // With nothing opened, the last row is the last top-level one.
  const gint rows = gtk_tree_model_iter_n_children(gtk_tree_view_get_model(view), nullptr);
  const bool on_last = cursor && gtk_tree_path_get_depth(cursor.get()) == 1 &&
                       gtk_tree_path_get_indices(cursor.get())[0] == rows - 1;
  if (on_last && rows > 1) {
    if (!at_upper_end(down)) return false;
  } else {
    if (cursor && !is_first_row(cursor.get())) return false;
    if (!at_lower_end(down)) return false;
  }
  if (FindBar* bar = FindBar::of(view); bar && bar->shown()) return false;
  // Another view of the same model (or anything else that follows its rows)
  // would miss the rows shown unannounced: with this view's own handlers
  // held off, nothing may be left to hear of a new row.
  GtkTreeModel* model = gtk_tree_view_get_model(view);
  const guint inserted = g_signal_lookup("row-inserted", GTK_TYPE_TREE_MODEL);
  const auto match = GSignalMatchType(G_SIGNAL_MATCH_ID | G_SIGNAL_MATCH_DATA);
  g_signal_handlers_block_matched(model, match, inserted, 0, nullptr, nullptr, view);
  const bool others = g_signal_has_handler_pending(model, inserted, 0, FALSE);
  g_signal_handlers_unblock_matched(model, match, inserted, 0, nullptr, nullptr, view);
  return !others;
}

// Detaches the model, shows it every held row and attaches it again: the
// view builds its rows in one pass. The cursor and the selection come back
// as they were, without a selection change being reported.
void rebuild_view(GtkTreeView* view) {
  GtkTreeModel* model = gtk_tree_view_get_model(view);
  GtkTreeSelection* selection = gtk_tree_view_get_selection(view);
  const Path cursor = cursor_path(view);
  const bool selected = gtk_tree_selection_count_selected_rows(selection) > 0;
  const gtk::GObjectPtr<GtkTreeModel> keep = gtk::GObjectPtr<GtkTreeModel>::share(model);
  const auto handler = reinterpret_cast<gpointer>(on_selection_changed);
  const guint blocked =
      g_signal_handlers_block_matched(selection, G_SIGNAL_MATCH_FUNC, 0, 0, nullptr, handler, nullptr);
  gtk_tree_view_set_model(view, nullptr);
  if (TreeStore* items = tree_items(model)) items->take_held_as_reported();
  gtk_tree_view_set_model(view, model);
  if (cursor) {
    move_cursor_keeping_top(view, cursor.get());
    if (!selected) gtk_tree_selection_unselect_all(selection);
  }
  if (blocked)
    g_signal_handlers_unblock_matched(selection, G_SIGNAL_MATCH_FUNC, 0, 0, nullptr, handler, nullptr);
}

// Reports held rows one by one until `deadline` (g_get_monotonic_time, -1
// for none). True once none is held.
bool announce_held_rows(TreeStore& items, gint64 deadline) {
  constexpr int32_t RowsPerCheck = 256;
  while (items.report_held(deadline < 0 ? INT32_MAX : RowsPerCheck) > 0)
    if (g_get_monotonic_time() >= deadline) return false;
  return true;
}

}  // namespace

bool show_held_rows(GtkTreeView* view, gint64 deadline) {
  TreeStore* items = view_items(view);
  if (!items || items->held_count() == 0) return true;
  // Built afresh when the held rows are at least a third of all, so that
  // the rows are built a few times at most however the tree grows.
  const int32_t held = items->held_count();
  if (held >= RebuildMinimum && held >= items->count() / 3 && items->count() <= RebuildMaximum &&
      view_untouched(view)) {
    rebuild_view(view);
    return true;
  }
  return announce_held_rows(*items, deadline);
}

void show_every_held_row(GtkTreeView* view) { show_held_rows(view, -1); }

}  // namespace tree
