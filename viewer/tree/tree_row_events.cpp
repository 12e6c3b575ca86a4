#include "tree/tree_row_events.h"

#include "core/event_queue.h"
#include "tree/tree_model.h"
#include "tree/tree_widget.h"
#include "tree/view_rows.h"
#include "widgets/widget.h"
#include "gtk/object_data.h"

namespace tree {

void on_selection_changed(GtkTreeSelection* selection, gpointer number) noexcept {
  GtkWidget* view = GTK_WIDGET(gtk_tree_selection_get_tree_view(selection));
  core::post_event(core::EventType::WidgetEvent, GPOINTER_TO_INT(number),
                   widgets::widget_window_number(view), core::WidgetEventData::Change);
}

// The view hands a click anywhere in the column to the check box, its only
// activatable cell; only a click inside the box itself counts.
void on_check_toggled(GtkCellRendererToggle* cell, gchar* path_text, gpointer tree_view) noexcept {
  GtkTreeView* view = GTK_TREE_VIEW(tree_view);
  TreeStore* items = view_items(view);
  GtkTreeViewColumn* column = gtk_tree_view_get_column(view, 0);
  if (!items || !column || !path_text) return;
  Path path(gtk_tree_path_new_from_string(path_text));
  if (!path) return;

  gint pointer_x = 0;
  gint pointer_y = 0;
  gtk_widget_get_pointer(GTK_WIDGET(view), &pointer_x, &pointer_y);
  gint x = 0;
  gint y = 0;
  gtk_tree_view_convert_widget_to_tree_coords(view, pointer_x, pointer_y, &x, &y);
  GdkRectangle area{};
  gtk_tree_view_get_cell_area(view, path.get(), column, &area);
  gint cell_offset = 0;
  gtk_tree_view_column_cell_get_size(column, &area, &cell_offset, nullptr, nullptr, nullptr);
  gint start = 0;
  gint width = 0;
  gtk_tree_view_column_cell_get_position(column, GTK_CELL_RENDERER(cell), &start, &width);
  const gint left = area.x + cell_offset + start;
  if (x < left || x > left + width) return;

  GtkTreeIter iter;
  if (!gtk_tree_model_get_iter(gtk_tree_view_get_model(view), &iter, path.get())) return;
  const int32_t index = tree_model_index(gtk_tree_view_get_model(view), &iter);
  bool checked = items->checked(index);
  bool inconsistent = items->inconsistent(index);
  if ((tree_flags(view) & TreeFlags::ThreeState) && inconsistent) {
    checked = true;
    inconsistent = false;
  } else {
    checked = !checked;
  }
  items->set_check(index, checked, inconsistent);
  core::post_event(core::EventType::WidgetEvent, gtk::widget_id(GTK_WIDGET(view)),
                   widgets::widget_window_number(GTK_WIDGET(view)), core::WidgetEventData::Change);
}

}  // namespace tree
