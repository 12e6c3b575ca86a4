#include "tree/column_width.h"

#include <algorithm>
#include <exception>
#include <memory>

#include "tree/item_text.h"
#include "tree/tree_store.h"

namespace tree {

namespace {

// GDK windows wider than this cannot be drawn reliably; the view's column
// never asks for more.
constexpr int WidestColumn = 32000;
// What the toolkit adds to every expander (EXPANDER_EXTRA_PADDING).
constexpr int ExpanderPadding = 4;
// The icon the rows show, and room for the pixels measuring cannot see
// (focus lines, rounding).
constexpr int IconWidth = 16;
constexpr int Slack = 8;

struct LayoutUnref {
  void operator()(PangoLayout* layout) const { g_object_unref(layout); }
};

// Where a row's cells start at `depth`: the indentation of its level and
// its expander, as the view lays them out.
int indentation(GtkTreeView* view, int32_t depth) {
  gint expander = 0;
  gint separator = 0;
  gtk_widget_style_get(GTK_WIDGET(view), "expander-size", &expander, "horizontal-separator",
                       &separator, nullptr);
  const int level = gtk_tree_view_get_level_indentation(view);
  const int expanders = gtk_tree_view_get_show_expanders(view) ? expander + ExpanderPadding : 0;
  return depth * level + (depth + 1) * expanders + separator;
}

// The padding of the column's cells, summed.
int cell_padding(GtkTreeView* view) {
  GtkTreeViewColumn* column = gtk_tree_view_get_column(view, 0);
  if (!column) return 0;
  int padding = 0;
  GList* cells = gtk_cell_layout_get_cells(GTK_CELL_LAYOUT(column));
  for (GList* cell = cells; cell; cell = cell->next) {
    gint xpad = 0;
    gtk_cell_renderer_get_padding(GTK_CELL_RENDERER(cell->data), &xpad, nullptr);
    padding += 2 * xpad;
  }
  g_list_free(cells);
  return padding + static_cast<int>(gtk_tree_view_column_get_spacing(column));
}

}  // namespace

// Without the memory for a note the column stays as it is: a row cut at
// the edge is better than no row.
void ColumnWidth::note(GtkTreeView* view, int32_t depth, const char* text) noexcept {
  try {
    take_note(view, depth, text);
  } catch (const std::exception&) {
  }
}

void ColumnWidth::measure_characters(GtkTreeView* view) {
  characters_measured_ = true;
  uint32_t widest = 1;
  for (int c = 0x20; c < 0x7F; ++c) {
    const char text[2] = {static_cast<char>(c), 0};
    byte_widths_[static_cast<size_t>(c)] = static_cast<uint32_t>(std::max(text_width(view, text), 1));
    widest = std::max(widest, byte_widths_[static_cast<size_t>(c)]);
  }
  for (size_t byte = 0; byte < 0x20; ++byte) byte_widths_[byte] = widest;
  byte_widths_[0x7F] = widest;
  for (size_t byte = 0xC0; byte < 0xE0; ++byte) byte_widths_[byte] = widest;
  for (size_t byte = 0xE0; byte < 0x100; ++byte) byte_widths_[byte] = 2 * widest;
}

void ColumnWidth::take_note(GtkTreeView* view, int32_t depth, const char* text) {
  if (depth < 0 || !text || !view) return;
  if (!characters_measured_) measure_characters(view);
  uint64_t estimate = 0;
  bool plain = true;
  size_t characters = 0;
  // Only the shown part of the text counts (DisplayedTextLimit).
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
    if ((*p & 0xC0) == 0x80) continue;
    if (++characters > DisplayedTextLimit) break;
    plain = plain && *p < 0x80;
    estimate += byte_widths_[*p];
  }
  if (static_cast<size_t>(depth) >= widest_.size()) {
    if (estimate == 0) return;
    widest_.resize(static_cast<size_t>(depth) + 1);
  }
  Widest& widest = widest_[static_cast<size_t>(depth)][plain ? 0 : 1];
  if (estimate <= widest.estimate) return;
  std::string shown;
  widest.text = displayed_text(text, shown) ? shown : std::string(text);
  widest.estimate = estimate;
  widest.measured = false;
  pending_ = true;
}

int ColumnWidth::text_width(GtkTreeView* view, const char* text) {
  const std::unique_ptr<PangoLayout, LayoutUnref> layout(gtk_widget_create_pango_layout(GTK_WIDGET(view), text));
  if (!layout) return 0;
  int width = 0;
  pango_layout_get_pixel_size(layout.get(), &width, nullptr);
  return width;
}

int ColumnWidth::text_start(GtkTreeView* view, int32_t depth) {
  return indentation(view, depth) + IconWidth + cell_padding(view);
}

void ColumnWidth::apply(GtkTreeView* view) {
  if (!pending_) return;
  pending_ = false;
  GtkTreeViewColumn* column = gtk_tree_view_get_column(view, 0);
  if (!column) return;
  const int fixed = cell_padding(view) + IconWidth + Slack;
  for (size_t depth = 0; depth < widest_.size(); ++depth) {
    for (Widest& widest : widest_[depth]) {
      if (widest.measured) continue;
      widest.measured = true;
      width_ = std::max(width_, indentation(view, static_cast<int32_t>(depth)) + fixed +
                                    text_width(view, widest.text.c_str()));
    }
  }
  const int width = std::min(width_, WidestColumn);
  if (width > gtk_tree_view_column_get_fixed_width(column)) gtk_tree_view_column_set_fixed_width(column, width);
}

}  // namespace tree
