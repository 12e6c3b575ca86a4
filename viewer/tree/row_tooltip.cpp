#include "tree/row_tooltip.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <string>

#include "tree/column_width.h"
#include "tree/item_text.h"
#include "tree/tree_model.h"
#include "tree/tree_store.h"
#include "tree/view_rows.h"

namespace tree {

namespace {

// A wrapped tooltip line is at most this wide.
constexpr int TooltipLinePixels = 600;

// The text renderer: the column's last cell.
GtkCellRenderer* text_cell(GtkTreeViewColumn* column) {
  GList* cells = gtk_cell_layout_get_cells(GTK_CELL_LAYOUT(column));
  GList* last = g_list_last(cells);
  GtkCellRenderer* cell = last ? GTK_CELL_RENDERER(last->data) : nullptr;
  g_list_free(cells);
  return GTK_IS_CELL_RENDERER_TEXT(cell) ? cell : nullptr;
}

// Whether the view shows the row's text whole: its text cell lies inside
// the visible part of the tree and holds all of it.
bool shown_whole(GtkTreeView* view, GtkTreePath* path, GtkTreeIter* iter, const char* text) {
  GtkTreeViewColumn* column = gtk_tree_view_get_column(view, 0);
  GtkCellRenderer* cell = column ? text_cell(column) : nullptr;
  if (!cell) return true;
  gtk_tree_view_column_cell_set_cell_data(column, gtk_tree_view_get_model(view), iter, FALSE, FALSE);
  GdkRectangle area{};
  gtk_tree_view_get_cell_area(view, path, column, &area);
  gint start = 0;
  gtk_tree_view_column_cell_get_position(column, cell, &start, nullptr);
  gint xpad = 0;
  gtk_cell_renderer_get_padding(cell, &xpad, nullptr);
  gint left = 0;
  gint top = 0;
  gtk_tree_view_convert_bin_window_to_tree_coords(view, area.x + start + xpad, area.y, &left, &top);
  GdkRectangle visible{};
  gtk_tree_view_get_visible_rect(view, &visible);
  const int right = left + ColumnWidth::text_width(view, text);
  return left >= visible.x && right <= visible.x + visible.width;
}

gboolean on_query_tooltip(GtkWidget* widget, gint x, gint y, gboolean keyboard, GtkTooltip* tooltip,
                          gpointer) noexcept {
  try {
    GtkTreeView* view = GTK_TREE_VIEW(widget);
    GtkTreeModel* model = nullptr;
    GtkTreePath* at = nullptr;
    GtkTreeIter iter;
    if (!gtk_tree_view_get_tooltip_context(view, &x, &y, keyboard, &model, &at, &iter)) return FALSE;
    const Path path(at);
    TreeStore* items = tree_items(model);
    const int32_t index = tree_model_index(model, &iter);
    if (!items || index < 0) return FALSE;
    const char* text = items->text(index);
    std::string capped;
    const bool long_text = displayed_text(text, capped);
    if (!long_text && (!*text || shown_whole(view, path.get(), &iter, text))) return FALSE;
    const char* shown = long_text ? capped.c_str() : text;
    GtkWidget* label = gtk_label_new(shown);
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    // Names seldom have spaces to wrap at.
    gtk_label_set_line_wrap_mode(GTK_LABEL(label), PANGO_WRAP_WORD_CHAR);
    // A label wraps at the width it is given; left to itself it guesses a
    // width its window does not follow.
    gtk_widget_set_size_request(label, std::min(ColumnWidth::text_width(view, shown), TooltipLinePixels), -1);
    gtk_widget_show(label);
    gtk_tooltip_set_custom(tooltip, label);
    gtk_tree_view_set_tooltip_row(view, tooltip, path.get());
    return TRUE;
  } catch (const std::exception&) {
    return FALSE;
  }
}

}  // namespace

void attach_row_tooltip(GtkTreeView* view) {
  gtk_widget_set_has_tooltip(GTK_WIDGET(view), TRUE);
  g_signal_connect(view, "query-tooltip", G_CALLBACK(on_query_tooltip), nullptr);
}

}  // namespace tree
