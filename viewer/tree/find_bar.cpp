#include "tree/find_bar.h"

#include <gdk/gdkkeysyms.h>

#include <algorithm>
#include <memory>
#include <exception>

#include "gtk/object_data.h"
#include "tree/column_width.h"
#include "tree/held_rows.h"
#include "tree/tree_accessibility.h"
#include "tree/tree_gestures.h"
#include "tree/view_rows.h"

namespace tree {

namespace {

constexpr const char* FindKey = gtk::TreeFindKey;
constexpr guint Modifiers = GDK_SHIFT_MASK | GDK_CONTROL_MASK | GDK_MOD1_MASK;

// The colours desktop find bars give an entry whose text matches nothing.
constexpr GdkColor NoMatchBase{0, 0xFFFF, 0x6666, 0x6666};
constexpr GdkColor NoMatchText{0, 0xFFFF, 0xFFFF, 0xFFFF};

bool is_enter(guint key) { return key == GDK_Return || key == GDK_KP_Enter || key == GDK_ISO_Enter; }

// Scrolls the tree sideways so that the item's text is in sight, with a
// little room after it: all of it when it fits, else its start.
void bring_text_into_sight(GtkTreeView* view, const TreeStore& items, int32_t index) {
  constexpr int Room = 12;
  GtkAdjustment* across = gtk_tree_view_get_hadjustment(view);
  if (!across) return;
  const double start = ColumnWidth::text_start(view, items.depth(index));
  const double end = start + ColumnWidth::text_width(view, items.text(index)) + Room;
  const double page = gtk_adjustment_get_page_size(across);
  double value = gtk_adjustment_get_value(across);
  if (end > value + page) value = end - page;
  if (start < value) value = start;
  value = std::clamp(value, gtk_adjustment_get_lower(across),
                     std::max(gtk_adjustment_get_lower(across), gtk_adjustment_get_upper(across) - page));
  gtk_adjustment_set_value(across, value);
}

}  // namespace

void FindBar::attach(GtkTreeView* view, GtkWidget* outer) {
  std::unique_ptr<FindBar> bar(new FindBar(view, outer));
  if (!bar->entry_) return;
  g_object_set_data_full(G_OBJECT(view), FindKey, bar.release(),
                         [](gpointer data) { delete static_cast<FindBar*>(data); });
}

FindBar* FindBar::of(GtkTreeView* view) {
  return static_cast<FindBar*>(g_object_get_data(G_OBJECT(view), FindKey));
}

FindBar::FindBar(GtkTreeView* view, GtkWidget* outer) : view_(view), outer_(outer) {
  GtkWidget* entry = gtk_entry_new();
  if (!entry) return;
  entry_ = gtk::GObjectPtr<GtkWidget>::adopt(GTK_WIDGET(g_object_ref_sink(entry)));
  name_find_entry(entry);
  g_signal_connect(entry, "key-press-event", G_CALLBACK(on_key), this);
  g_signal_connect(entry, "changed", G_CALLBACK(on_changed), this);
  g_signal_connect(entry, "focus-out-event", G_CALLBACK(on_focus_out), this);
  g_signal_connect_after(view, "size-allocate", G_CALLBACK(on_tree_allocated), this);
  g_signal_connect(outer, "destroy", G_CALLBACK(on_outer_destroy), this);
}

FindBar::~FindBar() {
  // Never placed: only this holds it.
  if (entry_ && !gtk_widget_get_parent(entry_.get())) gtk_widget_destroy(entry_.get());
}

bool FindBar::shown() const { return entry_ && GTK_WIDGET_VISIBLE(entry_.get()); }

bool FindBar::has_text() const { return entry_ && *gtk_entry_get_text(GTK_ENTRY(entry_.get())); }

void FindBar::open() {
  GtkWidget* container = gtk_widget_get_parent(outer_);
  if (!entry_ || !GTK_IS_FIXED(container)) return;
  GtkWidget* entry = entry_.get();
  if (gtk_widget_get_parent(entry) != container) gtk_fixed_put(GTK_FIXED(container), entry, 0, 0);
  if (!shown()) {
    // The bar takes the foot of the tree's place, and the tree the rest.
    gtk_widget_get_size_request(outer_, &tree_width_request_, &tree_height_request_);
    GtkRequisition request{};
    gtk_widget_size_request(entry, &request);
    const GtkAllocation area = outer_->allocation;
    const gint bar_height = std::min(request.height, std::max(area.height - 1, 0));
    gtk_widget_set_size_request(entry, std::max(area.width, 1), bar_height);
    gtk_fixed_move(GTK_FIXED(container), entry, area.x, area.y + area.height - bar_height);
    gtk_widget_set_size_request(outer_, std::max(area.width, 1), std::max(area.height - bar_height, 1));
    // Until the tree has its new size, a match put in the middle of it may
    // lie under the bar.
    reveal_pending_ = true;
    gtk_widget_show(entry);
  }
  gtk_widget_grab_focus(entry);
  gtk_editable_select_region(GTK_EDITABLE(entry), 0, -1);
}

void FindBar::open_with(const char* utf8) {
  open();
  if (!shown()) return;
  gtk_entry_set_text(GTK_ENTRY(entry_.get()), utf8);
  gtk_editable_set_position(GTK_EDITABLE(entry_.get()), -1);
}

void FindBar::hide() {
  // Hiding the entry takes the keyboard from it, which calls here again.
  if (!shown() || hiding_) return;
  hiding_ = true;
  gtk_widget_set_size_request(outer_, tree_width_request_, tree_height_request_);
  gtk_widget_hide(entry_.get());
  reveal_pending_ = false;
  hiding_ = false;
}

void FindBar::close() {
  if (!shown()) return;
  gtk_widget_grab_focus(GTK_WIDGET(view_));
  hide();
}

void FindBar::go_to(int32_t found) {
  if (found < 0) {
    show_matching(false);
    return;
  }
  show_every_held_row(view_);
  reveal_item(view_, found);
  if (TreeStore* items = view_items(view_)) bring_text_into_sight(view_, *items, found);
  show_matching(true);
}

void FindBar::find(Direction direction) {
  TreeStore* items = view_items(view_);
  if (!items || !has_text()) return;
  const char* needle = gtk_entry_get_text(GTK_ENTRY(entry_.get()));
  const int32_t cursor = cursor_item(view_);
  go_to(direction == Direction::Next ? search_.next(*items, cursor, needle)
                                     : search_.previous(*items, cursor, needle));
}

void FindBar::find_from_cursor() {
  TreeStore* items = view_items(view_);
  if (!items) return;
  if (!has_text()) {
    show_matching(true);
    return;
  }
  const int32_t cursor = cursor_item(view_);
  go_to(search_.next(*items, cursor >= 0 ? cursor - 1 : -1, gtk_entry_get_text(GTK_ENTRY(entry_.get()))));
}

void FindBar::show_matching(bool matching) {
  if (matching == matching_) return;
  matching_ = matching;
  GtkWidget* entry = entry_.get();
  gtk_widget_modify_base(entry, GTK_STATE_NORMAL, matching ? nullptr : &NoMatchBase);
  gtk_widget_modify_text(entry, GTK_STATE_NORMAL, matching ? nullptr : &NoMatchText);
  set_entry_invalid(entry, !matching);
  // The row of an earlier match is no answer to this text.
  if (!matching) gtk_tree_selection_unselect_all(gtk_tree_view_get_selection(view_));
}

bool FindBar::handle_key(const GdkEventKey* event) {
  const guint modifiers = event->state & Modifiers;
  const guint key = event->keyval;
  const bool g = key == GDK_g || key == GDK_G;
  if ((modifiers == 0 && (is_enter(key) || key == GDK_Down || key == GDK_KP_Down || key == GDK_F3)) ||
      (modifiers == GDK_CONTROL_MASK && g)) {
    find(Direction::Next);
    return true;
  }
  if ((modifiers == 0 && (key == GDK_Up || key == GDK_KP_Up)) ||
      (modifiers == GDK_SHIFT_MASK && key == GDK_F3) ||
      (modifiers == (GDK_CONTROL_MASK | GDK_SHIFT_MASK) && g)) {
    find(Direction::Previous);
    return true;
  }
  if (key == GDK_Escape) {
    close();
    return true;
  }
  if (is_close_key(event)) {
    request_window_close(GTK_WIDGET(view_));
    return true;
  }
  if (modifiers == 0 && (key == GDK_Page_Up || key == GDK_Page_Down)) {
    // The rows move under these keys even while the bar has the keys.
    close();
    gtk_widget_event(GTK_WIDGET(view_), reinterpret_cast<GdkEvent*>(const_cast<GdkEventKey*>(event)));
    return true;
  }
  return false;
}

gboolean FindBar::on_key(GtkWidget*, GdkEventKey* event, gpointer bar) noexcept {
  try {
    return static_cast<FindBar*>(bar)->handle_key(event);
  } catch (const std::exception&) {
    return TRUE;
  }
}

void FindBar::on_changed(GtkEditable*, gpointer bar) noexcept {
  try {
    static_cast<FindBar*>(bar)->find_from_cursor();
  } catch (const std::exception&) {
    static_cast<FindBar*>(bar)->search_.forget();
  }
}

// The bar is left when the keyboard goes to another widget of the window;
// a window that loses the keyboard as a whole keeps its bar.
gboolean FindBar::on_focus_out(GtkWidget* entry, GdkEventFocus*, gpointer bar) noexcept {
  GtkWidget* toplevel = gtk_widget_get_toplevel(entry);
  if (!GTK_IS_WINDOW(toplevel) || gtk_window_get_focus(GTK_WINDOW(toplevel)) != entry)
    static_cast<FindBar*>(bar)->hide();
  return FALSE;
}

void FindBar::on_tree_allocated(GtkWidget*, GtkAllocation*, gpointer data) noexcept {
  auto* bar = static_cast<FindBar*>(data);
  if (!bar->reveal_pending_) return;
  bar->reveal_pending_ = false;
  if (!bar->shown() || !bar->has_text() || !bar->matching_) return;
  if (Path cursor = cursor_path(bar->view_))
    gtk_tree_view_scroll_to_cell(bar->view_, cursor.get(), nullptr, TRUE, 0.5f, 0.0f);
}

// The bar stops serving the tree when the tree goes. It stays in the
// container, hidden, until the container goes: removing it now could pull
// it out from under a container that is destroying its children.
void FindBar::on_outer_destroy(GtkWidget*, gpointer data) noexcept {
  auto* bar = static_cast<FindBar*>(data);
  g_signal_handlers_disconnect_by_data(bar->entry_.get(), bar);
  gtk_widget_hide(bar->entry_.get());
}

}  // namespace tree
