#include "tree/tree_kind.h"

#include <string>
#include <utility>

#include "tree/held_rows.h"
#include "tree/tree_model.h"
#include "tree/tree_widget.h"
#include "tree/view_rows.h"
#include "runtime/utf8.h"

namespace tree {

using namespace widgets;

namespace {

// Which item colour: 1 the text, 2 the background.
constexpr int32_t TextColour = 1;
constexpr int32_t BackgroundColour = 2;
constexpr int32_t DepthAttribute = 1;

GtkTreeView* view_of(Widget& widget) { return GTK_TREE_VIEW(widget.main); }

class TreeKind final : public WidgetKind {
 public:
  TreeKind() : WidgetKind(TreeKindCode) {}

  // The view lets go of the model with itself; this drops the widget's own
  // reference.
  void release(Widget& widget) override { widget.data.reset(); }

  intptr_t get_state(Widget& widget) override {
    TreeData* data = tree_data(widget);
    if (!data) return -1;
    GtkTreeIter iter;
    if (!gtk_tree_selection_get_selected(gtk_tree_view_get_selection(view_of(widget)), nullptr,
                                         &iter))
      return -1;
    return tree_model_index(data->model.get(), &iter);
  }

  void set_state(Widget& widget, intptr_t value) override {
    TreeData* data = tree_data(widget);
    if (!data) return;
    show_every_held_row(view_of(widget));
    GtkTreeView* view = view_of(widget);
    GtkTreeSelection* selection = gtk_tree_view_get_selection(view);
    if (value < 0 || value >= data->items.count()) {
      gtk_tree_selection_unselect_all(selection);
      return;
    }
    const auto index = static_cast<int32_t>(value);
    GtkTreeIter iter;
    tree_model_iter(data->model.get(), index, &iter);
    gtk_tree_selection_select_iter(selection, &iter);
    Path path(tree_model_path(data->model.get(), index));
    gtk_tree_view_set_cursor(view, path.get(), gtk_tree_view_get_column(view, 0), FALSE);
    // A row inside a collapsed one has nothing to scroll to; the view would
    // only keep a note of it for later.
    if (row_shown(view, data->items, index))
      gtk_tree_view_scroll_to_cell(view, path.get(), nullptr, FALSE, 0, 0);
  }

  std::u16string get_text(Widget& widget) override {
    TreeData* data = tree_data(widget);
    const intptr_t selected = get_state(widget);
    if (!data || selected < 0) return {};
    return runtime::decode_utf8(data->items.text(static_cast<int32_t>(selected)));
  }

  int32_t add_item_at_level(Widget& widget, int32_t position, const char* utf8, GdkPixbuf* image,
                            int32_t level) override {
    TreeData* data = tree_data(widget);
    if (!data) return 0;
    // Only an item appended at the end may be held back.
    if (position >= 0 && position < data->items.count()) show_every_held_row(view_of(widget));
    const int32_t index = data->items.add(position, utf8, image, level);
    if (index < 0) return 0;
    data->column_width.note(view_of(widget), data->items.depth(index), utf8);
    // A row the view hears of at once widens the column at once; held rows
    // do so when they are shown.
    if (data->items.held_count() == 0) data->column_width.apply(view_of(widget));
    return 1;
  }

  // GTK 2 loses the view's rows below an expanded row that is removed from
  // amid other rows; a collapsed row has none to lose.
  void remove_item(Widget& widget, int32_t index) override {
    TreeData* data = tree_data(widget);
    if (!data || !data->items.valid(index)) return;
    show_every_held_row(view_of(widget));
    Path path(tree_model_path(data->model.get(), index));
    if (gtk_tree_view_row_expanded(view_of(widget), path.get()))
      gtk_tree_view_collapse_row(view_of(widget), path.get());
    data->items.remove(index);
  }

  void clear_items(Widget& widget) override {
    TreeData* data = tree_data(widget);
    if (!data) return;
    show_every_held_row(view_of(widget));
    gtk_tree_view_collapse_all(view_of(widget));
    data->items.clear();
  }

  int32_t count_items(Widget& widget) override {
    TreeData* data = tree_data(widget);
    return data ? data->items.count() : 0;
  }

  int32_t get_item_state(Widget& widget, int32_t index) override {
    TreeData* data = tree_data(widget);
    if (!data || !data->items.valid(index)) return 0;
    show_every_held_row(view_of(widget));
    const TreeStore& items = data->items;
    int32_t state = items.inconsistent(index) ? TreeItemState::Inconsistent
                    : items.checked(index)    ? TreeItemState::Checked
                                              : 0;
    GtkTreeView* view = view_of(widget);
    Path path(tree_model_path(gtk_tree_view_get_model(view), index));
    state |= gtk_tree_view_row_expanded(view, path.get()) ? TreeItemState::Expanded : TreeItemState::Collapsed;
    GtkTreeIter iter;
    tree_model_iter(gtk_tree_view_get_model(view), index, &iter);
    if (gtk_tree_selection_iter_is_selected(gtk_tree_view_get_selection(view), &iter))
      state |= TreeItemState::Selected;
    return state;
  }

  void set_item_state(Widget& widget, int32_t index, int32_t state) override {
    TreeData* data = tree_data(widget);
    if (!data || !data->items.valid(index)) return;
    show_every_held_row(view_of(widget));
    TreeStore& items = data->items;
    GtkTreeView* view = view_of(widget);
    if (tree_flags(view) & TreeFlags::ThreeState) {
      if (state & TreeItemState::Inconsistent)
        items.set_check(index, false, true);
      else
        items.set_check(index, (state & TreeItemState::Checked) != 0, false);
    } else {
      items.set_check(index, (state & TreeItemState::Checked) != 0, items.inconsistent(index));
    }
    Path path(tree_model_path(gtk_tree_view_get_model(view), index));
    if (state & TreeItemState::Expanded)
      gtk_tree_view_expand_row(view, path.get(), FALSE);
    else if (state & TreeItemState::Collapsed)
      gtk_tree_view_collapse_row(view, path.get());
    GtkTreeIter iter;
    tree_model_iter(gtk_tree_view_get_model(view), index, &iter);
    GtkTreeSelection* selection = gtk_tree_view_get_selection(view);
    if (state & TreeItemState::Selected)
      gtk_tree_selection_select_iter(selection, &iter);
    else
      gtk_tree_selection_unselect_iter(selection, &iter);
  }

  std::u16string get_item_text(Widget& widget, int32_t index) override {
    TreeData* data = tree_data(widget);
    if (!data || !data->items.valid(index)) return {};
    return runtime::decode_utf8(data->items.text(index));
  }

  void set_item_text(Widget& widget, int32_t index, std::u16string_view text) override {
    TreeData* data = tree_data(widget);
    if (!data || !data->items.valid(index)) return;
    const std::string utf8 = runtime::encode_utf8(text);
    data->items.set_text(index, utf8.c_str());
    data->column_width.note(view_of(widget), data->items.depth(index), utf8.c_str());
    data->column_width.apply(view_of(widget));
  }

  void set_font(Widget& widget, PangoFontDescription* font) override { apply_font(widget, font); }

  int32_t get_item_attribute(Widget& widget, int32_t index, int32_t attribute) override {
    TreeData* data = tree_data(widget);
    if (!data || attribute != DepthAttribute) return 0;
    return data->items.depth(index);
  }

  void set_colour(Widget& widget, int32_t which, int32_t colour) override {
    apply_colour(widget, which, colour);
  }

  int32_t get_colour(Widget& widget, int32_t which) override {
    return widget_colour(widget, which);
  }

  void set_item_colour(Widget& widget, int32_t index, int32_t which, int32_t colour) override {
    TreeData* data = tree_data(widget);
    if (!data || (which != TextColour && which != BackgroundColour)) return;
    data->items.set_colour(index,
                           which == TextColour ? TreeColour::Foreground : TreeColour::Background,
                           colour);
  }

  int32_t get_item_colour(Widget& widget, int32_t index, int32_t which) override {
    TreeData* data = tree_data(widget);
    if (!data || (which != TextColour && which != BackgroundColour)) return NoColour;
    return data->items.colour(
        index, which == TextColour ? TreeColour::Foreground : TreeColour::Background);
  }

  void set_item_data(Widget& widget, int32_t index, intptr_t value) override {
    if (TreeData* data = tree_data(widget)) data->items.set_data(index, value);
  }

  intptr_t get_item_data(Widget& widget, int32_t index) override {
    TreeData* data = tree_data(widget);
    return data ? data->items.data(index) : 0;
  }

  PangoFontDescription* get_font(Widget& widget) override { return kind_font(widget); }
};

}  // namespace

TreeData::TreeData(gtk::GObjectPtr<GtkTreeModel> model)
    : model(std::move(model)), items(*tree_items(this->model.get())) {}

WidgetKind& tree_kind() {
  static TreeKind kind;
  return kind;
}

TreeData* tree_data(Widget& widget) { return dynamic_cast<TreeData*>(widget.data.get()); }

}  // namespace tree
