#include "tree/tree_widget.h"

#include <dlfcn.h>

#include <memory>
#include <utility>

#include "gtk/gobject_ptr.h"
#include "tree/find_bar.h"
#include "tree/held_rows.h"
#include "tree/row_tooltip.h"
#include "tree/tree_accessibility.h"
#include "tree/tree_gestures.h"
#include "tree/tree_kind.h"
#include "tree/tree_model.h"
#include "tree/tree_row_events.h"
#include "tree/view_rows.h"
#include "widgets/unplaced_widget.h"
#include "widgets/widget.h"

namespace tree {

using namespace widgets;

namespace {

// Older toolkits lack tree lines, so the switch is looked up by name.
using SetTreeLines = void (*)(GtkTreeView*, gboolean);

SetTreeLines tree_lines_switch() {
  static const SetTreeLines function = reinterpret_cast<SetTreeLines>(
      dlsym(RTLD_DEFAULT, "gtk_tree_view_set_enable_tree_lines"));
  return function;
}

GtkTreeView* view_of(Widget& widget) { return GTK_TREE_VIEW(widget.main); }

// Tree `number`, when it is one with its items.
Widget* find_tree(int32_t number) {
  Widget* widget = widget_registry().find(number);
  return widget && widget->kind == &tree_kind() && tree_data(*widget) ? widget : nullptr;
}

}  // namespace

void hold_tree_appends(int32_t number) {
  Widget* widget = find_tree(number);
  if (!widget) return;
  tree_data(*widget)->items.hold_reports();
  set_tree_busy(GTK_WIDGET(view_of(*widget)), true);
}

bool show_held_tree_rows(int32_t number, gint64 deadline) {
  Widget* widget = find_tree(number);
  if (!widget) return true;
  tree_data(*widget)->column_width.apply(view_of(*widget));
  return show_held_rows(view_of(*widget), deadline);
}

void release_tree_appends(int32_t number) {
  Widget* widget = find_tree(number);
  if (!widget) return;
  tree_data(*widget)->column_width.apply(view_of(*widget));
  show_every_held_row(view_of(*widget));
  tree_data(*widget)->items.release_reports();
  set_tree_busy(GTK_WIDGET(view_of(*widget)), false);
}

void reserve_tree_items(int32_t number, size_t items, size_t text_bytes) {
  if (Widget* widget = find_tree(number)) tree_data(*widget)->items.reserve(items, text_bytes);
}

bool focus_first_row(int32_t number) {
  Widget* widget = find_tree(number);
  if (!widget) return false;
  GtkTreeView* view = view_of(*widget);
  // The find bar keeps the keyboard, and the rows their cursor, until the
  // user leaves it.
  if (FindBar* bar = FindBar::of(view); bar && bar->shown()) return true;
  gtk_widget_grab_focus(GTK_WIDGET(view));
  GtkTreeSelection* selection = gtk_tree_view_get_selection(view);
  if (gtk_tree_selection_count_selected_rows(selection) > 0) return true;
  if (tree_data(*widget)->items.count() == 0) return false;
  // Taking the focus puts the cursor on the first row without selecting it;
  // selected, the row is what Ctrl+C copies and where the arrow keys start.
  Path row = cursor_path(view);
  if (!row) row = Path(gtk_tree_path_new_first());
  move_cursor_keeping_top(view, row.get());
  return gtk_tree_selection_count_selected_rows(selection) > 0;
}

intptr_t create_tree_widget(int32_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                            int32_t flags) {
  WidgetKind& kind = tree_kind();
  const SetTreeLines set_tree_lines = tree_lines_switch();

  gtk::GObjectPtr<GtkTreeModel> model = create_tree_item_model();
  Unplaced scrolled(gtk_scrolled_window_new(nullptr, nullptr));
  if (!model || !scrolled) return 0;
  Unplaced view_holder(gtk_tree_view_new_with_model(model.get()));
  if (!view_holder) return 0;
  GtkTreeView* view = GTK_TREE_VIEW(view_holder.get());

  GtkTreeViewColumn* column = gtk_tree_view_column_new();
  if (flags & TreeFlags::CheckBoxes) {
    GtkCellRenderer* check = gtk_cell_renderer_toggle_new();
    gtk_tree_view_column_pack_start(column, check, FALSE);
    gtk_tree_view_column_add_attribute(column, check, "active", TreeColumn::Check);
    gtk_tree_view_column_add_attribute(column, check, "cell-background-gdk", TreeColumn::Background);
    if (flags & TreeFlags::ThreeState)
      gtk_tree_view_column_add_attribute(column, check, "inconsistent", TreeColumn::Inconsistent);
    g_signal_connect(check, "toggled", G_CALLBACK(on_check_toggled), view);
  }
  GtkCellRenderer* icon = gtk_cell_renderer_pixbuf_new();
  gtk_tree_view_column_pack_start(column, icon, FALSE);
  gtk_tree_view_column_add_attribute(column, icon, "pixbuf", TreeColumn::Icon);
  gtk_tree_view_column_add_attribute(column, icon, "cell-background-gdk", TreeColumn::Background);
  GtkCellRenderer* text = gtk_cell_renderer_text_new();
  gtk_tree_view_column_pack_end(column, text, TRUE);
  // Every row has one height and the column one width, worked out from the
  // items (column_width.h), so the view never measures its rows
  // (fixed-height mode), a million of them included. The text is laid out
  // at its own width, not the cell's: a right-to-left text then starts next
  // to its icon, as in any tree view.
  gtk_tree_view_column_set_sizing(column, GTK_TREE_VIEW_COLUMN_FIXED);
  gtk_tree_view_column_add_attribute(column, text, "text", TreeColumn::Text);
  gtk_tree_view_column_add_attribute(column, text, "foreground-gdk", TreeColumn::Foreground);
  gtk_tree_view_column_add_attribute(column, text, "cell-background-gdk", TreeColumn::Background);

  gtk_tree_view_append_column(view, column);
  gtk_tree_view_set_headers_visible(view, FALSE);
  gtk_tree_view_set_search_column(view, TreeColumn::Text);
  gtk_tree_view_set_fixed_height_mode(view, TRUE);
  // The view's own type-ahead only sees open rows; the find bar sees all.
  gtk_tree_view_set_enable_search(view, FALSE);
  g_object_set_data(G_OBJECT(view), FlagsKey, GINT_TO_POINTER(flags));

  const bool automatic = number == -1;
  const auto [assigned, record] = widget_registry().allocate(number);
  if (!record) return 0;
  number = assigned;

  if (set_tree_lines && !(flags & TreeFlags::NoLines)) set_tree_lines(view, TRUE);

  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolled.get()), GTK_POLICY_AUTOMATIC,
                                 GTK_POLICY_AUTOMATIC);
  gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scrolled.get()), GTK_SHADOW_ETCHED_IN);
  // The view goes into the scrolled window before it is placed, so that a
  // failed placement takes both along.
  gtk_container_add(GTK_CONTAINER(scrolled.get()), view_holder.release());
  // gtk_widget_set_usize takes any size; values below -1 change nothing.
  gtk_widget_set_usize(scrolled.get(), width, height);
  GtkWidget* outer = scrolled.get();
  if (!place_widget(scrolled.release(), x, y)) return 0;

  gtk_tree_selection_set_mode(gtk_tree_view_get_selection(view), GTK_SELECTION_SINGLE);
  g_signal_connect(gtk_tree_view_get_selection(view), "changed", G_CALLBACK(on_selection_changed),
                   GINT_TO_POINTER(number));
  track_pointer(number, GTK_WIDGET(view));
  g_signal_connect(view, "button-press-event", G_CALLBACK(track_clicks), GINT_TO_POINTER(number));
  g_signal_connect(view, "button-release-event", G_CALLBACK(track_clicks),
                   GINT_TO_POINTER(number));

  FindBar::attach(view, outer);
  attach_gestures(view);
  attach_row_tooltip(view);
  if (GtkWidget* window = gtk_widget_get_toplevel(outer); GTK_IS_WINDOW(window))
    if (const char* title = gtk_window_get_title(GTK_WINDOW(window))) name_tree(GTK_WIDGET(view), title);
  attach_accessibility(GTK_WIDGET(view));

  record->main = GTK_WIDGET(view);
  record->outer = outer;
  record->kind = &kind;
  record->data = std::make_unique<TreeData>(std::move(model));
  register_widget(*record, number);
  gtk_widget_show_all(outer);
  return automatic ? number : reinterpret_cast<intptr_t>(view);
}

}  // namespace tree
