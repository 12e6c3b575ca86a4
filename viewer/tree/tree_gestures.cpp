#include "tree/tree_gestures.h"

#include <gdk/gdkkeysyms.h>

#include <algorithm>
#include <exception>
#include <vector>

#include "core/event_queue.h"
#include "gtk/object_data.h"
#include "tree/find_bar.h"
#include "tree/held_rows.h"
#include "tree/tree_model.h"
#include "tree/view_rows.h"
#include "widgets/widget.h"

namespace tree {

namespace {

constexpr const char* MenuKey = gtk::TreeMenuKey;
constexpr guint Modifiers = GDK_SHIFT_MASK | GDK_CONTROL_MASK | GDK_MOD1_MASK;

// The row the keys and the menu act on: the selected one, else the cursor's.
int32_t current_item(GtkTreeView* view) {
  GtkTreeIter iter;
  if (gtk_tree_selection_get_selected(gtk_tree_view_get_selection(view), nullptr, &iter))
    return tree_model_index(gtk_tree_view_get_model(view), &iter);
  return cursor_item(view);
}

void copy_to_clipboard(GtkTreeView* view, const char* text) {
  gtk_clipboard_set_text(gtk_widget_get_clipboard(GTK_WIDGET(view), GDK_SELECTION_CLIPBOARD), text, -1);
}

void copy_text(GtkTreeView* view) {
  TreeStore* items = view_items(view);
  const int32_t index = current_item(view);
  if (items && index >= 0) copy_to_clipboard(view, items->text(index));
}

void copy_path(GtkTreeView* view) {
  TreeStore* items = view_items(view);
  const int32_t index = current_item(view);
  if (items && index >= 0) copy_to_clipboard(view, item_path_text(*items, index).c_str());
}

void expand_below(GtkTreeView* view) {
  show_every_held_row(view);
  if (Path path = cursor_path(view)) gtk_tree_view_expand_row(view, path.get(), TRUE);
}

// Closing a row forgets how the rows below it were opened.
void collapse_below(GtkTreeView* view) {
  if (Path path = cursor_path(view)) gtk_tree_view_collapse_row(view, path.get());
}

// Opens a closed folder row and closes an open one.
void toggle_row(GtkTreeView* view, GtkTreePath* path) {
  if (gtk_tree_view_row_expanded(view, path))
    gtk_tree_view_collapse_row(view, path);
  else
    gtk_tree_view_expand_row(view, path, FALSE);
}

// ---------------------------------------------------------------------------
// The row's menu

using MenuAction = void (*)(GtkTreeView*);

struct MenuEntry {
  const char* label;
  MenuAction action;
};
constexpr MenuEntry MenuEntries[] = {
    {"_Copy", copy_text},
    {"Copy _Path", copy_path},
    {"_Expand All", expand_below},
    {"C_ollapse All", collapse_below},
};

void on_menu_item(GtkMenuItem* item, gpointer tree_view) noexcept {
  try {
    const auto action = reinterpret_cast<MenuAction>(g_object_get_data(G_OBJECT(item), gtk::MenuActionKey));
    if (action) action(GTK_TREE_VIEW(tree_view));
  } catch (const std::exception&) {
  }
}

GtkWidget* row_menu(GtkTreeView* view) {
  return static_cast<GtkWidget*>(g_object_get_data(G_OBJECT(view), MenuKey));
}

// Pops the menu up at the cursor's row, for the keyboard.
void place_menu_at_cursor(GtkMenu*, gint* x, gint* y, gboolean* push_in, gpointer tree_view) noexcept {
  GtkTreeView* view = GTK_TREE_VIEW(tree_view);
  *push_in = TRUE;
  gint origin_x = 0;
  gint origin_y = 0;
  gdk_window_get_origin(gtk_tree_view_get_bin_window(view), &origin_x, &origin_y);
  GdkRectangle area{};
  GdkRectangle visible{};
  if (Path path = cursor_path(view)) gtk_tree_view_get_cell_area(view, path.get(), nullptr, &area);
  gtk_tree_view_get_visible_rect(view, &visible);
  gint bin_x = 0;
  gint bin_y = 0;
  gtk_tree_view_convert_tree_to_bin_window_coords(view, visible.x, visible.y, &bin_x, &bin_y);
  *x = origin_x + std::max(area.x, bin_x) + 16;
  *y = origin_y + std::clamp(area.y + area.height, bin_y, bin_y + visible.height);
}

void pop_up_menu(GtkTreeView* view, const GdkEventButton* event) {
  GtkWidget* menu = row_menu(view);
  if (!menu || current_item(view) < 0) return;
  if (event) {
    gtk_menu_popup(GTK_MENU(menu), nullptr, nullptr, nullptr, nullptr, 0, event->time);
  } else {
    gtk_menu_popup(GTK_MENU(menu), nullptr, nullptr, place_menu_at_cursor, view, 0,
                   gtk_get_current_event_time());
    gtk_menu_shell_select_first(GTK_MENU_SHELL(menu), FALSE);
  }
}

// Shift+F10 and the Menu key.
gboolean on_popup_menu(GtkWidget* widget, gpointer) noexcept {
  pop_up_menu(GTK_TREE_VIEW(widget), nullptr);
  return TRUE;
}

// A right click on a row opens its menu once the button is let go: the press
// has put the cursor on the row, and the click has been reported
// (track_clicks) before the menu takes the pointer.
gboolean on_button_release(GtkWidget* widget, GdkEventButton* event, gpointer) noexcept {
  GtkTreeView* view = GTK_TREE_VIEW(widget);
  if (event->button != 3 || event->window != gtk_tree_view_get_bin_window(view)) return FALSE;
  GtkTreePath* at = nullptr;
  if (!gtk_tree_view_get_path_at_pos(view, static_cast<gint>(event->x), static_cast<gint>(event->y), &at,
                                     nullptr, nullptr, nullptr))
    return FALSE;
  const Path path(at);
  if (Path cursor = cursor_path(view); !cursor || gtk_tree_path_compare(cursor.get(), path.get()) != 0)
    move_cursor(view, path.get());
  pop_up_menu(view, event);
  return FALSE;
}

void make_row_menu(GtkTreeView* view) {
  GtkWidget* menu = gtk_menu_new();
  if (!menu) return;
  g_object_ref_sink(menu);
  for (const MenuEntry& entry : MenuEntries) {
    GtkWidget* item = gtk_menu_item_new_with_mnemonic(entry.label);
    g_object_set_data(G_OBJECT(item), gtk::MenuActionKey, reinterpret_cast<gpointer>(entry.action));
    g_signal_connect(item, "activate", G_CALLBACK(on_menu_item), view);
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
  }
  gtk_widget_show_all(menu);
  // The menu is a window of its own: it goes when the view goes.
  g_object_set_data_full(G_OBJECT(view), MenuKey, menu, [](gpointer data) {
    gtk_widget_destroy(GTK_WIDGET(data));
    g_object_unref(data);
  });
  g_signal_connect(view, "destroy", G_CALLBACK(+[](GtkWidget* widget, gpointer) noexcept {
                     g_object_set_data(G_OBJECT(widget), MenuKey, nullptr);
                   }),
                   nullptr);
  g_signal_connect(view, "popup-menu", G_CALLBACK(on_popup_menu), nullptr);
  g_signal_connect(view, "button-release-event", G_CALLBACK(on_button_release), nullptr);
}

// ---------------------------------------------------------------------------
// Keys

// Printable characters start a search, except those the view binds itself
// (+, -, *, / open and close rows) and the space, which toggles a row.
bool starts_search(const GdkEventKey* event) {
  if (event->state & (GDK_CONTROL_MASK | GDK_MOD1_MASK)) return false;
  const gunichar c = gdk_keyval_to_unicode(event->keyval);
  return c != 0 && g_unichar_isprint(c) && c != ' ' && c != '+' && c != '-' && c != '*' && c != '/';
}

// Ctrl+G, F3 (next) and with Shift (previous).
bool is_match_key(guint key, guint modifiers, bool shifted) {
  const guint shift = shifted ? GDK_SHIFT_MASK : 0;
  return (key == GDK_F3 && modifiers == shift) ||
         ((key == GDK_g || key == GDK_G) && modifiers == (GDK_CONTROL_MASK | shift));
}

bool handle_tree_key(GtkTreeView* view, const GdkEventKey* event) {
  TreeStore* items = view_items(view);
  FindBar* bar = FindBar::of(view);
  if (!items) return false;
  const guint modifiers = event->state & Modifiers;
  const guint key = event->keyval;
  if (is_close_key(event)) {
    request_window_close(GTK_WIDGET(view));
    return true;
  }
  if (modifiers == GDK_CONTROL_MASK && (key == GDK_f || key == GDK_F)) {
    if (bar) bar->open();
    return true;
  }
  if ((key == GDK_c || key == GDK_C) && (modifiers & ~GDK_SHIFT_MASK) == GDK_CONTROL_MASK) {
    if (modifiers & GDK_SHIFT_MASK)
      copy_path(view);
    else
      copy_text(view);
    return true;
  }
  for (const bool previous : {false, true}) {
    if (!is_match_key(key, modifiers, previous)) continue;
    if (bar && bar->has_text())
      bar->find(previous ? FindBar::Direction::Previous : FindBar::Direction::Next);
    else if (bar)
      bar->open();
    return true;
  }
  if (starts_search(event)) {
    if (!bar) return false;
    char utf8[8] = {};
    g_unichar_to_utf8(gdk_keyval_to_unicode(key), utf8);
    bar->open_with(utf8);
    return true;
  }
  if (modifiers != 0) return false;
  const bool toggle = key == GDK_Return || key == GDK_KP_Enter || key == GDK_ISO_Enter ||
                      key == GDK_space || key == GDK_KP_Space;
  if (!toggle && key != GDK_Right && key != GDK_KP_Right && key != GDK_Left && key != GDK_KP_Left)
    return false;
  Path path = cursor_path(view);
  if (!path) {
    if (items->count() == 0) return true;
    path = Path(gtk_tree_path_new_first());
    move_cursor(view, path.get());
    return true;
  }
  GtkTreeIter iter;
  if (!gtk_tree_model_get_iter(gtk_tree_view_get_model(view), &iter, path.get())) return true;
  const int32_t index = tree_model_index(gtk_tree_view_get_model(view), &iter);
  const bool open = gtk_tree_view_row_expanded(view, path.get());
  if (toggle) {
    toggle_row(view, path.get());
  } else if (key == GDK_Right || key == GDK_KP_Right) {
    if (!items->has_children(index)) return true;
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
  return true;
}

gboolean on_tree_key(GtkWidget* widget, GdkEventKey* event, gpointer) noexcept {
  try {
    return handle_tree_key(GTK_TREE_VIEW(widget), event);
  } catch (const std::exception&) {
    return TRUE;
  }
}

// A double click on a row (Enter and Space are taken above).
void on_row_activated(GtkTreeView* view, GtkTreePath* path, GtkTreeViewColumn*, gpointer) noexcept {
  toggle_row(view, path);
}

// The view keeps the cursor's row in sight only while it knows the rows'
// places: a key that moves the cursor right after rows were opened (End
// after Shift+Right) can leave the row out of sight, the view's scroll range
// still that of the closed rows. Once the view has its new size, a cursor
// row out of sight is brought into it. Only then: a scroll asked for while
// the view is still placing rows makes it follow every row added after.
constexpr char CursorSightKey[] = "gw_cursor_sight";

void on_cursor_changed(GtkTreeView* view, gpointer) noexcept {
  g_object_set_data(G_OBJECT(view), CursorSightKey, GINT_TO_POINTER(1));
}

void on_view_allocated(GtkWidget* widget, GtkAllocation*, gpointer) noexcept {
  if (!g_object_get_data(G_OBJECT(widget), CursorSightKey)) return;
  g_object_set_data(G_OBJECT(widget), CursorSightKey, nullptr);
  GtkTreeView* view = GTK_TREE_VIEW(widget);
  TreeStore* items = view_items(view);
  const int32_t index = cursor_item(view);
  if (!items || index < 0 || !row_shown(view, *items, index)) return;
  const Path path = cursor_path(view);
  GdkRectangle row{};
  GdkRectangle visible{};
  gtk_tree_view_get_background_area(view, path.get(), nullptr, &row);
  gtk_tree_view_get_visible_rect(view, &visible);
  gint top = 0;
  gtk_tree_view_convert_bin_window_to_tree_coords(view, 0, row.y, nullptr, &top);
  if (top < visible.y || top + row.height > visible.y + visible.height)
    gtk_tree_view_scroll_to_cell(view, path.get(), nullptr, FALSE, 0, 0);
}

}  // namespace

bool is_close_key(const GdkEventKey* event) {
  const guint key = event->keyval;
  return (event->state & Modifiers) == GDK_CONTROL_MASK &&
         (key == GDK_w || key == GDK_W || key == GDK_q || key == GDK_Q);
}

void request_window_close(GtkWidget* widget) {
  core::post_event(core::EventType::CloseRequest, 0, widgets::widget_window_number(widget), 0);
}

std::string item_path_text(const TreeStore& items, int32_t index) {
  if (!items.valid(index)) return {};
  std::vector<int32_t> chain;
  for (int32_t item = index; item >= 0; item = items.parent(item)) chain.push_back(item);
  std::string path;
  for (auto item = chain.rbegin(); item != chain.rend(); ++item) {
    if (!path.empty() || item != chain.rbegin()) path += '/';
    path += items.text(*item);
  }
  return path;
}

void attach_gestures(GtkTreeView* view) {
  g_signal_connect(view, "key-press-event", G_CALLBACK(on_tree_key), nullptr);
  g_signal_connect(view, "row-activated", G_CALLBACK(on_row_activated), nullptr);
  g_signal_connect(view, "cursor-changed", G_CALLBACK(on_cursor_changed), nullptr);
  g_signal_connect_after(view, "size-allocate", G_CALLBACK(on_view_allocated), nullptr);
  make_row_menu(view);
}

}  // namespace tree
