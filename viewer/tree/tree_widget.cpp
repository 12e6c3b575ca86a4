#include "tree/tree_widget.h"

#include <dlfcn.h>
#include <gdk/gdkkeysyms.h>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>

#include "core/event_queue.h"
#include "core/gobject_ptr.h"
#include "tree/tree_accessibility.h"
#include "tree/tree_model.h"
#include "utf8.h"
#include "widgets/unplaced_widget.h"
#include "widgets/widget.h"
#include "widgets/widget_id.h"

namespace tree {

using namespace widgets;

namespace {

constexpr char FlagsKey[] = "gw_flags";
constexpr char FindKey[] = "gw_find";

// Which item colour: 1 the text, 2 the background.
constexpr int32_t TextColour = 1;
constexpr int32_t BackgroundColour = 2;
constexpr int32_t DepthAttribute = 1;

// Older toolkits lack tree lines, so the switch is looked up by name.
using SetTreeLines = void (*)(GtkTreeView*, gboolean);

SetTreeLines tree_lines_switch() {
  static const SetTreeLines function = reinterpret_cast<SetTreeLines>(
      dlsym(RTLD_DEFAULT, "gtk_tree_view_set_enable_tree_lines"));
  return function;
}

struct TreeData : WidgetData {
  explicit TreeData(core::GObjectPtr<GtkTreeModel> model)
      : model(std::move(model)), items(*tree_items(this->model.get())) {}
  core::GObjectPtr<GtkTreeModel> model;
  TreeStore& items;
};

TreeData* tree_data(Widget& widget) { return dynamic_cast<TreeData*>(widget.data.get()); }

GtkTreeView* view_of(Widget& widget) { return GTK_TREE_VIEW(widget.main); }

// Shows the view every row held back from it (see hold_tree_appends), for
// operations that may name any row.
void show_every_held_row(GtkTreeView* view);

int32_t tree_flags(GtkTreeView* view) {
  return GPOINTER_TO_INT(g_object_get_data(G_OBJECT(view), FlagsKey));
}

struct PathFree {
  void operator()(GtkTreePath* path) const { gtk_tree_path_free(path); }
};
using Path = std::unique_ptr<GtkTreePath, PathFree>;

// Whether the view shows the item: every ancestor is expanded.
bool row_shown(GtkTreeView* view, const TreeStore& items, int32_t index) {
  for (int32_t a = items.parent(index); a >= 0; a = items.parent(a)) {
    Path path(tree_model_path(gtk_tree_view_get_model(view), a));
    if (!gtk_tree_view_row_expanded(view, path.get())) return false;
  }
  return true;
}

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
    return data->items.add(position, utf8, image, level) >= 0 ? 1 : 0;
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
    int32_t state = items.inconsistent(index) ? TreeItemInconsistent
                    : items.checked(index)    ? TreeItemChecked
                                              : 0;
    GtkTreeView* view = view_of(widget);
    Path path(tree_model_path(gtk_tree_view_get_model(view), index));
    state |= gtk_tree_view_row_expanded(view, path.get()) ? TreeItemExpanded : TreeItemCollapsed;
    GtkTreeIter iter;
    tree_model_iter(gtk_tree_view_get_model(view), index, &iter);
    if (gtk_tree_selection_iter_is_selected(gtk_tree_view_get_selection(view), &iter))
      state |= TreeItemSelected;
    return state;
  }

  void set_item_state(Widget& widget, int32_t index, int32_t state) override {
    TreeData* data = tree_data(widget);
    if (!data || !data->items.valid(index)) return;
    show_every_held_row(view_of(widget));
    TreeStore& items = data->items;
    GtkTreeView* view = view_of(widget);
    if (tree_flags(view) & TreeThreeState) {
      if (state & TreeItemInconsistent)
        items.set_check(index, false, true);
      else
        items.set_check(index, (state & TreeItemChecked) != 0, false);
    } else {
      items.set_check(index, (state & TreeItemChecked) != 0, items.inconsistent(index));
    }
    Path path(tree_model_path(gtk_tree_view_get_model(view), index));
    if (state & TreeItemExpanded)
      gtk_tree_view_expand_row(view, path.get(), FALSE);
    else if (state & TreeItemCollapsed)
      gtk_tree_view_collapse_row(view, path.get());
    GtkTreeIter iter;
    tree_model_iter(gtk_tree_view_get_model(view), index, &iter);
    GtkTreeSelection* selection = gtk_tree_view_get_selection(view);
    if (state & TreeItemSelected)
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
    data->items.set_text(index, runtime::encode_utf8(text).c_str());
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

TreeKind& tree_kind() {
  static TreeKind kind;
  return kind;
}

void on_selection_changed(GtkTreeSelection* selection, gpointer number) {
  GtkWidget* view = GTK_WIDGET(gtk_tree_selection_get_tree_view(selection));
  core::post_event(core::EventType::WidgetEvent, GPOINTER_TO_INT(number), widget_window_number(view), core::WidgetEventData::Change);
}

// The view hands a click anywhere in the column to the check box, its only
// activatable cell; only a click inside the box itself counts.
void on_check_toggled(GtkCellRendererToggle* cell, gchar* path_text, gpointer tree_view) {
  GtkTreeView* view = GTK_TREE_VIEW(tree_view);
  TreeStore* items = tree_items(gtk_tree_view_get_model(view));
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
  if ((tree_flags(view) & TreeThreeState) && inconsistent) {
    checked = true;
    inconsistent = false;
  } else {
    checked = !checked;
  }
  items->set_check(index, checked, inconsistent);
  core::post_event(core::EventType::WidgetEvent, widget_id(GTK_WIDGET(view)), widget_window_number(GTK_WIDGET(view)), core::WidgetEventData::Change);
}


// ---------------------------------------------------------------------------
// Gestures

Path cursor_path(GtkTreeView* view) {
  GtkTreePath* path = nullptr;
  gtk_tree_view_get_cursor(view, &path, nullptr);
  return Path(path);
}

// The item under the cursor, -1 without one.
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

// Moves the cursor as move_cursor does, and keeps the first row at the top:
// before the view has measured its rows, moving the cursor to the first
// row scrolls that row just out of sight.
void move_cursor_keeping_top(GtkTreeView* view, GtkTreePath* path) {
  move_cursor(view, path);
  if (is_first_row(path))
    gtk_tree_view_scroll_to_cell(view, path, nullptr, TRUE, 0.0f, 0.0f);
}

// Opens a closed folder row and closes an open one.
void toggle_row(GtkTreeView* view, GtkTreePath* path) {
  if (gtk_tree_view_row_expanded(view, path))
    gtk_tree_view_collapse_row(view, path);
  else
    gtk_tree_view_expand_row(view, path, FALSE);
}

// The find bar: an entry laid over the foot of the tree while a search is
// going on.
struct FindBar {
  GtkTreeView* view = nullptr;
  GtkWidget* entry = nullptr;  // a reference of its own
};

FindBar* find_bar(GtkTreeView* view) {
  return static_cast<FindBar*>(g_object_get_data(G_OBJECT(view), FindKey));
}

// Shows the item: opens the folders above it, puts the cursor on it and
// scrolls it to the middle of the view.
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

// Finds the text of the find bar in the rows after the cursor, or from the
// cursor's own row on when `from_cursor` is set.
void find_next(GtkTreeView* view, bool from_cursor) {
  FindBar* bar = find_bar(view);
  TreeStore* items = tree_items(gtk_tree_view_get_model(view));
  if (!bar || !bar->entry || !items) return;
  const char* needle = gtk_entry_get_text(GTK_ENTRY(bar->entry));
  if (!needle || !*needle) return;
  int32_t after = cursor_item(view);
  if (from_cursor && after >= 0) after -= 1;
  const int32_t found = items->find(after, needle);
  if (found < 0) return;
  show_every_held_row(view);
  reveal_item(view, found);
}

void hide_find_bar(GtkTreeView* view) {
  FindBar* bar = find_bar(view);
  if (bar && bar->entry && GTK_WIDGET_VISIBLE(bar->entry)) {
    gtk_widget_hide(bar->entry);
    gtk_widget_grab_focus(GTK_WIDGET(view));
  }
}

// Lays the find bar over the foot of the tree's scrolled window and gives
// it the keyboard.
void show_find_bar(GtkTreeView* view) {
  FindBar* bar = find_bar(view);
  GtkWidget* outer = gtk_widget_get_parent(GTK_WIDGET(view));
  if (!bar || !bar->entry || !outer) return;
  GtkWidget* container = gtk_widget_get_parent(outer);
  if (!GTK_IS_FIXED(container)) return;
  if (gtk_widget_get_parent(bar->entry) != container) gtk_fixed_put(GTK_FIXED(container), bar->entry, 0, 0);
  GtkRequisition request{};
  gtk_widget_size_request(bar->entry, &request);
  const GtkAllocation& area = outer->allocation;
  gtk_widget_set_size_request(bar->entry, std::max(area.width, 1), -1);
  gtk_fixed_move(GTK_FIXED(container), bar->entry, area.x,
                 area.y + std::max(area.height - request.height, 0));
  gtk_widget_show(bar->entry);
  gtk_widget_grab_focus(bar->entry);
}

// The selected row's text, else the cursor row's.
void copy_selected_text(GtkTreeView* view) {
  TreeStore* items = tree_items(gtk_tree_view_get_model(view));
  if (!items) return;
  GtkTreeIter iter;
  const int32_t index =
      gtk_tree_selection_get_selected(gtk_tree_view_get_selection(view), nullptr, &iter)
          ? tree_model_index(gtk_tree_view_get_model(view), &iter)
          : cursor_item(view);
  if (index < 0) return;
  gtk_clipboard_set_text(gtk_widget_get_clipboard(GTK_WIDGET(view), GDK_SELECTION_CLIPBOARD),
                         items->text(index), -1);
}

constexpr guint Modifiers = GDK_SHIFT_MASK | GDK_CONTROL_MASK | GDK_MOD1_MASK;

bool is_next_match_key(const GdkEventKey* event) {
  const guint modifiers = event->state & Modifiers;
  return (event->keyval == GDK_F3 && modifiers == 0) ||
         ((event->keyval == GDK_g || event->keyval == GDK_G) && modifiers == GDK_CONTROL_MASK);
}

gboolean on_find_key(GtkWidget*, GdkEventKey* event, gpointer tree_view) {
  GtkTreeView* view = GTK_TREE_VIEW(tree_view);
  const guint modifiers = event->state & Modifiers;
  if (is_next_match_key(event) ||
      ((event->keyval == GDK_Return || event->keyval == GDK_KP_Enter ||
        event->keyval == GDK_ISO_Enter) && modifiers == 0)) {
    find_next(view, false);
    return TRUE;
  }
  if (event->keyval == GDK_Escape) {
    hide_find_bar(view);
    return TRUE;
  }
  if (modifiers == 0 && (event->keyval == GDK_Up || event->keyval == GDK_Down ||
                         event->keyval == GDK_Page_Up || event->keyval == GDK_Page_Down)) {
    // The rows move under the cursor keys even while the bar has the keys.
    hide_find_bar(view);
    gtk_widget_event(GTK_WIDGET(view), reinterpret_cast<GdkEvent*>(event));
    return TRUE;
  }
  return FALSE;
}

void on_find_changed(GtkEditable*, gpointer tree_view) { find_next(GTK_TREE_VIEW(tree_view), true); }

gboolean on_find_focus_out(GtkWidget* entry, GdkEventFocus*, gpointer) {
  gtk_widget_hide(entry);
  return FALSE;
}

// Printable characters start a search, except those the view binds itself
// (+, -, *, / open and close rows) and the space, which toggles a row.
bool starts_search(const GdkEventKey* event) {
  if (event->state & (GDK_CONTROL_MASK | GDK_MOD1_MASK)) return false;
  const gunichar c = gdk_keyval_to_unicode(event->keyval);
  return c != 0 && g_unichar_isprint(c) && c != ' ' && c != '+' && c != '-' && c != '*' &&
         c != '/';
}

gboolean on_tree_key(GtkWidget* widget, GdkEventKey* event, gpointer) {
  GtkTreeView* view = GTK_TREE_VIEW(widget);
  TreeStore* items = tree_items(gtk_tree_view_get_model(view));
  if (!items) return FALSE;
  const guint modifiers = event->state & Modifiers;
  const guint key = event->keyval;
  if (modifiers == GDK_CONTROL_MASK && (key == GDK_f || key == GDK_F)) {
    show_find_bar(view);
    if (FindBar* bar = find_bar(view); bar && bar->entry)
      gtk_editable_select_region(GTK_EDITABLE(bar->entry), 0, -1);
    return TRUE;
  }
  if (modifiers == GDK_CONTROL_MASK && (key == GDK_c || key == GDK_C)) {
    copy_selected_text(view);
    return TRUE;
  }
  if (is_next_match_key(event)) {
    FindBar* bar = find_bar(view);
    if (bar && bar->entry && *gtk_entry_get_text(GTK_ENTRY(bar->entry)))
      find_next(view, false);
    else
      show_find_bar(view);
    return TRUE;
  }
  if (starts_search(event)) {
    FindBar* bar = find_bar(view);
    if (!bar || !bar->entry) return FALSE;
    char utf8[8] = {};
    g_unichar_to_utf8(gdk_keyval_to_unicode(key), utf8);
    show_find_bar(view);
    gtk_entry_set_text(GTK_ENTRY(bar->entry), utf8);
    gtk_editable_set_position(GTK_EDITABLE(bar->entry), -1);
    return TRUE;
  }
  if (modifiers != 0) return FALSE;
  const bool toggle = key == GDK_Return || key == GDK_KP_Enter || key == GDK_ISO_Enter ||
                      key == GDK_space || key == GDK_KP_Space;
  if (!toggle && key != GDK_Right && key != GDK_KP_Right && key != GDK_Left && key != GDK_KP_Left)
    return FALSE;
  Path path = cursor_path(view);
  if (!path) {
    if (items->count() == 0) return TRUE;
    path = Path(gtk_tree_path_new_first());
    move_cursor(view, path.get());
    return TRUE;
  }
  GtkTreeIter iter;
  if (!gtk_tree_model_get_iter(gtk_tree_view_get_model(view), &iter, path.get())) return TRUE;
  const int32_t index = tree_model_index(gtk_tree_view_get_model(view), &iter);
  const bool open = gtk_tree_view_row_expanded(view, path.get());
  if (toggle) {
    toggle_row(view, path.get());
  } else if (key == GDK_Right || key == GDK_KP_Right) {
    if (!items->has_children(index)) return TRUE;
    if (!open) {
      gtk_tree_view_expand_row(view, path.get(), FALSE);
    } else {
      gtk_tree_path_down(path.get());
      move_cursor(view, path.get());
    }
  } else if (open) {
    gtk_tree_view_collapse_row(view, path.get());
  } else if (gtk_tree_path_get_depth(path.get()) > 1) {
    gtk_tree_path_up(path.get());
    move_cursor(view, path.get());
  }
  return TRUE;
}

// A double click on a row (Enter and Space are taken above).
void on_row_activated(GtkTreeView* view, GtkTreePath* path, GtkTreeViewColumn*, gpointer) {
  toggle_row(view, path);
}

void free_find_bar(gpointer data) {
  auto* bar = static_cast<FindBar*>(data);
  if (bar->entry) {
    // Never placed: only this holds it.
    if (!gtk_widget_get_parent(bar->entry)) gtk_widget_destroy(bar->entry);
    g_object_unref(bar->entry);
  }
  delete bar;
}

// The find bar stops serving the tree when the tree goes. It stays in the
// container, hidden, until the container goes: removing it now could pull
// it out from under a container that is destroying its children.
void on_outer_destroy(GtkWidget*, gpointer tree_view) {
  FindBar* bar = find_bar(GTK_TREE_VIEW(tree_view));
  if (!bar || !bar->entry) return;
  g_signal_handlers_disconnect_by_data(bar->entry, tree_view);
  gtk_widget_hide(bar->entry);
}

void attach_gestures(GtkTreeView* view, GtkWidget* outer) {
  auto bar = std::make_unique<FindBar>();
  bar->view = view;
  bar->entry = gtk_entry_new();
  if (bar->entry) {
    g_object_ref_sink(bar->entry);
    name_find_entry(bar->entry);
    g_signal_connect(bar->entry, "key-press-event", G_CALLBACK(on_find_key), view);
    g_signal_connect(bar->entry, "changed", G_CALLBACK(on_find_changed), view);
    g_signal_connect(bar->entry, "focus-out-event", G_CALLBACK(on_find_focus_out), nullptr);
  }
  g_object_set_data_full(G_OBJECT(view), FindKey, bar.release(), free_find_bar);
  g_signal_connect(view, "key-press-event", G_CALLBACK(on_tree_key), nullptr);
  g_signal_connect(view, "row-activated", G_CALLBACK(on_row_activated), nullptr);
  g_signal_connect(outer, "destroy", G_CALLBACK(on_outer_destroy), view);
}

// ---------------------------------------------------------------------------
// Rows held back while the tree is filled

// Below this many held rows, announcing them costs a few milliseconds; the
// view is built afresh only for more. Above this many rows in all, building
// the view afresh takes too long to do between two rounds of events.
constexpr int32_t RebuildMinimum = 10000;
constexpr int32_t RebuildMaximum = 2000000;

// A view as it started: nothing opened, scrolled or looked for, the cursor
// on the first row or nowhere, and the model shown by this view alone.
// Building such a view afresh loses nothing the user did.
bool view_untouched(GtkTreeView* view) {
  bool opened = false;
  gtk_tree_view_map_expanded_rows(
      view, [](GtkTreeView*, GtkTreePath*, gpointer flag) { *static_cast<bool*>(flag) = true; },
      &opened);
  if (opened) return false;
  if (Path cursor = cursor_path(view); cursor && !is_first_row(cursor.get())) return false;
  for (GtkAdjustment* scroll : {gtk_tree_view_get_vadjustment(view), gtk_tree_view_get_hadjustment(view)})
    if (scroll && gtk_adjustment_get_value(scroll) != gtk_adjustment_get_lower(scroll)) return false;
  if (FindBar* bar = find_bar(view); bar && bar->entry && GTK_WIDGET_VISIBLE(bar->entry)) return false;
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
  const core::GObjectPtr<GtkTreeModel> keep = core::GObjectPtr<GtkTreeModel>::adopt(
      GTK_TREE_MODEL(g_object_ref(model)));
  const guint blocked = g_signal_handlers_block_matched(
      selection, G_SIGNAL_MATCH_FUNC, 0, 0, nullptr, reinterpret_cast<gpointer>(on_selection_changed),
      nullptr);
  gtk_tree_view_set_model(view, nullptr);
  if (TreeStore* items = tree_items(model)) items->take_held_as_reported();
  gtk_tree_view_set_model(view, model);
  if (cursor) {
    move_cursor_keeping_top(view, cursor.get());
    if (!selected) gtk_tree_selection_unselect_all(selection);
  }
  if (blocked)
    g_signal_handlers_unblock_matched(selection, G_SIGNAL_MATCH_FUNC, 0, 0, nullptr,
                                      reinterpret_cast<gpointer>(on_selection_changed), nullptr);
}

// Reports held rows one by one until `deadline` (g_get_monotonic_time, -1
// for none). True once none is held.
bool announce_held_rows(TreeStore& items, gint64 deadline) {
  constexpr int32_t RowsPerCheck = 256;
  while (items.report_held(deadline < 0 ? INT32_MAX : RowsPerCheck) > 0)
    if (g_get_monotonic_time() >= deadline) return false;
  return true;
}

bool show_held_rows(GtkTreeView* view, gint64 deadline) {
  TreeStore* items = tree_items(gtk_tree_view_get_model(view));
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

// Tree `number` of the current widget list, when it is one with its items.
Widget* find_tree(int32_t number) {
  Widget* widget = widget_registry().find(number);
  return widget && widget->kind == &tree_kind() && tree_data(*widget) ? widget : nullptr;
}

}  // namespace

void hold_tree_appends(int32_t number) {
  if (Widget* widget = find_tree(number)) tree_data(*widget)->items.hold_reports();
}

bool show_held_tree_rows(int32_t number, gint64 deadline) {
  Widget* widget = find_tree(number);
  return !widget || show_held_rows(view_of(*widget), deadline);
}

void release_tree_appends(int32_t number) {
  Widget* widget = find_tree(number);
  if (!widget) return;
  show_every_held_row(view_of(*widget));
  tree_data(*widget)->items.release_reports();
}

void reserve_tree_items(int32_t number, size_t items, size_t text_bytes) {
  if (Widget* widget = find_tree(number)) tree_data(*widget)->items.reserve(items, text_bytes);
}

bool focus_first_row(int32_t number) {
  Widget* widget = find_tree(number);
  if (!widget) return false;
  GtkTreeView* view = view_of(*widget);
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
  TreeKind& kind = tree_kind();
  const SetTreeLines set_tree_lines = tree_lines_switch();

  core::GObjectPtr<GtkTreeModel> model = create_tree_item_model();
  Unplaced scrolled(gtk_scrolled_window_new(nullptr, nullptr));
  if (!model || !scrolled) return 0;
  Unplaced view_holder(gtk_tree_view_new_with_model(model.get()));
  if (!view_holder) return 0;
  GtkTreeView* view = GTK_TREE_VIEW(view_holder.get());

  GtkTreeViewColumn* column = gtk_tree_view_column_new();
  if (flags & TreeCheckBoxes) {
    GtkCellRenderer* check = gtk_cell_renderer_toggle_new();
    gtk_tree_view_column_pack_start(column, check, FALSE);
    gtk_tree_view_column_add_attribute(column, check, "active", TreeColumnCheck);
    gtk_tree_view_column_add_attribute(column, check, "cell-background-gdk", TreeColumnBackground);
    if (flags & TreeThreeState)
      gtk_tree_view_column_add_attribute(column, check, "inconsistent", TreeColumnInconsistent);
    g_signal_connect(check, "toggled", G_CALLBACK(on_check_toggled), view);
  }
  GtkCellRenderer* icon = gtk_cell_renderer_pixbuf_new();
  gtk_tree_view_column_pack_start(column, icon, FALSE);
  gtk_tree_view_column_add_attribute(column, icon, "pixbuf", TreeColumnIcon);
  gtk_tree_view_column_add_attribute(column, icon, "cell-background-gdk", TreeColumnBackground);
  GtkCellRenderer* text = gtk_cell_renderer_text_new();
  gtk_tree_view_column_pack_end(column, text, TRUE);
  // A text wider than the view ends in "…" instead of widening the column:
  // every row has one height and the column one width, so the view never
  // measures its rows (fixed-height mode), a million of them included.
  g_object_set(text, "ellipsize", PANGO_ELLIPSIZE_END, nullptr);
  gtk_tree_view_column_set_sizing(column, GTK_TREE_VIEW_COLUMN_FIXED);
  gtk_tree_view_column_add_attribute(column, text, "text", TreeColumnText);
  gtk_tree_view_column_add_attribute(column, text, "foreground-gdk", TreeColumnForeground);
  gtk_tree_view_column_add_attribute(column, text, "cell-background-gdk", TreeColumnBackground);

  gtk_tree_view_append_column(view, column);
  gtk_tree_view_set_headers_visible(view, FALSE);
  gtk_tree_view_set_search_column(view, TreeColumnText);
  gtk_tree_view_set_fixed_height_mode(view, TRUE);
  // The view's own type-ahead only sees open rows; the find bar sees all.
  gtk_tree_view_set_enable_search(view, FALSE);
  g_object_set_data(G_OBJECT(view), FlagsKey, GINT_TO_POINTER(flags));

  const bool automatic = number == -1;
  const auto [assigned, record] = widget_registry().allocate(number);
  if (!record) return 0;
  number = assigned;

  if (set_tree_lines && !(flags & TreeNoLines)) set_tree_lines(view, TRUE);

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

  attach_gestures(view, outer);
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
